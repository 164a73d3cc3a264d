// PDF export from the shell. Rendering needs a web engine, which picsheet-cli does not link: the
// window program beside it renders the page without opening a window.
#pragma once

#include <stop_token>
#include <string>
#include <vector>

namespace picsheet {

// Writes pdfPath from the saved pages at pagePaths (each starting on a new sheet of paper, in
// their order) with "picsheet --export-pdf PAGE... PDF", on paper "a4" or "letter". Returns the
// window program's warning lines (a sheet too wide for true size), each ending in a line break.
// Throws Error when the window program is not installed beside picsheet-cli or cannot write the
// file, and Error "Interrupted" within about a tenth of a second of a stop request (the renderer is
// stopped; no PDF is written).
std::string ExportPdfWithWindowProgram(const std::vector<std::string>& pagePaths,
                                       const std::string& pdfPath, const std::string& paper,
                                       std::stop_token stop);

}  // namespace picsheet
