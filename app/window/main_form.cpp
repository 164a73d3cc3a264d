// MainForm: the panes, the keys of the window, starting and stopping runs, PDF and print.
#include "app/window/main_form.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <algorithm>
#include <exception>
#include <string_view>
#include <utility>

#include "app/core/collection_run.h"
#include "app/core/error_message.h"
#include "app/core/output_folder.h"
#include "app/core/program_folder.h"
#include "app/core/session_name.h"
#include "app/window/application_title.h"
#include "app/window/collection_text.h"
#include "app/window/destroyed_window_watch.h"
#include "app/window/documents_folder.h"
#include "app/window/option_strip.h"
#include "app/window/paper_print.h"
#include "app/window/paper_render.h"
#include "app/window/preview_pane.h"
#include "app/window/run_worker.h"
#include "app/window/source_text.h"
#include "app/window/summary_text.h"
#include "app/window/windows1251.h"
#include "base/error.h"
#include "base/messages.h"
#include "convert/source.h"
#include "web/cache_folder.h"

namespace picsheet {
namespace {

constexpr int kWindowWidth = 870;
constexpr int kWindowHeight = 480;
constexpr int kTextPaneWidth = 433;
constexpr double kFontPoints = 8;
constexpr int kLeftOutListWidth = 560;
// The progress bar's steps per catalogue when it covers several.
constexpr int kCatalogueSteps = 1000;

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// How many characters a change put into a text: what lies between the part both texts begin
// with and the part both end with. Typing one key puts in one, a paste or a fill more.
qsizetype InsertedLength(const QString& before, const QString& after) {
  qsizetype front = 0;
  const qsizetype shorter = std::min(before.size(), after.size());
  while (front < shorter && before.at(front) == after.at(front)) ++front;
  qsizetype back = 0;
  while (back < shorter - front &&
         before.at(before.size() - 1 - back) == after.at(after.size() - 1 - back)) {
    ++back;
  }
  return after.size() - front - back;
}

std::vector<std::string> Utf8Texts(const QStringList& texts) {
  std::vector<std::string> bytes;
  for (const QString& text : texts) bytes.push_back(text.toStdString());
  return bytes;
}

// The status bar's note for a PDF written to path.
QString PdfSavedNote(const QString& path) {
  return QStringLiteral("PDF сохранён: %1").arg(QFileInfo(path).absoluteFilePath());
}

}  // namespace

MainForm::MainForm(QWidget* parent) : QMainWindow(parent), worker_(std::make_unique<RunWorker>()) {
  setObjectName(QStringLiteral("Form1"));
  setWindowTitle(QStringLiteral("Form1"));
  // The controls are laid out for a small dialog font; at the desktop's usual size the option
  // strip would not fit the window's width.
  QFont small = font();
  small.setPointSizeF(kFontPoints);
  small.setStretch(QFont::Condensed);
  setFont(small);

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  optionStrip_ = new OptionStrip(this);
  openButton_ = optionStrip_->openButton();
  sourceEdit_ = optionStrip_->sourceEdit();
  saveNameEdit_ = optionStrip_->saveNameEdit();
  goButton_ = optionStrip_->goButton();
  printButton_ = optionStrip_->printButton();
  pdfButton_ = optionStrip_->pdfButton();
  column->addWidget(optionStrip_);
  column->addWidget(BuildMainArea(), 1);
  setCentralWidget(central);

  BuildStatusBar();
  SetProgramFolder(ProgramFolder());

  resize(kWindowWidth, kWindowHeight);
  move(257, 113);
  splitter_->setSizes({kTextPaneWidth, kWindowWidth - kTextPaneWidth - splitter_->handleWidth()});

  destroyedWatch_ = std::make_unique<DestroyedWindowWatch>(*this);

  connect(sourceEdit_, &QLineEdit::textChanged, this, &MainForm::SourceChanged);
  connect(openButton_, &QToolButton::clicked, this, &MainForm::OpenClick);
  connect(goButton_, &QPushButton::clicked, this, &MainForm::GoClick);
  ConnectKeyboard();
  setAcceptDrops(true);
  sourceEdit_->installEventFilter(this);
  // Esc stops a run, as the "Стоп" button does.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
    if (worker_->IsRunning()) worker_->Cancel();
  });
  connect(pdfButton_, &QPushButton::clicked, this, &MainForm::PdfClick);
  connect(printButton_, &QPushButton::clicked, this, &MainForm::PrintClick);

  // The worker's signals come from its thread; queued, they reach the widgets here in order.
  connect(worker_.get(), &RunWorker::CatalogueStarted, this, &MainForm::StartCatalogue,
          Qt::QueuedConnection);
  connect(
      worker_.get(), &RunWorker::CatalogueSaved, this,
      [this](int, const QString& pagePath) { ShowSavedPage(pagePath); }, Qt::QueuedConnection);
  connect(worker_.get(), &RunWorker::LinesCleared, linesPane_, &QPlainTextEdit::clear,
          Qt::QueuedConnection);
  connect(worker_.get(), &RunWorker::LineAppended, this, &MainForm::AppendLine,
          Qt::QueuedConnection);
  connect(worker_.get(), &RunWorker::StatusChanged, statusText_, &QLabel::setText,
          Qt::QueuedConnection);
  connect(worker_.get(), &RunWorker::PicturesSaved, this, &MainForm::ShowProgress,
          Qt::QueuedConnection);
  connect(worker_.get(), &RunWorker::Ended, this, &MainForm::FinishRun, Qt::QueuedConnection);
}

