// LayOutSheet: the head of the page, the cell walk and the held-back wrappers' cells.
#include "convert/sheet_layout.h"

#include <algorithm>
#include <string_view>
#include <utility>
#include <vector>

#include "convert/numbers.h"

namespace picsheet {
namespace {

constexpr std::string_view kTitleStart = "<center><font size=3><b>";
constexpr std::string_view kTitleEnd = "</b></font><br>";
constexpr std::string_view kCellStart = "<td><center>";
constexpr std::string_view kPictureStart = "<br><img src=\"";
constexpr std::string_view kPictureEnd = "\" ";
constexpr std::string_view kCellEnd = "</center></td>";

// The page as an unchanged text and a position that only moves forward, so that the whole scan
// stays linear in the page's length.
class PageScanner {
 public:
  explicit PageScanner(std::string page) : page_(std::move(page)) {}

  // True when marker occurs in what is left; then Take() gives the text before it.
  bool Find(std::string_view marker) {
    found_ = std::string_view(page_).find(marker, position_);
    marker_ = marker.size();
    return found_ != std::string_view::npos;
  }
  // The text before the marker last found; everything through the marker is consumed.
  std::string Take() {
    std::string taken = page_.substr(position_, found_ - position_);
    position_ = found_ + marker_;
    return taken;
  }
  void Skip() { position_ = found_ + marker_; }

 private:
  std::string page_;
  std::size_t position_ = 0;
  std::size_t found_ = 0;
  std::size_t marker_ = 0;
};

class Layout {
 public:
  explicit Layout(const CatalogueOptions& options) : options_(options) {}

  Sheet Run(std::string pageText) {
    PageScanner page(std::move(pageText));
    if (!page.Find(kTitleStart)) return std::move(sheet_);
    page.Skip();
    sheet_.head = SheetHead::kNoTitleEnd;
    if (!page.Find(kTitleEnd)) return std::move(sheet_);
    sheet_.title = page.Take();
    sheet_.head = SheetHead::kNoCells;
    if (!page.Find(kCellStart)) return std::move(sheet_);
    sheet_.head = SheetHead::kTable;
    StartTable();
    LayOutCells(page);
    FinishTable();
    return std::move(sheet_);
  }

 private:
  void StartTable() {
    // The spin field's bounds; they also keep the row arithmetic away from a zero divisor.
    sheet_.cellsPerRow = std::clamp(options_.cellsPerRow, 2, 20);
    sheet_.cellWidth = 19.0L / static_cast<long double>(sheet_.cellsPerRow);
    sheet_.widthText = FormatOneDecimal(sheet_.cellWidth);
    sheet_.orientation = OrientationCode(options_.orientation);
    sheet_.rotationAngle = TurnAngle(options_.turn);
  }

  // One pass per source cell, entered with a "<td><center>" found.
  void LayOutCells(PageScanner& page) {
    do {
      page.Skip();  // through "<td><center>"
      if (!page.Find(kPictureStart)) return;
      std::string curNumber = page.Take();
      // Filled in place: the step stays in the sheet also when the page ends inside its cell.
      sheet_.steps.emplace_back();
      const bool isCover = options_.holdBackCovers && NumberValue(curNumber) == 0;
      if (isCover) {
        sheet_.steps.back().kind = SheetStep::Kind::kHeldBack;
        MarkCoverNumber();
        repeatIndex_ = static_cast<std::int32_t>(heldBack_.size()) + 1;
      } else if (curNumber == prevNumber_) {
        sheet_.steps.back().kind =
            options_.skipRepeats ? SheetStep::Kind::kSkipped : SheetStep::Kind::kStacked;
        ++repeatIndex_;
      } else {
        OpenNumberCell(curNumber);
        sheet_.steps.back().cell = sheet_.cells.size() - 1;
      }

      if (!page.Find(kPictureEnd)) return;
      std::string pictureUrl = page.Take();  // cut even when skipped, to keep the scan in step
      if (sheet_.steps.back().kind != SheetStep::Kind::kSkipped) {
        AddSlot(std::move(curNumber), std::move(pictureUrl), isCover);
      }
      if (!isCover) ++pictureCount_;

      if (!page.Find(kCellEnd)) return;
      page.Skip();
      SheetStep& step = sheet_.steps.back();
      step.reports = true;
      step.pictures = pictureCount_;
      step.repeat = repeatIndex_;
    } while (page.Find(kCellStart));
  }

