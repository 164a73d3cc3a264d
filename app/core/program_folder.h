// The folder of the running program: where the window writes its pages when it may
// (output_folder.h), and where picsheet-cli finds the window program.
#pragma once

#include <string>

namespace picsheet {

// The folder of /proc/self/exe, ending in "/".
std::string ProgramFolder();

// folder with "/" appended unless it already ends in one.
std::string WithTrailingSlash(std::string folder);

}  // namespace picsheet
