// ConvertCatalogue: the head of the page, the cell loop and the end of the table.
#include "convert/catalogue.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "base/error.h"
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

}  // namespace

bool HasCatalogueTitle(std::string_view pageText) {
  return pageText.find(kTitleStart) != std::string_view::npos;
}

namespace {

class Conversion {
 public:
  Conversion(CatalogueView& view, PictureLocaliser& localiser, const CatalogueOptions& options,
             CatalogueSummary& summary)
      : view_(view), localiser_(localiser), options_(options), summary_(summary) {}

  void Run(std::string pageText) {
    PageScanner page(std::move(pageText));
    view_.ClearLines();
    const bool titleFound = page.Find(kTitleStart);
    view_.SetStatus("Ищем заголовок...");
    if (!titleFound) return;
    page.Skip();
    view_.SetStatus("Ищем конец заголовка...");
    if (!page.Find(kTitleEnd)) return;
    view_.AppendLine("<html><body><center><b>" + page.Take() + "</b></center>");
    view_.SetStatus("Ищем первую ячейку таблицы...");
    if (!page.Find(kCellStart)) return;
    view_.AppendLine("<table style=\"width: 19cm\">");
    StartTable();
    RunCells(page);
    FinishTable();
  }

 private:
  void StartTable() {
    // The spin field's bounds; they also keep the row arithmetic away from a zero divisor.
    cellsPerRow_ = std::clamp(options_.cellsPerRow, 2, 20);
    cellWidth_ = 19.0L / static_cast<long double>(cellsPerRow_);
    widthText_ = FormatOneDecimal(cellWidth_);
    cellStyle_ = "width:" + widthText_ + "cm";
    heightText_ = widthText_;
  }

  void RunCells(PageScanner& page) {
    do {
      page.Skip();  // through "<td><center>"
      if (!page.Find(kPictureStart)) return;
      const std::string curNumber = page.Take();
      bool isCover = false;
      bool skipPicture = false;

      if (options_.holdBackCovers && NumberValue(curNumber) == 0) {
        isCover = true;
        MarkCoverNumber();
        repeatIndex_ = static_cast<std::int32_t>(heldBack_.size()) + 1;
      } else if (curNumber == prevNumber_) {
        if (options_.skipRepeats) {
          skipPicture = true;
          ++summary_.skippedRepeats;
        } else {
          view_.AppendLine("<br/>");
          ++summary_.stackedRepeats;
        }
        ++repeatIndex_;
      } else {
        OpenNumberCell(curNumber);
      }

      if (!page.Find(kPictureEnd)) return;
      const std::string pictureUrl = page.Take();
      if (!skipPicture) LocalisePicture(curNumber, pictureUrl, isCover);
      if (!isCover) ++pictureCount_;

      if (!page.Find(kCellEnd)) return;
      page.Skip();
      view_.SetStatus("Изображений " + std::to_string(pictureCount_) + " №" +
                      std::to_string(repeatIndex_) + " ячейка " +
                      std::to_string(pictureCount_ % cellsPerRow_ + 1));
    } while (page.Find(kCellStart));
  }

  // A new number: placeholder cells for the numbers missing before it, then its own cell.
  void OpenNumberCell(const std::string& curNumber) {
    const std::int64_t prev = NumberValue(prevNumber_);
    const std::int64_t cur = NumberValue(curNumber);
    if (options_.gapCells && cur > prev + 1 && cur - prev < 50) {
      for (std::int64_t k = prev; k <= cur - 2; ++k) {
        WriteOpener(IntegerCaption(static_cast<std::int32_t>(k)));
        prevNumber_ = std::to_string(k + 1);
        AppendPlaceholder();
        ++summary_.emptyCells;
      }
    }
    repeatIndex_ = 1;
    WriteOpener(TextCaption(prevNumber_));
    prevNumber_ = curNumber;
  }

  void LocalisePicture(const std::string& curNumber, const std::string& pictureUrl, bool isCover) {
    const PictureContext context{curNumber, repeatIndex_, isCover ? 0 : cellCount_, pictureUrl};
    std::optional<std::string> path;
    if (NumberValue(prevNumber_) == 0) {
      path = Localise(context, zeroHeight_);
      if (isCover) {
        // A cover left out keeps its held-back cell and its ordinal, so the covers after it are
        // named as in a run where every picture arrived.
        if (path) ++summary_.wrappersMoved;
        heldBack_.push_back(path);
      } else if (path) {
        AppendPictureWithoutHeight(*path);
      } else {
        AppendPlaceholder();
      }
    } else {
      path = Localise(context, pictureHeight_);
      if (path) {
        heightText_ = FormatOneDecimal(pictureHeight_);
        view_.AppendLine("<img src=\"" + *path + "\" style=\"width:" + widthText_ +
                         "cm; height: " + heightText_ + "cm\"/>");
      } else {
        AppendPlaceholder();
      }
    }
    if (path) ++summary_.pictures;
  }

