// What picsheet-cli tells of each catalogue of a run: the saved page's path (and its summary) on
// stdout, the pictures and catalogues left out on stderr; the progress goes to the terminal view.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/cli/terminal_view.h"
#include "app/core/collection_run.h"

namespace picsheet {

class CollectionReport final : public CollectionView {
 public:
  // summaries: a "summary: " line after each path. With more than one item every page is
  // reported as soon as it is saved; a single catalogue waits for PrintSaved, so that its path
  // still follows its PDF and a failing PDF leaves stdout empty.
  CollectionReport(TerminalView& terminal, const std::vector<CollectionItem>& items,
                   bool summaries);

  void ClearLines() override { terminal_.ClearLines(); }
  void AppendLine(std::string_view line) override { terminal_.AppendLine(line); }
  void SetStatus(std::string_view status) override { terminal_.SetStatus(status); }
  void PictureProgress(int saved, int total) override { terminal_.PictureProgress(saved, total); }
  void CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem& item) override;
  void CatalogueSaved(std::size_t index, const std::string& pagePath,
                      const CatalogueSummary& summary) override;
  void CatalogueSkipped(std::size_t index, const Error& error) override;

  // Reports the pages saved and not reported yet.
  void PrintSaved();
  // The catalogue under way, as error lines name it: without blanks around a link or a password.
  std::string CurrentSource() const;
  // True when a catalogue or a picture was left out.
  bool LeftOut() const { return leftOut_; }

 private:
  struct SavedPage {
    std::string path;
    CatalogueSummary summary;
  };

  TerminalView& terminal_;
  const std::vector<CollectionItem>& items_;
  bool summaries_;
  bool streaming_;
  std::size_t current_ = 0;
  std::vector<SavedPage> unreported_;
  bool leftOut_ = false;
};

}  // namespace picsheet
