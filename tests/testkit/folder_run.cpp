#include "tests/testkit/folder_run.h"

#include "app/core/error_message.h"

namespace picsheet::testkit {

RunRequest FolderRequest(const std::string& source, const std::string& folder,
                         const std::string& saveName) {
  RunRequest request;
  request.source = source;
  request.saveName = saveName;
  request.programFolder = folder + "/";
  return request;
}

FolderRun RunInFolder(const RunRequest& request, RunView* view) {
  FolderRun run;
  try {
    run.pagePath = RunConversion(request, run.state, view ? *view : run.view);
  } catch (const Error& e) {
    run.error = e.what();
    run.detail = DescribeFailure(e);
    run.kind = e.kind();
  }
  return run;
}

}  // namespace picsheet::testkit