MainForm::~MainForm() {
  destroyedWatch_.reset();
  // Nothing of a run may reach the widgets any more while they go away.
  worker_->disconnect();
  worker_.reset();
}

void MainForm::BuildStatusBar() {
  statusBar_ = Named(new QStatusBar(this), "sb");
  statusText_ = Named(new QLabel(statusBar_), "sbText");
  statusBar_->addWidget(statusText_, 1);
  // With several catalogues, the one under way ("2 of 3"); it stays after the run.
  cataloguePlace_ = Named(new QLabel(statusBar_), "sbPlace");
  cataloguePlace_->setVisible(false);
  statusBar_->addPermanentWidget(cataloguePlace_);
  // Pictures saved out of the run's total; hidden until a run knows its total.
  progress_ = Named(new QProgressBar(statusBar_), "sbProgress");
  progress_->setMaximumWidth(200);
  progress_->setVisible(false);
  statusBar_->addPermanentWidget(progress_);
  // Where the files go when that is not beside the program; hidden otherwise.
  outputFolder_ = Named(new QLabel(statusBar_), "sbFolder");
  outputFolder_->setToolTip(QStringLiteral("Страницы и картинки сохраняются в эту папку"));
  outputFolder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusBar_->addPermanentWidget(outputFolder_);
  setStatusBar(statusBar_);
}

QWidget* MainForm::BuildMainArea() {
  splitter_ = Named(new QSplitter(Qt::Horizontal, this), "Splitter1");
  splitter_->setChildrenCollapsible(false);

  linesPane_ = Named(new QPlainTextEdit(splitter_), "mm");
  linesPane_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Wrapping is the pane's only: the page is saved from the run's own lines.
  linesPane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  linesPane_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  // Files and links dropped on the lines are sources for the window, not text for the pane.
  linesPane_->setAcceptDrops(false);
  linesPane_->viewport()->setAcceptDrops(false);

  preview_ = Named(new PreviewPane(splitter_), "wb");

  splitter_->addWidget(linesPane_);
  splitter_->addWidget(preview_);
  // A wider window widens the preview; the text pane keeps its width until dragged.
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  return splitter_;
}

void MainForm::SetProgramFolder(const std::string& folder) {
  const std::string programFolder = WithTrailingSlash(folder);
  programFolder_ =
      WindowOutputFolder(programFolder, PICSHEET_INSTALL_BINDIR "/", DocumentsFolder());
  outputFolder_->setText(QString::fromStdString(programFolder_));
  outputFolder_->setVisible(programFolder_ != programFolder);
}

bool MainForm::IsRunning() const { return worker_->IsRunning(); }

