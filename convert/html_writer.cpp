// WriteHtmlSheet: the head lines, the cells in the order the page's source cells opened them, the
// held-back wrappers' cells and the closing line.
#include "convert/html_writer.h"

#include <optional>
#include <string>
#include <vector>

#include "base/error.h"
#include "convert/numbers.h"

namespace picsheet {
namespace {

class HtmlWriter {
 public:
  HtmlWriter(const Sheet& sheet, CatalogueView& view, PictureLocaliser& localiser, bool keepGoing,
             CatalogueSummary& summary)
      : sheet_(sheet),
        view_(view),
        localiser_(localiser),
        keepGoing_(keepGoing),
        summary_(summary),
        cellStyle_("width:" + sheet.widthText + "cm"),
        heightText_(sheet.widthText) {}

  void Write() {
    view_.ClearLines();
    view_.SetStatus("Ищем заголовок...");
    if (sheet_.head == SheetHead::kNoTitle) return;
    view_.SetStatus("Ищем конец заголовка...");
    if (sheet_.head == SheetHead::kNoTitleEnd) return;
    view_.AppendLine("<html><body><center><b>" + sheet_.title + "</b></center>");
    view_.SetStatus("Ищем первую ячейку таблицы...");
    if (sheet_.head == SheetHead::kNoCells) return;
    view_.AppendLine("<table style=\"width: 19cm\">");
    for (const SheetStep& step : sheet_.steps) WriteStep(step);
    // Held-back pictures take cells of their own after all others, then the table is closed.
    for (std::size_t cell = sheet_.firstHeldBack; cell < sheet_.cells.size(); ++cell) {
      WriteOpener(cell);
      const std::optional<std::string>& path = heldBackPaths_[cell - sheet_.firstHeldBack];
      if (path) {
        AppendPictureWithoutHeight(*path);
      } else {
        AppendPlaceholder();
      }
    }
    view_.AppendLine(sheet_.closingCaption + "</td></tr>\r\n</table></body></html>");
  }

 private:
  // The lines of one source cell, its picture saved as its line comes, then its progress.
  void WriteStep(const SheetStep& step) {
    switch (step.kind) {
      case SheetStep::Kind::kOpens:
        while (opened_ <= step.cell) WriteOpener(opened_);
        break;
      case SheetStep::Kind::kStacked:
        view_.AppendLine("<br/>");
        ++summary_.stackedRepeats;
        break;
      case SheetStep::Kind::kSkipped:
        ++summary_.skippedRepeats;
        break;
      case SheetStep::Kind::kHeldBack:
        break;
    }
    if (step.picture) WritePicture(nextSlot_++);
    if (step.reports) {
      view_.SetStatus("Изображений " + std::to_string(step.pictures) + " №" +
                      std::to_string(step.repeat) + " ячейка " +
                      std::to_string(step.pictures % sheet_.cellsPerRow + 1));
    }
  }

  void WritePicture(std::size_t index) {
    const PictureSlot& slot = sheet_.pictures[index];
    if (slot.zeroValued) {
      const std::optional<std::string> path = Localise(slot, index, zeroHeight_);
      if (slot.heldBack) {
        // A wrapper left out keeps its held-back cell and its ordinal, so the wrappers after it
        // are named as in a run where every picture arrived.
        if (path) ++summary_.wrappersMoved;
        heldBackPaths_.push_back(path);
      } else if (path) {
        AppendPictureWithoutHeight(*path);
      } else {
        AppendPlaceholder();
      }
    } else {
      const bool heightOpen = pictureHeight_ == 0;
      const std::optional<std::string> path = Localise(slot, index, pictureHeight_);
      if (path) {
        if (heightOpen) heightText_ = FormatOneDecimal(pictureHeight_);
        view_.AppendLine("<img src=\"" + *path + "\" style=\"width:" + sheet_.widthText +
                         "cm; height: " + heightText_ + "cm\"/>");
      } else {
        AppendPlaceholder();
      }
    }
  }

  // The localiser's call for one picture; the first picture of a share that arrives fixes its
  // height. An error leaves with the picture it concerns attached, so that the user learns which
  // cell of the catalogue failed; kept going, a picture that cannot be had gives no path instead
  // and goes to the list of those left out, and the height stays open for the next one.
  std::optional<std::string> Localise(const PictureSlot& slot, std::size_t index,
                                      long double& printedHeight) {
    try {
      SavedPicture saved = localiser_.LocaliseImage(sheet_, index, printedHeight);
      if (printedHeight == 0) printedHeight = saved.printedHeight;
      ++summary_.pictures;
      return std::move(saved.path);
    } catch (Error& error) {
      if (!error.picture()) error.SetPicture(slot.Context());
      if (!keepGoing_ || !error.undelivered()) throw;
      summary_.leftOut.push_back(error);
      // The list says why each picture is missing; without a cause in words, the message does.
      if (error.reason().empty()) summary_.leftOut.back().SetReason(error.what());
      return std::nullopt;
    }
  }

  // Opens cell, closing the one before it with its caption; an empty cell for a missing number
  // gets its placeholder at once.
  void WriteOpener(std::size_t cell) {
    const std::string open = "<td style=\"" + cellStyle_ + "\">";
    const std::size_t row = static_cast<std::size_t>(sheet_.cellsPerRow);
    if (cell % row != 0) {
      view_.AppendLine(sheet_.cells[cell - 1].caption + "</td>" + open);
    } else if (cell == 0) {
      view_.AppendLine("<tr valign=\"top\">" + open);
    } else {
      view_.AppendLine(sheet_.cells[cell - 1].caption + "</td></tr>\r\n<tr valign=\"top\">" + open);
    }
    ++summary_.cells;
    opened_ = cell + 1;
    if (sheet_.cells[cell].missingNumber) {
      AppendPlaceholder();
      ++summary_.emptyCells;
    }
  }

  void AppendPictureWithoutHeight(const std::string& path) {
    view_.AppendLine("<img src=\"" + path + "\" style=\"width:" + sheet_.widthText + "cm\"/>");
  }

  // An empty picture of the cell's size: for a missing number, or a picture left out.
  void AppendPlaceholder() {
    view_.AppendLine("<img style=\"width:" + sheet_.widthText + "cm; height: " + heightText_ +
                     "cm\"/>");
  }

  const Sheet& sheet_;
  CatalogueView& view_;
  PictureLocaliser& localiser_;
  const bool keepGoing_;
  CatalogueSummary& summary_;
  const std::string cellStyle_;
  std::string heightText_;         // of pictures and placeholders: square until a picture fixes it
  long double pictureHeight_ = 0;  // shared by the pictures of nonzero numbers, on the page
  long double zeroHeight_ = 0;     // shared by the others; it never reaches the page
  std::size_t opened_ = 0;         // cells whose opener is written
  std::size_t nextSlot_ = 0;
  std::vector<std::optional<std::string>> heldBackPaths_;  // no path: a wrapper left out
};

}  // namespace

void WriteHtmlSheet(const Sheet& sheet, CatalogueView& view, PictureLocaliser& localiser,
                    bool keepGoing, CatalogueSummary& summary) {
  HtmlWriter(sheet, view, localiser, keepGoing, summary).Write();
}

}  // namespace picsheet
