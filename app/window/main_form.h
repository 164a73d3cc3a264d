// The window: the option strip (the sources, every option of a conversion, the save name, "Go!"),
// the text pane, the preview pane and the status bar; "Go!" converts the catalogues of the
// source field in turn through the shared collection run.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/run_flow.h"
#include "base/error.h"

class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QPageLayout;
class QPrinter;
class QProgressBar;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QToolButton;

namespace picsheet {

class OptionStrip;
class PaperRenderer;
class PreviewPane;
class RunWorker;
class DestroyedWindowWatch;
struct RunOutcome;

class MainForm final : public QMainWindow {
  Q_OBJECT
 public:
  explicit MainForm(QWidget* parent = nullptr);
  // Waits for a run still going after ending its downloads.
  ~MainForm() override;
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // Where runs write the page and the picture folder: the program folder (the running program's
  // unless set otherwise, by tests; a "/" is appended when missing) when it is writable and not
  // the installed bin folder, else picsheet/ in the user's documents folder, which the status
  // bar then shows.
  void SetProgramFolder(const std::string& folder);
  const std::string& programFolder() const { return programFolder_; }

  // The page of the latest run whose loading succeeded and the save name of the latest run.
  const RunState& state() const { return state_; }
  bool IsRunning() const;

  // Fills the source field as a paste would: the save name is derived and selected in focus.
  // Several sources, "; "-joined, save each page under the name derived from its source.
  void SetSource(const QString& source);

  // Writes the previewed page as PDF (A4, 1 cm margins, true size); PdfSaved tells how it went,
  // the status bar where it went. What the "PDF…" button does after asking for the file.
  void SavePdf(const QString& pdfPath);

 signals:
  void PdfSaved(bool succeeded);
  // A run has ended and the window is usable again: after success the preview has been sent
  // to the saved page; after an error its message box has been closed.
  void RunEnded(bool succeeded);

 private slots:
  // Every change of the source text derives the save name; a change of more than one typed
  // character (a paste, a drop, a fill) also hands the focus to it with the name selected.
  // Pasted lines are joined with "; ". With several sources the save name field is read-only
  // and shows the names derived for them greyed, their list in its tooltip.
  void SourceChanged();
  // "..." and Ctrl+O: asks for catalogue files and fills the source field with their paths as a
  // drop does. Nothing happens when the dialog is cancelled or a run is going.
  void OpenClick();
  // Starts the conversion of every source in turn with the options as the controls hold them;
  // during a run the button reads "Стоп" and stops it.
  void GoClick();
  // Ask for a file and save the page as PDF; show the print dialog and print the page.
  void PdfClick();
  void PrintClick();

 protected:
  // Files or links dropped anywhere on the window become the sources.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // Drops on the source field itself replace its text the same way.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectKeyboard();
  QWidget* BuildMainArea();
  void BuildStatusBar();
  void SetRunning(bool running);
  // Closing the window stops a run going; the process then ends once it has stopped.
  void closeEvent(QCloseEvent* event) override;
  // The save name field for sources: its own name for one, the derived names for several.
  void ShowSaveNames(const QStringList& sources);
  void AppendLine(const QByteArray& line);
  // With several catalogues, their place in the status bar and the bar over all of them.
  void StartCatalogue(int index, int count);
  void ShowSavedPage(const QString& pagePath);
  void ShowProgress(int saved, int total);
  void FinishRun(const RunOutcome& outcome);
  // A message box with the message (about source's catalogue, when given), and the detail (when
  // there is one) as its detailed text.
  void ShowError(const std::string& message, const std::string& detail = {},
                 const std::string& source = {});
  // After a run that kept going: which pictures and catalogues were left out and why.
  void ShowLeftOut(const RunOutcome& outcome);
  // Renders the saved page on layout; then hands the PDF to deliver, which may throw Error, and
  // shows what happened in the status bar. False when a render is still going.
  bool RenderForPaper(const QPageLayout& layout, std::function<QString(const QByteArray&)> deliver,
                      std::function<void(bool)> ended);

  std::string programFolder_;
  QString sourceBefore_;    // the source text before its latest change
  QString planNote_;        // the status text telling of the sources' plan, while it is shown
  int catalogueIndex_ = 0;  // the catalogue under way (from 0) of catalogueCount_
  int catalogueCount_ = 0;
  RunState state_;
  std::unique_ptr<RunWorker> worker_;
  std::unique_ptr<DestroyedWindowWatch> destroyedWatch_;

  OptionStrip* optionStrip_ = nullptr;
  // The strip's fields and buttons that the window acts on.
  QToolButton* openButton_ = nullptr;
  QLineEdit* sourceEdit_ = nullptr;
  QLineEdit* saveNameEdit_ = nullptr;
  QPushButton* goButton_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QPushButton* pdfButton_ = nullptr;
  QString savedPage_;                        // the page in the preview; empty until a run saved one
  QStringList savedPages_;                   // the pages of the latest run that saved any
  std::unique_ptr<QPrinter> printer_;        // the print dialog's choice, kept for the next print
  std::unique_ptr<PaperRenderer> paperJob_;  // the render for paper in progress, if any
  QPlainTextEdit* linesPane_ = nullptr;
  QSplitter* splitter_ = nullptr;
  PreviewPane* preview_ = nullptr;
  QStatusBar* statusBar_ = nullptr;
  QLabel* statusText_ = nullptr;
  QLabel* cataloguePlace_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* outputFolder_ = nullptr;
};

}  // namespace picsheet
