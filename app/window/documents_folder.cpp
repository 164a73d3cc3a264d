// DocumentsFolder: the toolkit's answer, as a path the toolkit-free core can use.
#include "app/window/documents_folder.h"

#include <QFile>
#include <QStandardPaths>
#include <QString>

namespace picsheet {

std::string DocumentsFolder() {
  QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) return {};
  if (!folder.endsWith(u'/')) folder += u'/';
  return QFile::encodeName(folder).toStdString();
}

}  // namespace picsheet
