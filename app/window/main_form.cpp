// MainForm: the controls, their layout and keys, starting and stopping runs, PDF and print.
#include "app/window/main_form.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QStringList>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "app/core/error_message.h"
#include "app/core/output_folder.h"
#include "app/core/program_folder.h"
#include "app/core/session_name.h"
#include "app/window/application_title.h"
#include "app/window/destroyed_window_watch.h"
#include "app/window/documents_folder.h"
#include "app/window/mnemonics.h"
#include "app/window/paper_print.h"
#include "app/window/paper_render.h"
#include "app/window/preview_pane.h"
#include "app/window/run_worker.h"
#include "app/window/selection_keeping_edit.h"
#include "app/window/source_text.h"
#include "app/window/summary_text.h"
#include "app/window/windows1251.h"
#include "app/window/wrap_layout.h"
#include "base/cache_folder.h"
#include "base/error.h"
#include "base/messages.h"
#include "convert/source.h"

namespace picsheet {
namespace {

constexpr int kWindowWidth = 870;
constexpr int kWindowHeight = 480;
constexpr int kOptionStripHeight = 100;
constexpr int kTextPaneWidth = 433;
constexpr double kFontPoints = 8;
constexpr int kGoButtonWidth = 50;
constexpr int kLeftOutListWidth = 560;

// Check boxes and radio buttons with their caption closer to the box: the option strip's first
// line holds every field of a run and has to fit the window's width.
class CompactStyle final : public QProxyStyle {
 public:
  int pixelMetric(PixelMetric metric, const QStyleOption* option,
                  const QWidget* widget) const override {
    if (metric == PM_RadioButtonLabelSpacing || metric == PM_CheckBoxLabelSpacing) return 3;
    return QProxyStyle::pixelMetric(metric, option, widget);
  }
};

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(QString::fromLatin1(name));
  return widget;
}

// A label above what it names (shown: the field itself or the row holding it), one column of
// the option strip's first line. Without a field, the label's place stays empty.
QWidget* Labelled(const QString& text, QWidget* field, QWidget* shown, QWidget* parent) {
  auto* column = new QWidget(parent);
  auto* layout = new QVBoxLayout(column);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(1);
  if (text.isEmpty()) {
    layout->addSpacing(column->fontMetrics().height());
  } else {
    auto* label = new QLabel(text, column);
    label->setBuddy(field);
    layout->addWidget(label);
  }
  shown->setParent(column);
  layout->addWidget(shown, 0, Qt::AlignLeft);
  layout->addStretch(1);
  return column;
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

// Radio buttons side by side, exactly one of them selected at any time.
QWidget* RadioRow(std::initializer_list<QRadioButton*> buttons, QWidget* parent) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  auto* group = new QButtonGroup(row);
  group->setExclusive(true);
  for (QRadioButton* button : buttons) {
    button->setParent(row);
    group->addButton(button);
    layout->addWidget(button);
  }
  return row;
}

// Enables or disables every widget under parent but keep (and the widgets that hold it). A
// disabled container keeps its children's own states, so the print buttons come back as they
// were.
void SetEnabledExcept(QWidget* parent, QWidget* keep, bool enabled) {
  for (QWidget* child : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child == keep) continue;
    if (child->isAncestorOf(keep)) {
      SetEnabledExcept(child, keep, enabled);
    } else {
      child->setEnabled(enabled);
    }
  }
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
  column->addWidget(BuildOptionStrip());
  column->addWidget(BuildMainArea(), 1);
  setCentralWidget(central);

  sb_ = Named(new QStatusBar(this), "sb");
  statusText_ = Named(new QLabel(sb_), "sbText");
  sb_->addWidget(statusText_, 1);
  // Pictures saved out of the run's total; hidden until a run knows its total.
  progress_ = Named(new QProgressBar(sb_), "sbProgress");
  progress_->setMaximumWidth(200);
  progress_->setVisible(false);
  sb_->addPermanentWidget(progress_);
  // Where the files go when that is not beside the program; hidden otherwise.
  outputFolder_ = Named(new QLabel(sb_), "sbFolder");
  outputFolder_->setToolTip(QStringLiteral("Страницы и картинки сохраняются в эту папку"));
  outputFolder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  sb_->addPermanentWidget(outputFolder_);
  setStatusBar(sb_);
  SetProgramFolder(ProgramFolder());

