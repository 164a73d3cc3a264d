// The end of picsheet-cli --help: exit statuses, environment and files.
#pragma once

#include <string>

namespace picsheet {

// The text after the options. Its manual page is made from --help by help2man, which takes
// "Environment:" and "Files:" as sections of those names, and "Exit status:" as EXIT STATUS.
std::string CliHelpFooter();

}  // namespace picsheet
