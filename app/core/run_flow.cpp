#include "app/core/run_flow.h"

#include <vector>

#include "app/core/page_file.h"
#include "app/core/session_name.h"
#include "convert/source.h"
#include "images/localise.h"

namespace picsheet {
namespace {

// Passes every line on to the user's view and keeps the run's own copy, which is what gets
// saved: the page's bytes never go through a widget's text.
class RecordingView final : public CatalogueView {
 public:
  explicit RecordingView(RunView& view) : view_(view) {}
  void ClearLines() override {
    lines_.clear();
    view_.ClearLines();
  }
  void AppendLine(std::string_view line) override {
    lines_.emplace_back(line);
    view_.AppendLine(line);
  }
  void SetStatus(std::string_view status) override { view_.SetStatus(status); }
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  RunView& view_;
  std::vector<std::string> lines_;
};

}  // namespace

std::string RunConversion(const RunRequest& request, RunState& state, RunView& view) {
  LoadSource(request.source, state.pageText, request.fetch);
  state.sessionName =
      request.saveName.empty() ? DeriveSessionName(request.source) : request.saveName;

  RecordingView recorder(view);
  // One client for the whole run, so that pictures of one host share a kept-alive connection.
  HttpClient client(request.fetch);
  ImageLocaliser localiser(SessionFolder{request.programFolder, state.sessionName},
                           [&client](const std::string& url) { return client.Get(url); });
  ConvertCatalogue(recorder, localiser, request.options, state.pageText);

  const std::string outputPath = request.programFolder + state.sessionName + ".html";
  SavePage(outputPath, recorder.lines());
  return outputPath;
}

}  // namespace picsheet