  resize(kWindowWidth, kWindowHeight);
  move(257, 113);
  Splitter1_->setSizes({kTextPaneWidth, kWindowWidth - kTextPaneWidth - Splitter1_->handleWidth()});

  destroyedWatch_ = std::make_unique<DestroyedWindowWatch>(*this);

  connect(urx_, &QLineEdit::textChanged, this, &MainForm::urxChange);
  connect(SpeedButton1_, &QToolButton::clicked, this, &MainForm::SpeedButton1Click);
  connect(Button1_, &QPushButton::clicked, this, &MainForm::Button1Click);
  ConnectKeyboard();
  setAcceptDrops(true);
  urx_->installEventFilter(this);
  // Esc stops a run, as the "Стоп" button does.
  connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, [this] {
    if (worker_->IsRunning()) worker_->Cancel();
  });
  connect(pdfButton_, &QPushButton::clicked, this, &MainForm::PdfClick);
  connect(printButton_, &QPushButton::clicked, this, &MainForm::PrintClick);

  // The worker's signals come from its thread; queued, they reach the widgets here in order.
  connect(worker_.get(), &RunWorker::LinesCleared, mm_, &QPlainTextEdit::clear,
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

QWidget* MainForm::BuildOptionStrip() {
  optionStrip_ = new QWidget(this);
  // 100 pixels high while its lines fit the width; with large fonts or a narrow window they
  // wrap, and the strip grows rather than cutting controls off.
  optionStrip_->setMinimumHeight(kOptionStripHeight);
  QSizePolicy grows(QSizePolicy::Preferred, QSizePolicy::Minimum);
  grows.setHeightForWidth(true);
  optionStrip_->setSizePolicy(grows);
  auto* strip = new QVBoxLayout(optionStrip_);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->setSpacing(2);

  // First line: every field with its label above it.
  auto* line = new WrapLayout(nullptr, 4, 2);
  strip->addLayout(line);

  urx_ = Named(new QLineEdit(optionStrip_), "urx");
  urx_->setFixedWidth(273);
  // The "..." button sits inside the field at its left end; the text starts after it.
  SpeedButton1_ = Named(new QToolButton(urx_), "SpeedButton1");
  SpeedButton1_->setText(QStringLiteral("..."));
  SpeedButton1_->setToolTip(QStringLiteral("Открыть файл (Ctrl+O)"));
  SpeedButton1_->setCursor(Qt::ArrowCursor);
  auto* inField = new QHBoxLayout(urx_);
  inField->setContentsMargins(1, 1, 1, 1);
  inField->addWidget(SpeedButton1_, 0, Qt::AlignLeft);
  inField->addStretch(1);
  urx_->setTextMargins(SpeedButton1_->sizeHint().width(), 0, 0, 0);
  line->addWidget(Labelled(QStringLiteral("Путь или ссылка"), urx_, urx_, optionStrip_));

  coln_ = Named(new QSpinBox(optionStrip_), "coln");
  coln_->setRange(2, 20);
  coln_->setSingleStep(1);
  coln_->setValue(10);
  coln_->setFixedWidth(49);
  line->addWidget(Labelled(QStringLiteral("В строке"), coln_, coln_, optionStrip_));

  auto* compact = new CompactStyle;
  compact->setParent(optionStrip_);
  bxPass_ = Named(new QCheckBox(QStringLiteral("пропускать"), optionStrip_), "bxPass");
  bxPass_->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Дубликаты"), bxPass_, bxPass_, optionStrip_));

  rbVert_ = Named(new QRadioButton(QStringLiteral("верт")), "rbVert");
  rbHoriz_ = Named(new QRadioButton(QStringLiteral("гориз")), "rbHoriz");
  rbNone_ = Named(new QRadioButton(QStringLiteral("умлч")), "rbNone");
  QWidget* orientation = RadioRow({rbVert_, rbHoriz_, rbNone_}, optionStrip_);
  rbVert_->setChecked(true);
  for (QRadioButton* button : {rbVert_, rbHoriz_, rbNone_}) button->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Ориентация"), rbVert_, orientation, optionStrip_));

  rbCW_ = Named(new QRadioButton(QStringLiteral("CW")), "rbCW");
  rbCCW_ = Named(new QRadioButton(QStringLiteral("CCW")), "rbCCW");
  QWidget* rotation = RadioRow({rbCW_, rbCCW_}, optionStrip_);
  rbCW_->setChecked(true);
  for (QRadioButton* button : {rbCW_, rbCCW_}) button->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Поворачивать"), rbCW_, rotation, optionStrip_));

  edSession_ = Named(new SelectionKeepingEdit(optionStrip_), "edSession");
  edSession_->setFixedWidth(161);
  line->addWidget(
      Labelled(QStringLiteral("Имя для сохранения"), edSession_, edSession_, optionStrip_));

  Button1_ = Named(new QPushButton(QStringLiteral("Go!"), optionStrip_), "Button1");
  Button1_->setFixedWidth(kGoButtonWidth);
  line->addWidget(Labelled(QString(), nullptr, Button1_, optionStrip_));

  // Second line: the formatting options.
  GroupBox1_ = Named(new QGroupBox(QStringLiteral("Форматирование"), optionStrip_), "GroupBox1");
  auto* boxes = new WrapLayout(GroupBox1_, 10, 2);  // four boxes and two buttons in one line
  boxes->setContentsMargins(6, 2, 6, 2);
  cbSirian_ =
      Named(new QCheckBox(QStringLiteral("Добавлять сирийские номера"), GroupBox1_), "cbSirian");
  cbCovers_ =
      Named(new QCheckBox(QStringLiteral("Обертки (номер 0) - в конец"), GroupBox1_), "cbCovers");
  cbCovers_->setChecked(true);
  cbCells_ =
      Named(new QCheckBox(QStringLiteral("Оставлять ячейки для пропусков"), GroupBox1_), "cbCells");
  cbCells_->setChecked(true);
  cbKeepGoing_ =
      Named(new QCheckBox(QStringLiteral("Продолжать при ошибках"), GroupBox1_), "cbKeepGoing");
  boxes->addWidget(cbSirian_);
  boxes->addWidget(cbCovers_);
  boxes->addWidget(cbCells_);
  boxes->addWidget(cbKeepGoing_);
  boxes->addStretch();
  strip->addWidget(GroupBox1_);

  // Printing the saved page, once there is one. The two buttons are one item of the line, so
  // that a wrapping line moves them together instead of parting them on two rows.
  auto* printing = new QWidget(GroupBox1_);
  auto* pair = new QHBoxLayout(printing);
  pair->setContentsMargins(0, 0, 0, 0);
  pair->setSpacing(10);
  printButton_ = Named(new QPushButton(QStringLiteral("Печать…"), printing), "btnPrint");
  pdfButton_ = Named(new QPushButton(QStringLiteral("PDF…"), printing), "btnPdf");
  for (QPushButton* button : {printButton_, pdfButton_}) {
    button->setEnabled(false);
    pair->addWidget(button);
  }
  boxes->addWidget(printing);
  return optionStrip_;
}

QWidget* MainForm::BuildMainArea() {
  Splitter1_ = Named(new QSplitter(Qt::Horizontal, this), "Splitter1");
  Splitter1_->setChildrenCollapsible(false);

  mm_ = Named(new QPlainTextEdit(Splitter1_), "mm");
  mm_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Wrapping is the pane's only: the page is saved from the run's own lines.
  mm_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  mm_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);

  wb_ = Named(new PreviewPane(Splitter1_), "wb");

  Splitter1_->addWidget(mm_);
  Splitter1_->addWidget(wb_);
  // A wider window widens the preview; the text pane keeps its width until dragged.
  Splitter1_->setStretchFactor(0, 0);
  Splitter1_->setStretchFactor(1, 1);
  return Splitter1_;
}