  // The localiser's call for one picture. An error leaves with the picture it concerns attached,
  // so that the user learns which cell of the catalogue failed; kept going, a picture that cannot
  // be had gives no path instead and goes to the list of those left out.
  std::optional<std::string> Localise(const PictureContext& context, long double& printedHeight) {
    // Kept going, the picture works on a copy of the height, taken over only once it is saved:
    // one that fails after its header was read must not fix the height of the rest.
    long double trial = printedHeight;
    long double& height = options_.keepGoing ? trial : printedHeight;
    try {
      std::string path = localiser_.LocaliseImage(
          context.address, cellWidth_, height, OrientationCode(options_.orientation),
          TurnAngle(options_.turn), prevNumber_ + "_" + std::to_string(repeatIndex_));
      printedHeight = height;
      return path;
    } catch (Error& error) {
      if (!error.picture()) error.SetPicture(context);
      if (!options_.keepGoing || !error.undelivered()) throw;
      summary_.leftOut.push_back(error);
      // The list says why each picture is missing; without a cause in words, the message does.
      if (error.reason().empty()) summary_.leftOut.back().SetReason(error.what());
      return std::nullopt;
    }
  }

  // Held-back pictures take cells of their own after all others, then the table is closed.
  void FinishTable() {
    for (const std::optional<std::string>& path : heldBack_) {
      WriteOpener(TextCaption(prevNumber_));
      if (path) {
        AppendPictureWithoutHeight(*path);
      } else {
        AppendPlaceholder();
      }
      MarkCoverNumber();
    }
    view_.AppendLine(TextCaption(prevNumber_) + "</td></tr>\r\n</table></body></html>");
  }

  // Opens the next output cell; its line also closes the open cell with caption.
  void WriteOpener(const std::string& caption) {
    const std::string cell = "<td style=\"" + cellStyle_ + "\">";
    if (cellCount_ % cellsPerRow_ != 0) {
      view_.AppendLine(caption + "</td>" + cell);
    } else if (cellCount_ == 0) {
      view_.AppendLine("<tr valign=\"top\">" + cell);
    } else {
      view_.AppendLine(caption + "</td></tr>\r\n<tr valign=\"top\">" + cell);
    }
    ++cellCount_;
    ++summary_.cells;
  }

  void AppendPictureWithoutHeight(const std::string& path) {
    view_.AppendLine("<img src=\"" + path + "\" style=\"width:" + widthText_ + "cm\"/>");
  }

  // Covers take number "0". Filled rather than assigned from a literal, which GCC 12 at -O3
  // mistakes for an overlapping copy (-Wrestrict).
  void MarkCoverNumber() { prevNumber_.assign(1, '0'); }

  // An empty picture of the cell's size: for a missing number, or a picture left out.
  void AppendPlaceholder() {
    view_.AppendLine("<img style=\"width:" + widthText_ + "cm; height: " + heightText_ + "cm\"/>");
  }

  std::string TextCaption(const std::string& number) const {
    return options_.digitCaptions ? NumberLabelFromText(number) : number;
  }
  std::string IntegerCaption(std::int32_t number) const {
    return options_.digitCaptions ? NumberLabelFromInt(number) : std::to_string(number);
  }

  CatalogueView& view_;
  PictureLocaliser& localiser_;
  const CatalogueOptions& options_;
  CatalogueSummary& summary_;

  int cellsPerRow_ = 10;
  long double cellWidth_ = 0;
  std::string widthText_;
  std::string cellStyle_;
  long double pictureHeight_ = 0;
  long double zeroHeight_ = 0;
  std::string heightText_;
  std::string prevNumber_ = "0";
  std::int32_t cellCount_ = 0;
  std::int32_t repeatIndex_ = 0;
  std::int32_t pictureCount_ = 1;
  std::vector<std::optional<std::string>> heldBack_;  // no path: a cover left out
};

}  // namespace

void ConvertCatalogue(CatalogueView& view, PictureLocaliser& localiser,
                      const CatalogueOptions& options, std::string pageText,
                      CatalogueSummary* summary) {
  CatalogueSummary counts;
  Conversion(view, localiser, options, summary != nullptr ? *summary : counts)
      .Run(std::move(pageText));
}

}  // namespace picsheet
