#include "app/window/main_form.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <algorithm>
#include <exception>
#include <initializer_list>
#include <string_view>
#include <utility>

#include "app/core/error_message.h"
#include "app/core/program_folder.h"
#include "app/core/session_name.h"
#include "app/window/application_title.h"
#include "app/window/paper_print.h"
#include "app/window/paper_render.h"
#include "app/window/preview_pane.h"
#include "app/window/run_worker.h"
#include "app/window/selection_keeping_edit.h"
#include "app/window/windows1251.h"
#include "convert/error.h"

namespace picsheet {
namespace {

constexpr int kWindowWidth = 870;
constexpr int kWindowHeight = 480;
constexpr int kOptionStripHeight = 100;
constexpr int kTextPaneWidth = 433;
constexpr double kFontPoints = 8;
constexpr int kGoButtonWidth = 50;

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

// A label that stands above its field and names it.
QLabel* LabelFor(const QString& text, QWidget* field, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(field);
  return label;
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

}  // namespace

MainForm::MainForm(QWidget* parent)
    : QMainWindow(parent), programFolder_(ProgramFolder()), worker_(std::make_unique<RunWorker>()) {
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
  setStatusBar(sb_);

  resize(kWindowWidth, kWindowHeight);
  move(257, 113);
  Splitter1_->setSizes({kTextPaneWidth, kWindowWidth - kTextPaneWidth - Splitter1_->handleWidth()});

  connect(urx_, &QLineEdit::textChanged, this, &MainForm::urxChange);
  connect(Button1_, &QPushButton::clicked, this, &MainForm::Button1Click);
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
  // Nothing of a run may reach the widgets any more while they go away.
  worker_->disconnect();
  worker_.reset();
}

QWidget* MainForm::BuildOptionStrip() {
  optionStrip_ = new QWidget(this);
  optionStrip_->setFixedHeight(kOptionStripHeight);
  auto* strip = new QVBoxLayout(optionStrip_);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->setSpacing(2);

  // First line: every field with its label above it.
  auto* line = new QGridLayout;
  line->setHorizontalSpacing(4);
  line->setVerticalSpacing(1);
  strip->addLayout(line);

  urx_ = Named(new QLineEdit(optionStrip_), "urx");
  urx_->setFixedWidth(273);
  // The "..." button sits inside the field at its left end; the text starts after it.
  SpeedButton1_ = Named(new QToolButton(urx_), "SpeedButton1");
  SpeedButton1_->setText(QStringLiteral("..."));
  SpeedButton1_->setEnabled(false);
  SpeedButton1_->setCursor(Qt::ArrowCursor);
  auto* inField = new QHBoxLayout(urx_);
  inField->setContentsMargins(1, 1, 1, 1);
  inField->addWidget(SpeedButton1_, 0, Qt::AlignLeft);
  inField->addStretch(1);
  urx_->setTextMargins(SpeedButton1_->sizeHint().width(), 0, 0, 0);
  line->addWidget(LabelFor(QStringLiteral("Путь или ссылка"), urx_, optionStrip_), 0, 0);
  line->addWidget(urx_, 1, 0);

  coln_ = Named(new QSpinBox(optionStrip_), "coln");
  coln_->setRange(2, 20);
  coln_->setSingleStep(1);
  coln_->setValue(10);
  coln_->setFixedWidth(49);
  line->addWidget(LabelFor(QStringLiteral("В строке"), coln_, optionStrip_), 0, 1);
  line->addWidget(coln_, 1, 1);

  auto* compact = new CompactStyle;
  compact->setParent(optionStrip_);
  bxPass_ = Named(new QCheckBox(QStringLiteral("пропускать"), optionStrip_), "bxPass");
  bxPass_->setStyle(compact);
  line->addWidget(LabelFor(QStringLiteral("Дубликаты"), bxPass_, optionStrip_), 0, 2);
  line->addWidget(bxPass_, 1, 2);

  rbVert_ = Named(new QRadioButton(QStringLiteral("верт")), "rbVert");
  rbHoriz_ = Named(new QRadioButton(QStringLiteral("гориз")), "rbHoriz");
  rbNone_ = Named(new QRadioButton(QStringLiteral("умлч")), "rbNone");
  QWidget* orientation = RadioRow({rbVert_, rbHoriz_, rbNone_}, optionStrip_);
  rbVert_->setChecked(true);
  for (QRadioButton* button : {rbVert_, rbHoriz_, rbNone_}) button->setStyle(compact);
  line->addWidget(LabelFor(QStringLiteral("Ориентация"), rbVert_, optionStrip_), 0, 3);
  line->addWidget(orientation, 1, 3);

  rbCW_ = Named(new QRadioButton(QStringLiteral("CW")), "rbCW");
  rbCCW_ = Named(new QRadioButton(QStringLiteral("CCW")), "rbCCW");
  QWidget* rotation = RadioRow({rbCW_, rbCCW_}, optionStrip_);
  rbCW_->setChecked(true);
  for (QRadioButton* button : {rbCW_, rbCCW_}) button->setStyle(compact);
  line->addWidget(LabelFor(QStringLiteral("Поворачивать"), rbCW_, optionStrip_), 0, 4);
  line->addWidget(rotation, 1, 4);

  edSession_ = Named(new SelectionKeepingEdit(optionStrip_), "edSession");
  edSession_->setFixedWidth(161);
  line->addWidget(LabelFor(QStringLiteral("Имя для сохранения"), edSession_, optionStrip_), 0, 5);
  line->addWidget(edSession_, 1, 5);

  Button1_ = Named(new QPushButton(QStringLiteral("Go!"), optionStrip_), "Button1");
  Button1_->setFixedWidth(kGoButtonWidth);
  line->addWidget(Button1_, 1, 6);
  line->setColumnStretch(7, 1);

  // Second line: the formatting options.
  GroupBox1_ = Named(new QGroupBox(QStringLiteral("Форматирование"), optionStrip_), "GroupBox1");
  auto* boxes = new QHBoxLayout(GroupBox1_);
  boxes->setContentsMargins(6, 2, 6, 2);
  boxes->setSpacing(16);
  cbSirian_ =
      Named(new QCheckBox(QStringLiteral("Добавлять сирийские номера"), GroupBox1_), "cbSirian");
  cbCovers_ =
      Named(new QCheckBox(QStringLiteral("Обертки (номер 0) - в конец"), GroupBox1_), "cbCovers");
  cbCovers_->setChecked(true);
  cbCells_ =
      Named(new QCheckBox(QStringLiteral("Оставлять ячейки для пропусков"), GroupBox1_), "cbCells");
  cbCells_->setChecked(true);
  boxes->addWidget(cbSirian_);
  boxes->addWidget(cbCovers_);
  boxes->addWidget(cbCells_);
  boxes->addStretch(1);
  strip->addWidget(GroupBox1_);

  // Printing the saved page, once there is one.
  printButton_ = Named(new QPushButton(QStringLiteral("Печать…"), GroupBox1_), "btnPrint");
  pdfButton_ = Named(new QPushButton(QStringLiteral("PDF…"), GroupBox1_), "btnPdf");
  for (QPushButton* button : {printButton_, pdfButton_}) {
    button->setEnabled(false);
    boxes->addWidget(button);
  }
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
  programFolder_ = WithTrailingSlash(folder);
}

bool MainForm::IsRunning() const { return worker_->IsRunning(); }

void MainForm::urxChange() {
  const QString source = urx_->text();
  if (source.isEmpty()) return;  // the save name field keeps what it holds
  edSession_->setText(QString::fromStdString(DeriveSessionName(source.toStdString())));
  edSession_->setFocus(Qt::OtherFocusReason);
  edSession_->selectAll();
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
  options.orientation = rbVert_->isChecked() ? 2 : rbHoriz_->isChecked() ? 1 : 0;
  options.rotationAngle = rbCW_->isChecked() ? 90 : rbCCW_->isChecked() ? -90 : 180;
  options.holdBackCovers = cbCovers_->isChecked();
  options.skipRepeats = bxPass_->isChecked();
  options.gapCells = cbCells_->isChecked();
  options.digitCaptions = cbSirian_->isChecked();
  return options;
}

void MainForm::SetRunning(bool running) {
  // The options cannot change while the converter uses them.
  optionStrip_->setEnabled(!running);
  mm_->setReadOnly(running);
}

void MainForm::Button1Click() {
  if (worker_->IsRunning()) return;
  // Nothing may leave this slot: an exception must not cross the event loop.
  try {
    RunRequest request;
    // Paths and links as the file system and the network take them: UTF-8.
    request.source = urx_->text().toStdString();
    request.saveName = edSession_->text().toStdString();
    request.programFolder = programFolder_;
    request.options = ReadOptions();
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
  QString text = DecodeWindows1251(std::string_view(line.constData(), line.size()));
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
  sb_->setToolTip(QString::fromStdString(FormatSummary(state_.summary)));
  if (outcome.succeeded) {
    wb_->ShowFile(QString::fromStdString(outcome.pagePath));
    savedPage_ = QString::fromStdString(outcome.pagePath);
    printButton_->setEnabled(true);
    pdfButton_->setEnabled(true);
  } else {
    ShowError(outcome.error);
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
              if (!outcome.succeeded) throw Error(outcome.error.toStdString());
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
        return QStringLiteral("PDF сохранён: %1").arg(QFileInfo(pdfPath).absoluteFilePath());
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
                   ? QStringLiteral("PDF сохранён: %1")
                         .arg(QFileInfo(printer->outputFileName()).absoluteFilePath())
                   : QStringLiteral("Отправлено на печать: %1").arg(printer->printerName());
      },
      [](bool) {});
}

void MainForm::ShowError(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, ApplicationTitle(),
                  DecodeMessageText(MessageForDisplay(message)), QMessageBox::Ok, this);
  box.exec();
}

}  // namespace picsheet
