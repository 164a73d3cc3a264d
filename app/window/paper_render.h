// Saved pages on paper: the one renderer behind "PDF…", "Печать…" and picsheet-cli --pdf.
// Every picture keeps its centimetre size; the page files themselves are never changed.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QPageLayout>
#include <QString>
#include <QStringList>
#include <memory>

class QWebEnginePage;
class QWebEngineProfile;

namespace picsheet {

enum class Paper { kA4, kLetter };

// Portrait paper with 1 cm margins on every side.
QPageLayout PaperLayout(Paper paper);

// The page layout a table of tableWidthMm is printed with on the requested layout. When the
// table is wider than the area between the margins, the left and right margins shrink by the
// same amount, each down to 5 mm at the least (14 pt: the engine takes whole points; a side
// already narrower keeps its width), and are then whole points. Only when even that is too
// narrow is the sheet scaled, by scale < 1, to the width left.
struct PaperFit {
  QPageLayout layout;
  double scale = 1;
};
PaperFit FitToPaper(const QPageLayout& requested, double tableWidthMm);

// What a render gives: the PDF's bytes, or an error message ready to show.
struct PaperOutcome {
  bool succeeded = false;
  QString error;
  QByteArray pdf;
  PaperFit fit;
};

// Renders the page files at pagePaths (at least one) as one PDF on the requested layout, off
// screen in a page of its own: the first page is loaded, the others are joined after it, each
// starting on a new sheet in their order, print-only styles are added (no cell broken across
// pages, long words wrapped, empty placeholder pictures blank, nothing between the cells), the
// widest table is measured and the layout fitted to it. Finished is emitted once, from the event
// loop.
class PaperRenderer final : public QObject {
  Q_OBJECT
 public:
  PaperRenderer(const QStringList& pagePaths, const QPageLayout& requested,
                QObject* parent = nullptr);
  ~PaperRenderer() override;
  PaperRenderer(const PaperRenderer&) = delete;
  PaperRenderer& operator=(const PaperRenderer&) = delete;

 signals:
  void Finished(const picsheet::PaperOutcome& outcome);

 private:
  void Fail(const QString& error);
  void JoinPages();
  void WaitForPictures(int triesLeft);
  void Measure();
  void Print(double tableWidthMm);

  QStringList pagePaths_;  // absolute
  QString pagePath_;       // the first, which is loaded and names the sheet in messages
  QPageLayout requested_;
  PaperFit fit_;
  std::unique_ptr<QWebEngineProfile> profile_;
  std::unique_ptr<QWebEnginePage> page_;
  bool measuring_ = false;
  bool finished_ = false;
};

// Renders pagePaths and returns the outcome, running an event loop until it is done (for the
// program's export mode; a QApplication must exist).
PaperOutcome RenderPaper(const QStringList& pagePaths, const QPageLayout& requested);

// Writes a rendered PDF to path through a QSaveFile: whole or not at all, with the mode the umask
// gives a new file (or the mode of the file it replaces). Throws Error "Cannot create file
// \"%s\". %s" or "Stream write error".
void WritePdf(const QString& path, const QByteArray& pdf);

// The scale note, as the command line prints it: empty when the sheet was not scaled.
QString ScaleWarning(const PaperFit& fit);

}  // namespace picsheet
