// One whole run of the run flow into a folder, started the way the window and the command line
// start it, with the Error that ends it caught and kept for the assertions.
#pragma once

#include <optional>
#include <string>

#include "app/core/run_flow.h"
#include "base/error.h"
#include "tests/testkit/catalogue_fakes.h"

namespace picsheet::testkit {

// A run of source saved as saveName into folder (a path without a trailing "/").
RunRequest FolderRequest(const std::string& source, const std::string& folder,
                         const std::string& saveName = "run");

// How a run ended: the saved page's path, or the message, detail line and kind of its Error.
struct FolderRun {
  std::string pagePath;  // empty when the run failed
  std::string error;     // empty when the page was saved
  std::string detail;    // DescribeFailure of that error
  std::optional<ErrorKind> kind;
  RunState state;
  RecordingView view;  // what the run showed, when it was given no view of its own
};

// Runs request, showing its lines and status texts in view or else in the result's own view.
FolderRun RunInFolder(const RunRequest& request, RunView* view = nullptr);

}  // namespace picsheet::testkit
