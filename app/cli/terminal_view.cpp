// TerminalView: status lines and the live progress bar drawn on stderr.
#include "app/cli/terminal_view.h"

namespace picsheet {

TerminalView::TerminalView(std::FILE* out, bool printStatus, bool live)
    : out_(out), printStatus_(printStatus), live_(live && !printStatus) {}

TerminalView::~TerminalView() { EndLive(); }

void TerminalView::SetStatus(std::string_view status) {
  if (printStatus_) {
    std::fwrite(status.data(), 1, status.size(), out_);
    std::fputc('\n', out_);
    std::fflush(out_);
  }
  status_.assign(status);
  Redraw();
}

void TerminalView::PictureProgress(int saved, int total) {
  saved_ = saved;
  total_ = total;
  Redraw();
}

void TerminalView::CatalogueStarted(std::size_t index, std::size_t count, const CollectionItem&) {
  catalogue_ =
      count > 1 ? "catalogue " + std::to_string(index + 1) + " of " + std::to_string(count) + ": "
                : "";
  // The bar starts again with the next catalogue's pictures.
  saved_ = 0;
  total_ = -1;
}

void TerminalView::Redraw() {
  if (!live_) return;
  std::string line = "\r\033[K" + catalogue_;
  if (total_ > 0) {
    constexpr int kWidth = 30;
    const int filled = static_cast<int>(static_cast<long long>(saved_) * kWidth / total_);
    line += '[' + std::string(static_cast<std::size_t>(filled), '#') +
            std::string(static_cast<std::size_t>(kWidth - filled), '.') + "] " +
            std::to_string(saved_) + "/" + std::to_string(total_) + "  ";
  }
  line += status_;
  std::fwrite(line.data(), 1, line.size(), out_);
  std::fflush(out_);
  liveShown_ = true;
}

void TerminalView::EndLive() {
  if (!liveShown_) return;
  std::fputs("\r\033[K", out_);
  std::fflush(out_);
  liveShown_ = false;
}

}  // namespace picsheet
