// What picsheet-cli shows of a run on stderr: status lines on request, live progress on a terminal.
#pragma once

#include <cstdio>
#include <string>

#include "app/core/collection_run.h"

namespace picsheet {

class TerminalView final : public CollectionView {
 public:
  // printStatus: every status text as a line of its own. live: stderr is a terminal, so the
  // current status (or a bar once the picture count is known) is redrawn in place.
  TerminalView(std::FILE* out, bool printStatus, bool live);
  ~TerminalView() override;

  void ClearLines() override {}
  void AppendLine(std::string_view) override {}
  void SetStatus(std::string_view status) override;
  void PictureProgress(int saved, int total) override;
  // With more than one catalogue, the live line begins with "catalogue K of N: ".
  void CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem& item) override;

  // Removes the live line, so that what follows starts on a clean line.
  void EndLive();

 private:
  void Redraw();

  std::FILE* out_;
  bool printStatus_;
  bool live_;
  bool liveShown_ = false;
  std::string catalogue_;  // "catalogue K of N: " or empty
  std::string status_;
  int saved_ = 0;
  int total_ = -1;
};

}  // namespace picsheet
