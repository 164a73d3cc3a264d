// The sheet: what a catalogue page becomes once laid out, before anything is fetched or written.
// One layout step makes it; the writers (the HTML page, the run's picture plan) only read it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/error.h"

namespace picsheet {

// How far the scan of the page's head got; each stage shows a status text of its own.
enum class SheetHead {
  kNoTitle,     // no title start: nothing is written
  kNoTitleEnd,  // a title start without its end: nothing is written
  kNoCells,     // a title and no table cell: the title line alone
  kTable,       // a title and a table, however short
};

// One picture the sheet shows, to be fetched and saved: every slot is asked for once, in page
// order, which is also the order of the pictures vector.
struct PictureSlot {
  std::string address;      // as the page writes it
  std::string numberText;   // of its source cell, as the page writes it
  std::int32_t index = 0;   // within its number: 1, 2 for a repeat, ...; a wrapper's ordinal
  std::int32_t cell = 0;    // the output cell it goes into, from 1; 0 when held back or
                            // before the first cell
  bool heldBack = false;    // a wrapper that takes a cell of its own at the end of the table
  bool zeroValued = false;  // its number is 0 (or no number): its line has no height, and it
                            // shares the wrappers' printed height rather than the numbers' one

  // The name it is saved under: number text + "_" + index ("12_1"); wrappers' are "0_1", "0_2".
  std::string Name() const {
    return (heldBack ? std::string("0") : numberText) + "_" + std::to_string(index);
  }
  // The picture as a failure names it.
  PictureContext Context() const { return {numberText, index, cell, address}; }
};

// One output cell. Its pictures are consecutive picture slots: a held-back wrapper between two
// pictures of one number makes the second open a cell of its own.
struct SheetCell {
  std::string caption;         // at its foot, as the line that closes the cell writes it
  std::size_t firstSlot = 0;   // its pictures, one under another: pictures firstSlot ...
  std::size_t slotCount = 0;   // ... firstSlot + slotCount - 1
  bool missingNumber = false;  // an empty cell for a number the page lacks
};

// One source cell of the page, in page order, as the scan met it: what it adds to the table and
// the progress it reports. The scan stops at a source cell cut short, which then reports nothing.
struct SheetStep {
  enum class Kind {
    kHeldBack,  // a wrapper: its picture is fetched now, its cell comes at the end
    kStacked,   // a repeat: a further picture under the last one of the open cell
    kSkipped,   // a repeat left out: no picture
    kOpens,     // a new number: opens cell, after empty cells for the numbers missing before it
  };
  Kind kind = Kind::kOpens;
  std::size_t cell = 0;  // kOpens: the cell it opens
  bool picture = false;  // it brings the next slot (a skipped repeat or a cut address does not)
  bool reports = false;  // its cell end was found: progress is reported after it
  std::int32_t pictures = 0;  // the progress: pictures counted so far, plus one
  std::int32_t repeat = 0;    // and the index of its picture within its number
};

// A laid-out catalogue page: a title over one table of cells, cellsPerRow to a row.
struct Sheet {
  SheetHead head = SheetHead::kNoTitle;
  std::string title;  // the page's bytes, copied as they are
  int cellsPerRow = 10;
  long double cellWidth = 0;          // cm: 19 / cellsPerRow, the width of every cell and picture
  std::string widthText;              // the width as the page writes it ("1.9")
  std::int32_t orientation = 2;       // how pictures should stand: 2, 1 or 0
  std::int32_t rotationAngle = 90;    // the turn of a picture that does not, in degrees
  std::vector<PictureSlot> pictures;  // every picture slot, in page order
  // The table in order; cell k opens row k / cellsPerRow. The held-back wrappers' cells come last,
  // from firstHeldBack on, in page order. The pictures of a first number "0" with the wrappers
  // kept in place come before any cell and belong to none.
  std::vector<SheetCell> cells;
  std::size_t firstHeldBack = 0;
  std::string closingCaption;  // the caption of the last cell (that of 0 when there is none)
  std::vector<SheetStep> steps;
};

}  // namespace picsheet