void MainForm::SetProgramFolder(const std::string& folder) {
  const std::string programFolder = WithTrailingSlash(folder);
  programFolder_ =
      WindowOutputFolder(programFolder, PICSHEET_INSTALL_BINDIR "/", DocumentsFolder());
  outputFolder_->setText(QString::fromStdString(programFolder_));
  outputFolder_->setVisible(programFolder_ != programFolder);
}

bool MainForm::IsRunning() const { return worker_->IsRunning(); }

void MainForm::urxChange() {
  const QString source = urx_->text();
  const QString before = std::exchange(urxBefore_, source);
  if (source.isEmpty()) return;  // the save name field keeps what it holds
  edSession_->setText(QString::fromStdString(DeriveSessionName(source.toStdString())));
  // Moving the focus on every change would send the second typed key into the save name.
  if (InsertedLength(before, source) <= 1) return;
  edSession_->setFocus(Qt::OtherFocusReason);
  edSession_->selectAll();
}

void MainForm::SetSource(const QString& source) { urx_->setText(source); }

void MainForm::ConnectKeyboard() {
  // Enter in either field, or on a focused "Go!", starts a run.
  connect(urx_, &QLineEdit::returnPressed, this, &MainForm::Button1Click);
  connect(edSession_, &QLineEdit::returnPressed, this, &MainForm::Button1Click);
  Button1_->setAutoDefault(true);
  // Ctrl+O opens a file, as "..." does.
  connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_O), this), &QShortcut::activated, this,
          &MainForm::SpeedButton1Click);
  GiveMnemonics();
}

