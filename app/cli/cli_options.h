// picsheet-cli's options: the parser that reads them and the run they ask for.
#pragma once

#include <optional>
#include <string>

#include "app/core/run_flow.h"

namespace picsheet {

// What one invocation of picsheet-cli asks for.
struct CliRequest {
  RunRequest run;             // the conversion: source, save name, folders, options
  bool printStatus = false;   // every status text to stderr, one line each
  bool printSummary = false;  // the summary line also when stdout is no terminal
  std::string pdfPath;        // also write the page as PDF here, when not empty
  std::string paper = "a4";   // the PDF's paper: "a4" or "letter"
};

// Reads argv into request. Gives the exit status when the invocation ends here: 0 once --help or
// --version is printed, 2 after a usage error is reported on stderr; nothing when the run goes.
std::optional<int> ParseCommandLine(int argc, char** argv, CliRequest& request);

}  // namespace picsheet
