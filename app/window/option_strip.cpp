// OptionStrip: the controls of a run in two lines that wrap when the window is narrow.
#include "app/window/option_strip.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "app/window/mnemonics.h"
#include "app/window/selection_keeping_edit.h"
#include "app/window/wrap_layout.h"
#include "convert/picture_turn.h"

namespace picsheet {
namespace {

constexpr int kOptionStripHeight = 100;
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

}  // namespace

OptionStrip::OptionStrip(QWidget* parent) : QWidget(parent) {
  // 100 pixels high while its lines fit the width; with large fonts or a narrow window they
  // wrap, and the strip grows rather than cutting controls off.
  setMinimumHeight(kOptionStripHeight);
  QSizePolicy grows(QSizePolicy::Preferred, QSizePolicy::Minimum);
  grows.setHeightForWidth(true);
  setSizePolicy(grows);
  auto* strip = new QVBoxLayout(this);
  strip->setContentsMargins(4, 2, 4, 2);
  strip->setSpacing(2);
  BuildFirstLine(*strip);
  BuildFormattingBox(*strip);
  GiveMnemonics();
}

void OptionStrip::BuildFirstLine(QVBoxLayout& strip) {
  // Every field with its label above it. The controls keep their long-standing object names,
  // which the tests and scripts find them by.
  auto* line = new WrapLayout(nullptr, 4, 2);
  strip.addLayout(line);

  sourceEdit_ = Named(new QLineEdit(this), "urx");
  sourceEdit_->setFixedWidth(273);
  // The "..." button sits inside the field at its left end; the text starts after it.
  openButton_ = Named(new QToolButton(sourceEdit_), "SpeedButton1");
  openButton_->setText(QStringLiteral("..."));
  openButton_->setToolTip(QStringLiteral("Открыть файл (Ctrl+O)"));
  openButton_->setCursor(Qt::ArrowCursor);
  auto* inField = new QHBoxLayout(sourceEdit_);
  inField->setContentsMargins(1, 1, 1, 1);
  inField->addWidget(openButton_, 0, Qt::AlignLeft);
  inField->addStretch(1);
  sourceEdit_->setTextMargins(openButton_->sizeHint().width(), 0, 0, 0);
  line->addWidget(Labelled(QStringLiteral("Путь или ссылка"), sourceEdit_, sourceEdit_, this));

  cellsSpin_ = Named(new QSpinBox(this), "coln");
  cellsSpin_->setRange(2, 20);
  cellsSpin_->setSingleStep(1);
  cellsSpin_->setValue(CatalogueOptions{}.cellsPerRow);
  cellsSpin_->setFixedWidth(49);
  line->addWidget(Labelled(QStringLiteral("В строке"), cellsSpin_, cellsSpin_, this));

  auto* compact = new CompactStyle;
  compact->setParent(this);
  skipRepeatsBox_ = Named(new QCheckBox(QStringLiteral("пропускать"), this), "bxPass");
  skipRepeatsBox_->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Дубликаты"), skipRepeatsBox_, skipRepeatsBox_, this));

  verticalRadio_ = Named(new QRadioButton(QStringLiteral("верт")), "rbVert");
  horizontalRadio_ = Named(new QRadioButton(QStringLiteral("гориз")), "rbHoriz");
  asTheyAreRadio_ = Named(new QRadioButton(QStringLiteral("умлч")), "rbNone");
  const auto orientations = {verticalRadio_, horizontalRadio_, asTheyAreRadio_};
  QWidget* orientation = RadioRow(orientations, this);
  verticalRadio_->setChecked(true);
  for (QRadioButton* button : orientations) button->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Ориентация"), verticalRadio_, orientation, this));

  clockwiseRadio_ = Named(new QRadioButton(QStringLiteral("CW")), "rbCW");
  counterClockwiseRadio_ = Named(new QRadioButton(QStringLiteral("CCW")), "rbCCW");
  const auto turns = {clockwiseRadio_, counterClockwiseRadio_};
  QWidget* rotation = RadioRow(turns, this);
  clockwiseRadio_->setChecked(true);
  for (QRadioButton* button : turns) button->setStyle(compact);
  line->addWidget(Labelled(QStringLiteral("Поворачивать"), clockwiseRadio_, rotation, this));

  saveNameEdit_ = Named(new SelectionKeepingEdit(this), "edSession");
  saveNameEdit_->setFixedWidth(161);
  line->addWidget(
      Labelled(QStringLiteral("Имя для сохранения"), saveNameEdit_, saveNameEdit_, this));

  goButton_ = Named(new QPushButton(QStringLiteral("Go!"), this), "Button1");
  goButton_->setFixedWidth(kGoButtonWidth);
  line->addWidget(Labelled(QString(), nullptr, goButton_, this));
}

void OptionStrip::BuildFormattingBox(QVBoxLayout& strip) {
  // The second line: the formatting options.
  formattingBox_ = Named(new QGroupBox(QStringLiteral("Форматирование"), this), "GroupBox1");
  auto* boxes = new WrapLayout(formattingBox_, 10, 2);  // four boxes and two buttons in one line
  boxes->setContentsMargins(6, 2, 6, 2);
  const auto box = [this](const char* caption, const char* name) {
    return Named(new QCheckBox(QString::fromUtf8(caption), formattingBox_), name);
  };
  digitCaptionsBox_ = box("Добавлять сирийские номера", "cbSirian");
  coversToEndBox_ = box("Обертки (номер 0) - в конец", "cbCovers");
  coversToEndBox_->setChecked(true);
  gapCellsBox_ = box("Оставлять ячейки для пропусков", "cbCells");
  gapCellsBox_->setChecked(true);
  keepGoingBox_ = box("Продолжать при ошибках", "cbKeepGoing");
  for (QCheckBox* check : {digitCaptionsBox_, coversToEndBox_, gapCellsBox_, keepGoingBox_}) {
    boxes->addWidget(check);
  }
  boxes->addStretch();
  strip.addWidget(formattingBox_);

  // Printing the saved page, once there is one. The two buttons are one item of the line, so
  // that a wrapping line moves them together instead of parting them on two rows.
  auto* printing = new QWidget(formattingBox_);
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
}

void OptionStrip::GiveMnemonics() {
  // The style draws the underlines; it serves every control named here.
  auto* style = new MnemonicStyle;
  style->setParent(this);
  const auto labelOf = [this](const QWidget* field) -> QLabel* {
    for (QLabel* label : findChildren<QLabel*>()) {
      if (label->buddy() == field) return label;
    }
    return nullptr;
  };
  // Letters on distinct keys of both the Latin and the Russian layout.
  const std::pair<QWidget*, int> labels[] = {{sourceEdit_, 1},     {cellsSpin_, 0},
                                             {skipRepeatsBox_, 0}, {verticalRadio_, 0},
                                             {clockwiseRadio_, 4}, {saveNameEdit_, 0}};
  for (const auto& [field, index] : labels) {
    if (QLabel* label = labelOf(field)) GiveMnemonic(*style, *label, index);
  }
  const std::pair<QAbstractButton*, int> buttons[] = {{goButton_, 0},       {digitCaptionsBox_, 10},
                                                      {coversToEndBox_, 1}, {gapCellsBox_, 10},
                                                      {printButton_, 2},    {pdfButton_, 2}};
  for (const auto& [button, index] : buttons) GiveMnemonic(*style, *button, index);
}

int OptionStrip::CellsPerRow() const {
  // A text that is not a whole number counts as the lower bound.
  bool whole = false;
  const int typed = cellsSpin_->cleanText().toInt(&whole);
  if (!whole) return cellsSpin_->minimum();
  return std::clamp(typed, cellsSpin_->minimum(), cellsSpin_->maximum());
}

CatalogueOptions OptionStrip::options() const {
  CatalogueOptions options;
  options.cellsPerRow = CellsPerRow();
  options.orientation = verticalRadio_->isChecked()     ? Orientation::kVertical
                        : horizontalRadio_->isChecked() ? Orientation::kHorizontal
                                                        : Orientation::kNone;
  // The group always has one selected.
  options.turn = counterClockwiseRadio_->isChecked() ? Turn::kCounterClockwise : Turn::kClockwise;
  options.holdBackCovers = coversToEndBox_->isChecked();
  options.skipRepeats = skipRepeatsBox_->isChecked();
  options.gapCells = gapCellsBox_->isChecked();
  options.digitCaptions = digitCaptionsBox_->isChecked();
  options.keepGoing = keepGoingBox_->isChecked();
  return options;
}

void OptionStrip::SetRunning(bool running) {
  // The options cannot change while the converter uses them; the button stays, to stop the run.
  SetEnabledExcept(this, goButton_, !running);
  goButton_->setText(running ? QStringLiteral("Стоп") : QStringLiteral("Go!"));
}

}  // namespace picsheet
