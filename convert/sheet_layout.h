// The layout step: a catalogue page and the options become a sheet.
#pragma once

#include <string>

#include "convert/catalogue.h"
#include "convert/sheet.h"

namespace picsheet {

// Scans pageText for the title and the cells and lays them out after options: the cells with
// their captions, the empty cells for missing numbers, the repeats stacked or skipped, the
// wrappers held back for the end. Pure: reads no file, fetches nothing, writes nothing. A page
// that lacks the expected markers gives a shorter sheet, never an error. Linear in the page.
Sheet LayOutSheet(std::string pageText, const CatalogueOptions& options);

}  // namespace picsheet