  // A new number: empty cells for the numbers missing before it, then its own cell.
  void OpenNumberCell(const std::string& curNumber) {
    const std::int64_t prev = NumberValue(prevNumber_);
    const std::int64_t cur = NumberValue(curNumber);
    if (options_.gapCells && cur > prev + 1 && cur - prev < 50) {
      for (std::int64_t k = prev; k <= cur - 2; ++k) {
        OpenCell(IntegerCaption(static_cast<std::int32_t>(k)));
        sheet_.cells.back().missingNumber = true;
        prevNumber_ = std::to_string(k + 1);
      }
    }
    repeatIndex_ = 1;
    OpenCell(TextCaption(prevNumber_));
    prevNumber_ = curNumber;
  }

  void AddSlot(std::string curNumber, std::string pictureUrl, bool isCover) {
    PictureSlot slot;
    slot.address = std::move(pictureUrl);
    slot.numberText = std::move(curNumber);
    slot.index = repeatIndex_;
    slot.cell = isCover ? 0 : static_cast<std::int32_t>(sheet_.cells.size());
    slot.heldBack = isCover;
    slot.zeroValued = NumberValue(prevNumber_) == 0;
    if (isCover) {
      heldBack_.push_back(sheet_.pictures.size());
    } else if (!sheet_.cells.empty()) {
      ++sheet_.cells.back().slotCount;
    }
    sheet_.pictures.push_back(std::move(slot));
    sheet_.steps.back().picture = true;
  }

  // Held-back wrappers take cells of their own after all others; the last cell's caption is the
  // one the table's closing line gives it.
  void FinishTable() {
    sheet_.firstHeldBack = sheet_.cells.size();
    for (const std::size_t slot : heldBack_) {
      OpenCell(TextCaption(prevNumber_));
      sheet_.cells.back().firstSlot = slot;
      sheet_.cells.back().slotCount = 1;
      MarkCoverNumber();
    }
    sheet_.closingCaption = TextCaption(prevNumber_);
    if (!sheet_.cells.empty()) sheet_.cells.back().caption = sheet_.closingCaption;
  }

  // Opens the next cell; caption goes to the foot of the cell it closes. The first cell closes
  // none: what stands before it (the pictures of a first number "0") has no caption.
  void OpenCell(std::string caption) {
    if (!sheet_.cells.empty()) sheet_.cells.back().caption = std::move(caption);
    SheetCell& cell = sheet_.cells.emplace_back();
    cell.firstSlot = sheet_.pictures.size();
  }

  // Covers take number "0". Filled rather than assigned from a literal, which GCC 12 at -O3
  // mistakes for an overlapping copy (-Wrestrict).
  void MarkCoverNumber() { prevNumber_.assign(1, '0'); }

  std::string TextCaption(const std::string& number) const {
    return options_.digitCaptions ? NumberLabelFromText(number) : number;
  }
  std::string IntegerCaption(std::int32_t number) const {
    return options_.digitCaptions ? NumberLabelFromInt(number) : std::to_string(number);
  }

  const CatalogueOptions& options_;
  Sheet sheet_;
  std::string prevNumber_ = "0";  // the number text of the open cell, as the next one closes it
  std::int32_t repeatIndex_ = 0;
  std::int32_t pictureCount_ = 1;
  std::vector<std::size_t> heldBack_;  // the wrappers' slots, in page order
};

}  // namespace

bool HasCatalogueTitle(std::string_view pageText) {
  return pageText.find(kTitleStart) != std::string_view::npos;
}

Sheet LayOutSheet(std::string pageText, const CatalogueOptions& options) {
  return Layout(options).Run(std::move(pageText));
}

}  // namespace picsheet
