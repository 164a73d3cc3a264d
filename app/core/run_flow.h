// One whole conversion, shared by the window and the command line: load the source, fix the save
// name, convert with the real picture localiser, save the page.
#pragma once

#include <cstdint>
#include <stop_token>
#include <string>

#include "app/core/picture_queue.h"
#include "convert/catalogue.h"
#include "web/fetch_options.h"

namespace picsheet {

// What the user chose for one run.
struct RunRequest {
  std::string source;         // an "http://" link or a local file path
  std::string saveName;       // 8-bit, used unchanged when not empty; else derived from source
  std::string programFolder;  // where the page and the picture folder go; ends in "/"
  CatalogueOptions options;
  int jobs = 6;                           // pictures downloaded at once from one server
  int threads = DefaultPictureThreads();  // pictures turned and encoded at once, ahead of it too
  FetchOptions fetch;                     // time-outs and retries of every transfer
  std::stop_token stop;                   // the user's stop: the run ends with "Interrupted"
  // Where answers are kept for the next run (DefaultCacheFolder()); empty: nothing is kept and
  // every page and picture is downloaded whole.
  std::string cacheFolder;
  std::uint64_t cacheBytes = std::uint64_t{1} << 30;  // the most the kept answers may take
};

// State the window keeps between runs; a run updates it as it goes, also when it fails.
struct RunState {
  std::string sessionName;   // the save name of the latest run
  CatalogueSummary summary;  // what the latest run's conversion did, so far as it got
};

// The summary as one line for a collector, e.g. "9 cells, 8 pictures saved, 1 empty cell for a
// missing number, 1 repeat stacked, 0 repeats skipped, 1 wrapper moved to the end, 0 pictures
// left out".
std::string FormatSummary(const CatalogueSummary& summary);

// The converter's view plus the run's progress in pictures.
class RunView : public CatalogueView {
 public:
  // Called once before the conversion with the number of pictures it will save, and after every
  // saved picture with the count so far.
  virtual void PictureProgress(int saved, int total) {
    (void)saved;
    (void)total;
  }
};

// Runs one conversion and returns the saved page's path (programFolder + sessionName + ".html",
// the name in its FileSystemName form).
// Lines and status texts reach view as they are made. Throws Error with the message of the step
// that failed; what was done before stays (lines in the view, picture files on disk). With
// options.keepGoing, pictures that cannot be had are left out (state.summary.leftOut) and the
// page is saved all the same. Once request.stop is requested, every transfer, pause and worker
// ends at once and the run fails with "Interrupted", leaving the output folder as it was; a
// failing picture ends the run as fast, keeping the pictures saved before it.
// With digit captions, the digit pictures the folder lacks are copied into programFolder +
// "syriannums/" before the page is saved.
std::string RunConversion(const RunRequest& request, RunState& state, RunView& view);

}  // namespace picsheet
