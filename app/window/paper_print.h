// Printing the rendered sheet: the PDF itself goes to the printer, never a raster of the page.
#pragma once

#include <QByteArray>

class QPrinter;

namespace picsheet {

// Sends pdf, rendered on printer's page layout, to the printer the print dialog set up. A
// printer that prints to a file gets the PDF written there; a system printer gets it as a CUPS
// job with the dialog's copies, page ranges and sides, and without any fitting to the paper.
// Throws Error when the file cannot be written or the job is refused.
void SendToPrinter(const QByteArray& pdf, QPrinter& printer);

}  // namespace picsheet
