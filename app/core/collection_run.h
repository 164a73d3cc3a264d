// A collection: several catalogues converted in turn in one run, each into its own page and
// picture folder, with the options of the run. One transfer engine, one answer store, one memory
// budget and one connection pool serve them all, and the next catalogue's page and pictures
// download while the current one converts.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/core/run_flow.h"
#include "base/error.h"

namespace picsheet {

// One catalogue of a collection.
struct CollectionItem {
  std::string source;    // an "http://" link or a local file path
  std::string saveName;  // 8-bit; the page is saved as saveName + ".html"
};

// The catalogues of a collection in order, and what the user is told about the sources given.
struct CollectionPlan {
  std::vector<CollectionItem> items;
  std::vector<std::string> notes;  // one line each, without a prefix; UTF-8
};

// The catalogues of sources, in order: a source given again (the same text once the blanks
// around it are dropped) is left out with a note; each keeps saveName when given (one source),
// else the name DeriveSessionName gives it, with "-2", "-3" ... appended when an earlier source
// already took that name, with a note.
CollectionPlan PlanCollection(const std::vector<std::string>& sources,
                              const std::string& saveName = {});

// Adds one catalogue's counts (and the pictures it left out) to total.
void AddSummary(CatalogueSummary& total, const CatalogueSummary& one);

// What a collection run tells beyond a single run: the catalogue under way, and how each ended.
// Every call comes from the thread that runs the collection.
class CollectionView : public RunView {
 public:
  // Catalogue index (from 0) of count begins: its lines, status texts and picture progress
  // follow.
  virtual void CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem& item) {
    (void)index;
    (void)count;
    (void)item;
  }
  // Its page was saved at pagePath.
  virtual void CatalogueSaved(std::size_t index, const std::string& pagePath,
                              const CatalogueSummary& summary) {
    (void)index;
    (void)pagePath;
    (void)summary;
  }
  // A run that keeps going left it out: its page could not be had (error says why).
  virtual void CatalogueSkipped(std::size_t index, const Error& error) {
    (void)index;
    (void)error;
  }
};

// How a collection run went, so far as it got; the state of the catalogue under way is in
// RunState as for a single run.
struct CollectionOutcome {
  std::vector<std::string> savedPages;  // in the order of the items
  std::size_t skipped = 0;              // catalogues left out (keepGoing only)
  CatalogueSummary total;               // every saved catalogue's counts added up
};

// Converts items in turn with request's options (request.source and request.saveName are not
// used), each as RunConversion would. A catalogue that fails ends the run with its Error (the
// catalogues before it stay saved, its own folder is left as a single run leaves it); the last
// CatalogueStarted named it. With request.options.keepGoing and more than one item, a catalogue
// whose page cannot be had is reported to view (CatalogueSkipped) and the run goes on; the one
// catalogue of a single run still fails with it. A stop ends the run with "Interrupted": the
// catalogue under way leaves its folder as it was. A failed run's saved pages are those view was
// told of. The next item's page is loaded (and its pictures queued, within the one budget) while
// a catalogue is written; no further page is loaded ahead.
CollectionOutcome RunCollection(const RunRequest& request, const std::vector<CollectionItem>& items,
                                RunState& state, CollectionView& view);

}  // namespace picsheet
