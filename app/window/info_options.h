// picsheet --help and --version: answered on stdout before any window or toolkit starts.
#pragma once

namespace picsheet {

// When the only argument is --help or --version, prints the answer and returns the exit status;
// else returns -1 and the program goes on to open its window.
int AnswerInfoOption(int argc, char** argv);

}  // namespace picsheet
