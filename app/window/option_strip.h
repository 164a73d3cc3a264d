// The strip across the top of the window: the source field, every option of a conversion, the
// save name, "Go!" and the print buttons, with their labels, layout and Alt+letter keys.
#pragma once

#include <QWidget>

#include "convert/catalogue.h"

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class QVBoxLayout;

namespace picsheet {

class OptionStrip final : public QWidget {
  Q_OBJECT
 public:
  explicit OptionStrip(QWidget* parent = nullptr);

  // The options of a conversion as the controls hold them.
  CatalogueOptions options() const;

  // While a run goes nothing can be changed; "Go!" stays, reading "Стоп", to stop it.
  void SetRunning(bool running);

  // The fields and buttons the window acts on.
  QLineEdit* sourceEdit() const { return sourceEdit_; }
  QToolButton* openButton() const { return openButton_; }
  QLineEdit* saveNameEdit() const { return saveNameEdit_; }
  QPushButton* goButton() const { return goButton_; }
  QPushButton* printButton() const { return printButton_; }
  QPushButton* pdfButton() const { return pdfButton_; }

 private:
  void BuildFirstLine(QVBoxLayout& strip);
  void BuildFormattingBox(QVBoxLayout& strip);
  void GiveMnemonics();
  int CellsPerRow() const;

  QLineEdit* sourceEdit_ = nullptr;
  QToolButton* openButton_ = nullptr;
  QSpinBox* cellsSpin_ = nullptr;
  QCheckBox* skipRepeatsBox_ = nullptr;
  QRadioButton* verticalRadio_ = nullptr;
  QRadioButton* horizontalRadio_ = nullptr;
  QRadioButton* asTheyAreRadio_ = nullptr;
  QRadioButton* clockwiseRadio_ = nullptr;
  QRadioButton* counterClockwiseRadio_ = nullptr;
  QLineEdit* saveNameEdit_ = nullptr;
  QPushButton* goButton_ = nullptr;
  QGroupBox* formattingBox_ = nullptr;
  QCheckBox* digitCaptionsBox_ = nullptr;
  QCheckBox* coversToEndBox_ = nullptr;
  QCheckBox* gapCellsBox_ = nullptr;
  QCheckBox* keepGoingBox_ = nullptr;
  QPushButton* printButton_ = nullptr;
  QPushButton* pdfButton_ = nullptr;
};

}  // namespace picsheet
