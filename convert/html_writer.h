// The HTML writer: the lines of the printable page and the progress texts, from a sheet.
#pragma once

#include "convert/catalogue.h"
#include "convert/sheet.h"

namespace picsheet {

// Empties the view, then appends the page's lines and sets the status texts, in the order of the
// page's source cells (sheet.steps), asking localiser for each slot in order as its line comes.
// An error from the localiser leaves at once: the lines so far stay, no held-back cell and no
// closing line follow. The counts go to summary as they are made. With keepGoing, an
// undelivered() error leaves its picture out instead: a placeholder of the current height takes
// its place (in its cell, under a repeat's "<br/>", or in its held-back cell at the end, so later
// names stay the same), the printed height stays open for the next picture that is had, and the
// error goes to summary.leftOut. Every other error still leaves.
void WriteHtmlSheet(const Sheet& sheet, CatalogueView& view, PictureLocaliser& localiser,
                    bool keepGoing, CatalogueSummary& summary);

}  // namespace picsheet