void MainForm::GiveMnemonics() {
  // The style draws the underlines; it serves every control named here.
  auto* style = new MnemonicStyle;
  style->setParent(this);
  const auto labelOf = [this](const QWidget* field) -> QLabel* {
    for (QLabel* label : optionStrip_->findChildren<QLabel*>()) {
      if (label->buddy() == field) return label;
    }
    return nullptr;
  };
  // Letters on distinct keys of both the Latin and the Russian layout.
  const std::pair<QWidget*, int> labels[] = {{urx_, 1},    {coln_, 0}, {bxPass_, 0},
                                             {rbVert_, 0}, {rbCW_, 4}, {edSession_, 0}};
  for (const auto& [field, index] : labels) {
    if (QLabel* label = labelOf(field)) GiveMnemonic(*style, *label, index);
  }
  const std::pair<QAbstractButton*, int> buttons[] = {{Button1_, 0},     {cbSirian_, 10},
                                                      {cbCovers_, 1},    {cbCells_, 10},
                                                      {printButton_, 2}, {pdfButton_, 2}};
  for (const auto& [button, index] : buttons) GiveMnemonic(*style, *button, index);
}

void MainForm::SpeedButton1Click() {
  // During a run the source field and its button are disabled; the shortcut is not.
  if (!urx_->isEnabled()) return;
  // The dialog opens where the current source file is, when the field names one.
  const QString current = urx_->text().trimmed();
  const QString start = IsLink(current.toStdString()) ? QString() : current;
  const QString file =
      QFileDialog::getOpenFileName(this, QStringLiteral("Открыть страницу каталога"), start,
                                   QStringLiteral("Страницы HTML (*.htm *.html);;Все файлы (*)"));
  if (!file.isEmpty()) SetSource(file);
}

void MainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!SourceFromDrop(*event->mimeData()).isEmpty() && urx_->isEnabled()) {
    event->acceptProposedAction();
  }
}

void MainForm::dropEvent(QDropEvent* event) {
  const QString source = SourceFromDrop(*event->mimeData());
  if (source.isEmpty() || !urx_->isEnabled()) return;
  SetSource(source);
  event->acceptProposedAction();
}

