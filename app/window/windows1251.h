// Turning the 8-bit texts of a run into text for the screen.
#pragma once

#include <QString>
#include <string_view>

namespace picsheet {

// bytes read as Windows-1251, the code page of the catalogue pages (see base/windows1251.h).
QString TextFromWindows1251(std::string_view bytes);

// Text made on this system (file paths, the system's error descriptions) is UTF-8, while a
// message can also carry an address copied from a page: valid UTF-8 is read as such, anything
// else as Windows-1251.
QString DecodeMessageText(std::string_view bytes);

}  // namespace picsheet