void MainForm::SourceChanged() {
  const QString source = sourceEdit_->text();
  const QStringList sources = SourcesInText(source);
  // The field has one line: pasted lines stand in it one after another.
  if (sources.size() > 1 && (source.contains(u'\n') || source.contains(u'\r'))) {
    sourceEdit_->setText(SourceFieldText(sources));
    return;
  }
  const QString before = std::exchange(sourceBefore_, source);
  ShowSaveNames(sources);
  if (source.isEmpty()) return;  // the save name field keeps what it holds
  // Several sources: the focus stays for more of them, or for Enter.
  if (sources.size() > 1) return;
  saveNameEdit_->setText(QString::fromStdString(DeriveSessionName(source.toStdString())));
  // Moving the focus on every change would send the second typed key into the save name.
  if (InsertedLength(before, source) <= 1) return;
  saveNameEdit_->setFocus(Qt::OtherFocusReason);
  saveNameEdit_->selectAll();
}

void MainForm::ShowSaveNames(const QStringList& sources) {
  const bool several = sources.size() > 1;
  QString note;
  if (several) {
    // One name cannot serve several pages: each is saved under the name derived from its source.
    const CollectionPlan plan = PlanCollection(Utf8Texts(sources));
    saveNameEdit_->clear();
    saveNameEdit_->setPlaceholderText(PlannedNames(plan));
    saveNameEdit_->setToolTip(PlanDetails(plan));
    note = PlanNotes(plan);
  } else {
    saveNameEdit_->setPlaceholderText({});
    saveNameEdit_->setToolTip({});
  }
  saveNameEdit_->setReadOnly(several);
  // A source given twice or names that clash are told at once; a run's status text stays.
  if (!planNote_.isEmpty() && statusText_->text() == planNote_) statusText_->clear();
  planNote_ = note;
  if (!note.isEmpty()) statusText_->setText(note);
}

void MainForm::SetSource(const QString& source) { sourceEdit_->setText(source); }

void MainForm::ConnectKeyboard() {
  // Enter in either field, or on a focused "Go!", starts a run.
  connect(sourceEdit_, &QLineEdit::returnPressed, this, &MainForm::GoClick);
  connect(saveNameEdit_, &QLineEdit::returnPressed, this, &MainForm::GoClick);
  goButton_->setAutoDefault(true);
  // Ctrl+O opens a file, as "..." does.
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
          &MainForm::OpenClick);
}

void MainForm::OpenClick() {
  // During a run the source field and its button are disabled; the shortcut is not.
  if (!sourceEdit_->isEnabled()) return;
  // The dialog opens where the (first) current source file is, when the field names one.
  const QString current = SourcesInText(sourceEdit_->text()).constFirst().trimmed();
  const QString start = IsLink(current.toStdString()) ? QString() : current;
  const QStringList files =
      QFileDialog::getOpenFileNames(this, QStringLiteral("Открыть страницу каталога"), start,
                                    QStringLiteral("Страницы HTML (*.htm *.html);;Все файлы (*)"));
  if (!files.isEmpty()) SetSource(SourceFieldText(files));
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!SourcesFromDrop(*event->mimeData()).isEmpty() && sourceEdit_->isEnabled()) {
    event->acceptProposedAction();
  }
}

