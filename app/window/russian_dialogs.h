// Qt's own texts (message box and dialog buttons, the file and print dialogs) in Russian.
#pragma once

#include <QCoreApplication>

namespace picsheet {

// Installs Qt's Russian translation into app, whatever the desktop's language: the window
// speaks Russian, and its boxes and dialogs should too. Returns false, changing nothing, when
// the translation is not installed (Debian's qt6-translations-l10n).
bool InstallRussianDialogs(QCoreApplication& app);

}  // namespace picsheet
