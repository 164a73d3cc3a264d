// The name that a run's 8-bit name (the page's file, the picture folder, a picture file) has on
// disk.
#pragma once

#include <string>
#include <string_view>

namespace picsheet {

// Inside a run, names are the bytes the catalogue pages carry, Windows-1251 text; the page keeps
// them. A browser reads such a page as Windows-1251 and asks the file system for the UTF-8 form of
// those letters, so that is the name on disk. A name whose bytes are valid UTF-8 as they stand
// (ASCII, or a page written in UTF-8) stays as it is. Byte 152, unassigned in the code page,
// becomes U+0098, so distinct names stay distinct. Judge one path component at a time: the page's
// src and the file it names must agree for every component on its own.
std::string FileSystemName(std::string_view name);

}  // namespace picsheet