void MainForm::dropEvent(QDropEvent* event) {
  const QStringList sources = SourcesFromDrop(*event->mimeData());
  if (sources.isEmpty() || !sourceEdit_->isEnabled()) return;
  SetSource(SourceFieldText(sources));
  event->acceptProposedAction();
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  // A drag within the field itself moves text, as in any field; anything else replaces it.
  const QEvent::Type type = event->type();
  if (watched == sourceEdit_ &&
      (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (drop->source() != sourceEdit_) {
      if (type == QEvent::Drop) {
        dropEvent(drop);
      } else if (!SourcesFromDrop(*drop->mimeData()).isEmpty()) {
        drop->acceptProposedAction();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainForm::SetRunning(bool running) {
  optionStrip_->SetRunning(running);
  linesPane_->setReadOnly(running);
}

void MainForm::closeEvent(QCloseEvent* event) {
  // The run drops what it staged and writes no page; the destructor waits for it.
  if (worker_->IsRunning()) worker_->Cancel();
  QMainWindow::closeEvent(event);
}

void MainForm::GoClick() {
  if (worker_->IsRunning()) {
    worker_->Cancel();
    return;
  }
  // Nothing may leave this slot: an exception must not cross the event loop.
  try {
    // Paths and links as the file system and the network take them: UTF-8. One source takes
    // the save name field's name, which goes into the page beside its Windows-1251 title, so it
    // is converted; one it cannot hold is refused here, before anything runs. Several take the
    // names derived from them.
    const QStringList sources = SourcesInText(sourceEdit_->text());
    const CollectionPlan plan =
        sources.size() > 1
            ? PlanCollection(Utf8Texts(sources))
            : PlanCollection(Utf8Texts(sources),
                             SaveNameFromUserText(saveNameEdit_->text().toStdString()));
    RunRequest request;
    request.programFolder = programFolder_;
    request.options = optionStrip_->options();
    request.cacheFolder = DefaultCacheFolder();
    catalogueCount_ = 0;
    cataloguePlace_->setVisible(false);
    SetRunning(true);
    firstPageToCome_ = true;
    worker_->Start(std::move(request), plan.items, state_);
  } catch (const std::exception& e) {
    SetRunning(false);
    ShowError(e.what());
    emit RunEnded(false);
  }
}

void MainForm::AppendLine(const QByteArray& line) {
  // A line's own CR LF (the closing line has one) would show as an extra empty line.
  QString text = TextFromWindows1251(std::string_view(line.constData(), line.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  linesPane_->appendPlainText(text);
}

void MainForm::StartCatalogue(int index, int count) {
  catalogueIndex_ = index;
  catalogueCount_ = count;
  cataloguePlace_->setText(CataloguePlace(index, count));
  cataloguePlace_->setVisible(count > 1);
  if (count > 1) ShowProgress(0, 0);
}

void MainForm::ShowSavedPage(const QString& pagePath) {
  preview_->ShowFile(pagePath);
  // Print and PDF take what this run has saved so far; until its first page, the last run's.
  if (firstPageToCome_) savedPages_.clear();
  firstPageToCome_ = false;
  savedPages_ << pagePath;
  printButton_->setEnabled(true);
  pdfButton_->setEnabled(true);
}

void MainForm::ShowProgress(int saved, int total) {
  if (catalogueCount_ <= 1) {
    progress_->setRange(0, total);
    progress_->setValue(saved);
    progress_->setVisible(total > 0);
    return;
  }
  // One bar over the collection: the catalogues done, and the share of the current one saved.
  const qint64 share = total > 0 ? qint64{saved} * kCatalogueSteps / total : 0;
  progress_->setRange(0, catalogueCount_ * kCatalogueSteps);
  progress_->setValue(catalogueIndex_ * kCatalogueSteps + static_cast<int>(share));
  progress_->setVisible(true);
}

void MainForm::FinishRun(const RunOutcome& outcome) {
  state_ = outcome.state;
  SetRunning(false);
  progress_->setVisible(false);
  const bool several = outcome.catalogues > 1;
  // What the run did, for a collector who wants to know what the catalogues lack: of several,
  // the saved pages' counts added up.
  statusBar_->setToolTip(SummaryText(several ? outcome.total : state_.summary));
  // The preview already shows each page as it was saved, and savedPages_ holds them.
  if (outcome.succeeded) {
    if (!outcome.leftOut.empty()) ShowLeftOut(outcome);
  } else if (outcome.errorKind == ErrorKind::kInterrupted) {
    // The user asked for it: a status text, not a message box to dismiss.
    statusText_->setText(QStringLiteral("Остановлено"));
  } else {
    ShowError(outcome.error, outcome.detail, several ? outcome.failedSource : std::string());
  }
  emit RunEnded(outcome.succeeded);
}

bool MainForm::RenderForPaper(const QPageLayout& layout,
                              std::function<QString(const QByteArray&)> deliver,
                              std::function<void(bool)> ended) {
  if (paperJob_ != nullptr) return false;
  // A page of its own, not the preview: paper styles and margins never touch what is shown.
  paperJob_ = std::make_unique<PaperRenderer>(savedPages_, layout);
  connect(paperJob_.get(), &PaperRenderer::Finished, this,
          [this, deliver, ended](const PaperOutcome& outcome) {
            // The engine is still inside its own callback: the renderer goes later.
            paperJob_.release()->deleteLater();
            bool succeeded = false;
            try {
              if (!outcome.succeeded) throw Error(ErrorKind::kOther, outcome.error.toStdString());
              QString note = deliver(outcome.pdf);
              if (outcome.fit.scale < 1) {
                note += QStringLiteral("; таблица шире бумаги и с полями 5 мм, масштаб %1 %")
                            .arg(outcome.fit.scale * 100, 0, 'f', 1);
              }
              statusText_->setText(note);
              succeeded = true;
            } catch (const std::exception& e) {
              ShowError(e.what());
            }
            ended(succeeded);
          });
  return true;
}

void MainForm::SavePdf(const QString& pdfPath) {
  const bool started = RenderForPaper(
      PaperLayout(Paper::kA4),
      [pdfPath](const QByteArray& pdf) {
        WritePdf(pdfPath, pdf);
        return PdfSavedNote(pdfPath);
      },
      [this](bool succeeded) { emit PdfSaved(succeeded); });
  if (!started) emit PdfSaved(false);
}

void MainForm::PdfClick() {
  QString suggested = savedPages_.value(0);
  suggested.replace(QRegularExpression(QStringLiteral("\\.html$")), QStringLiteral(".pdf"));
  const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("PDF"), suggested,
                                                    QStringLiteral("PDF (*.pdf)"));
  if (!file.isEmpty()) SavePdf(file);
}

void MainForm::PrintClick() {
  if (paperJob_ != nullptr) return;  // the previous sheet is still being rendered
  if (printer_ == nullptr) {
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPageLayout(PaperLayout(Paper::kA4));
  }
  QPrintDialog dialog(printer_.get(), this);
  if (dialog.exec() != QDialog::Accepted) return;
  // The sheet is rendered for the dialog's paper, orientation and margins, then sent as PDF.
  QPrinter* printer = printer_.get();
  RenderForPaper(
      printer->pageLayout(),
      [printer](const QByteArray& pdf) {
        SendToPrinter(pdf, *printer);
        return printer->outputFormat() == QPrinter::PdfFormat
                   ? PdfSavedNote(printer->outputFileName())
                   : QStringLiteral("Отправлено на печать: %1").arg(printer->printerName());
      },
      [](bool) {});
}

void MainForm::ShowLeftOut(const RunOutcome& outcome) {
  const LeftOutReport report = DescribeLeftOut(outcome.leftOut, outcome.catalogues);
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(), report.text, QMessageBox::Ok, this);
  box.setInformativeText(report.informative);
  // The list goes into the box's scrolling detail pane, opened at once.
  box.setDetailedText(report.lines.join(u'\n'));
  for (QAbstractButton* button : box.buttons()) {
    if (box.buttonRole(button) == QMessageBox::ActionRole) button->click();
  }
  // One line per picture, wide enough for an address; longer ones scroll sideways.
  if (auto* details = box.findChild<QTextEdit*>()) {
    details->setLineWrapMode(QTextEdit::NoWrap);
    details->setMinimumWidth(kLeftOutListWidth);
  }
  box.exec();
}

void MainForm::ShowError(const std::string& message, const std::string& detail,
                         const std::string& source) {
  QString text = DecodeMessageText(MessageForDisplay(message));
  if (!source.empty()) text = AboutCatalogue(source, text);
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(), text, QMessageBox::Ok, this);
  // The picture, its address and the reason, for the user who wants to act on it.
  if (!detail.empty()) box.setDetailedText(DecodeMessageText(detail));
  box.exec();
}

}  // namespace picsheet
