// The catalogue page converter: scans a catalogue page and writes the printable picture table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/error.h"
#include "convert/picture_turn.h"
#include "convert/sheet.h"

namespace picsheet {

// The options of one conversion.
struct CatalogueOptions {
  int cellsPerRow = 10;                              // cells in each table row, 2 to 20
  Orientation orientation = Orientation::kVertical;  // how pictures should stand
  Turn turn = Turn::kClockwise;                      // the turn of a mismatched picture
  bool holdBackCovers = true;  // pictures of zero-valued numbers go to the end of the table
  bool skipRepeats = false;    // a repeated number's further pictures are left out
  bool gapCells = true;        // missing numbers get placeholder cells
  bool digitCaptions = false;  // captions carry digit images before the number
  bool keepGoing = false;      // a picture that cannot be had leaves an empty cell, the run goes on
};

// Where the converter's output goes: the lines of the page and the progress status texts.
class CatalogueView {
 public:
  virtual ~CatalogueView() = default;
  virtual void ClearLines() = 0;
  virtual void AppendLine(std::string_view line) = 0;
  virtual void SetStatus(std::string_view status) = 0;
};

// What the localiser tells of a picture it saved.
struct SavedPicture {
  std::string path;               // the path the page refers to it by; never empty
  long double printedHeight = 0;  // the printed height in force for its share after it
};

// Brings the pictures of a sheet to the local disk.
class PictureLocaliser {
 public:
  virtual ~PictureLocaliser() = default;
  // Told once, before any picture is asked for, the sheet whose slots are then asked for in
  // order, each once: a localiser that fetches ahead plans its downloads here.
  virtual void Plan(const Sheet& sheet) { (void)sheet; }
  // Saves sheet.pictures[slot], sized for sheet.cellWidth and turned after sheet.orientation and
  // sheet.rotationAngle. printedHeight is the one in force for the pictures it shares a height
  // with; while that is 0, this picture's shape gives it, and the result carries it. Throws Error
  // when the picture cannot be delivered.
  virtual SavedPicture LocaliseImage(const Sheet& sheet, std::size_t slot,
                                     long double printedHeight) = 0;
};

// What a conversion did, counted as it goes; a run that stops early keeps the counts so far.
struct CatalogueSummary {
  int cells = 0;           // output cells, placeholders and held-back cells included
  int pictures = 0;        // pictures the localiser saved
  int emptyCells = 0;      // placeholder cells for missing numbers
  int stackedRepeats = 0;  // further pictures of a repeated number, stacked in its cell
  int skippedRepeats = 0;  // further pictures of a repeated number, left out
  int wrappersMoved = 0;   // pictures of number 0 moved to the end of the table
  // Pictures that could not be had and were left out in a run that kept going, in page order,
  // each with its picture and the reason in words (the message when there is no other).
  std::vector<Error> leftOut;
};

// True when pageText holds the start of a catalogue's title ("<center><font size=3><b>"): the
// mark of a catalogue page. Without it the conversion gives an empty page.
bool HasCatalogueTitle(std::string_view pageText);

// Lays pageText out as a sheet (LayOutSheet), tells localiser the sheet (Plan), then writes it
// (WriteHtmlSheet): empties the view, appends the output page line by line and sets progress
// status texts. A page that lacks the expected markers gives less output, never an error. An
// error from the localiser leaves at once: the lines so far stay, no held-back cell and no
// closing line follow. The counts go to summary when one is given; they never change the lines
// or the status texts. With keepGoing, an undelivered() error leaves its picture out instead: a
// placeholder line of the current height stands in its place (in its cell, under a repeat's
// "<br/>", or in its held-back cell at the end, so later names stay the same), the printed height
// stays open for the next picture that is had, and the error goes to summary->leftOut. Every
// other error still leaves.
void ConvertCatalogue(CatalogueView& view, PictureLocaliser& localiser,
                      const CatalogueOptions& options, std::string pageText,
                      CatalogueSummary* summary = nullptr);

// ConvertCatalogue of a sheet laid out before (LayOutSheet with the same options), for a run
// that plans a page's downloads while another page is being written.
void ConvertSheet(CatalogueView& view, PictureLocaliser& localiser, const CatalogueOptions& options,
                  const Sheet& sheet, CatalogueSummary* summary = nullptr);

}  // namespace picsheet
