// The application's title: the name of the taskbar entry and the title of every message box.
#pragma once

#include <QString>

namespace picsheet {

// The program file's name without its folder, cut at its first ".", with every character after
// the first in lower case: "/opt/PicSheet.Beta.bin" gives "Picsheet".
QString ApplicationTitle(const QString& programPath);

// ApplicationTitle of the running program's file.
QString ApplicationTitle();

}  // namespace picsheet
