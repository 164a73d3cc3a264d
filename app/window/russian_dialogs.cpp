#include "app/window/russian_dialogs.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace picsheet {

bool InstallRussianDialogs(QCoreApplication& app) {
  // Owned by the application, which keeps it for its life.
  auto* translator = new QTranslator(&app);
  if (!translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace picsheet
