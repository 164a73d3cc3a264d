// ApplicationTitle: the title made from the program's file name.
#include "app/window/application_title.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace picsheet {

QString ApplicationTitle(const QString& programPath) {
  QString name = QFileInfo(programPath).fileName();
  const qsizetype dot = name.indexOf(u'.');
  if (dot >= 0) name.truncate(dot);
  if (name.size() > 1) name = name.left(1) + name.mid(1).toLower();
  return name;
}

QString ApplicationTitle() { return ApplicationTitle(QCoreApplication::applicationFilePath()); }

}  // namespace picsheet
