// picsheet-cli's options: the parser that reads them and the run they ask for.
#pragma once

#include <optional>
#include <string>

#include "app/core/collection_run.h"
#include "app/core/run_flow.h"

namespace picsheet {

// What one invocation of picsheet-cli asks for.
struct CliRequest {
  RunRequest run;             // the conversion: save name, folders, options (its source unused)
  CollectionPlan plan;        // the catalogues: the SOURCE arguments, then the --list's
  bool printStatus = false;   // every status text to stderr, one line each
  bool printSummary = false;  // the summary line also when stdout is no terminal
  std::string pdfPath;        // also write the page as PDF here, when not empty
  std::string paper = "a4";   // the PDF's paper: "a4" or "letter"
};

// Reads argv, and the --list file when given, into request. Gives the exit status when the
// invocation ends here: 0 once --help or
// --version is printed, 2 after a usage error is reported on stderr; nothing when the run goes.
std::optional<int> ParseCommandLine(int argc, char** argv, CliRequest& request);

}  // namespace picsheet
