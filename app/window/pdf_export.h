// The saved page as PDF, the way it is meant to be printed: A4 portrait with 1 cm margins, so
// that the 19 cm table fills the printable width at 100 % and pictures keep their centimetre sizes.
#pragma once

#include <QPageLayout>
#include <QString>
#include <functional>

class QWebEnginePage;

namespace picsheet {

QPageLayout PrintLayout();

// Adds print-only styles to the loaded page and then calls printNow. The body margin, cell
// spacing and padding the page leaves to the browser's defaults would widen the 19 cm table past
// the printable width, and the engine would shrink the whole sheet to fit; printed without them,
// pictures keep their centimetre sizes. The page's file and its look on screen stay as they are.
void PrepareForPrint(QWebEnginePage& page, const std::function<void()>& printNow);

// Loads the page file into an off-screen web page and writes pdfPath; runs its own event loop
// (a QApplication must exist). Returns false, with the reason in error, when it fails.
bool ExportPdf(const QString& pagePath, const QString& pdfPath, QString& error);

}  // namespace picsheet
