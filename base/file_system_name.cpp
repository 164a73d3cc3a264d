// FileSystemName: a run's 8-bit name as UTF-8 for the file system.
#include "base/file_system_name.h"

#include "base/windows1251.h"

namespace picsheet {

std::string FileSystemName(std::string_view name) { return Utf8OrWindows1251(name); }

}  // namespace picsheet