bool MainForm::eventFilter(QObject* watched, QEvent* event) {
  // A drag within the field itself moves text, as in any field; anything else replaces it.
  const QEvent::Type type = event->type();
  if (watched == urx_ &&
      (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop)) {
    auto* drop = static_cast<QDropEvent*>(event);
    if (drop->source() != urx_) {
      if (type == QEvent::Drop) {
        dropEvent(drop);
      } else if (!SourceFromDrop(*drop->mimeData()).isEmpty()) {
        drop->acceptProposedAction();
      }
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

int MainForm::CellsPerRow() const {
  // A text that is not a whole number counts as the lower bound.
  bool whole = false;
  const int typed = coln_->cleanText().toInt(&whole);
  if (!whole) return coln_->minimum();
  return std::clamp(typed, coln_->minimum(), coln_->maximum());
}

CatalogueOptions MainForm::ReadOptions() const {
  CatalogueOptions options;
  options.cellsPerRow = CellsPerRow();
  options.orientation = rbVert_->isChecked()    ? Orientation::kVertical
                        : rbHoriz_->isChecked() ? Orientation::kHorizontal
                                                : Orientation::kNone;
  // The group always has one selected.
  options.turn = rbCCW_->isChecked() ? Turn::kCounterClockwise : Turn::kClockwise;
  options.holdBackCovers = cbCovers_->isChecked();
  options.skipRepeats = bxPass_->isChecked();
  options.gapCells = cbCells_->isChecked();
  options.digitCaptions = cbSirian_->isChecked();
  options.keepGoing = cbKeepGoing_->isChecked();
  return options;
}

void MainForm::SetRunning(bool running) {
  // The options cannot change while the converter uses them; the button stays, to stop the run.
  SetEnabledExcept(optionStrip_, Button1_, !running);
  Button1_->setText(running ? QStringLiteral("Стоп") : QStringLiteral("Go!"));
  mm_->setReadOnly(running);
}

void MainForm::closeEvent(QCloseEvent* event) {
  // The run drops what it staged and writes no page; the destructor waits for it.
  if (worker_->IsRunning()) worker_->Cancel();
  QMainWindow::closeEvent(event);
}

void MainForm::Button1Click() {
  if (worker_->IsRunning()) {
    worker_->Cancel();
    return;
  }
  // Nothing may leave this slot: an exception must not cross the event loop.
  try {
    RunRequest request;
    // Paths and links as the file system and the network take them: UTF-8. The save name goes
    // into the page beside its Windows-1251 title, so it is converted; one it cannot hold is
    // refused here, before anything runs.
    request.source = urx_->text().toStdString();
    request.saveName = SaveNameFromUserText(edSession_->text().toStdString());
    request.programFolder = programFolder_;
    request.options = ReadOptions();
    request.cacheFolder = DefaultCacheFolder();
    SetRunning(true);
    worker_->Start(std::move(request), state_);
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
  mm_->appendPlainText(text);
}

void MainForm::ShowProgress(int saved, int total) {
  progress_->setRange(0, total);
  progress_->setValue(saved);
  progress_->setVisible(total > 0);
}

void MainForm::FinishRun(const RunOutcome& outcome) {
  state_ = outcome.state;
  SetRunning(false);
  progress_->setVisible(false);
  // What the run did, for a collector who wants to know what the catalogue lacks.
  sb_->setToolTip(SummaryText(state_.summary));
  if (outcome.succeeded) {
    wb_->ShowFile(QString::fromStdString(outcome.pagePath));
    savedPage_ = QString::fromStdString(outcome.pagePath);
    printButton_->setEnabled(true);
    pdfButton_->setEnabled(true);
    if (!state_.summary.leftOut.empty()) ShowLeftOut(state_.summary.leftOut);
  } else if (outcome.errorKind == ErrorKind::kInterrupted) {
    // The user asked for it: a status text, not a message box to dismiss.
    statusText_->setText(QStringLiteral("Остановлено"));
  } else {
    ShowError(outcome.error, outcome.detail);
  }
  emit RunEnded(outcome.succeeded);
}

bool MainForm::RenderForPaper(const QPageLayout& layout,
                              std::function<QString(const QByteArray&)> deliver,
                              std::function<void(bool)> ended) {
  if (paperJob_ != nullptr) return false;
  // A page of its own, not the preview: paper styles and margins never touch what is shown.
  paperJob_ = std::make_unique<PaperRenderer>(savedPage_, layout);
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
  QString suggested = savedPage_;
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

void MainForm::ShowLeftOut(const std::vector<Error>& leftOut) {
  QStringList lines;
  for (const Error& error : leftOut) lines << DecodeMessageText(DescribeFailure(error));
  QMessageBox box(QMessageBox::Warning, ApplicationTitle(),
                  QStringLiteral("Пропущено изображений: %1").arg(leftOut.size()), QMessageBox::Ok,
                  this);
  box.setInformativeText(QStringLiteral("Страница сохранена, на их местах пустые ячейки."));
  // The list goes into the box's scrolling detail pane, opened at once.
  box.setDetailedText(lines.join(u'\n'));
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

void MainForm::ShowError(const std::string& message, const std::string& detail) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(),
                  DecodeMessageText(MessageForDisplay(message)), QMessageBox::Ok, this);
  // The picture, its address and the reason, for the user who wants to act on it.
  if (!detail.empty()) box.setDetailedText(DecodeMessageText(detail));
  box.exec();
}

}  // namespace picsheet
