// A one-line edit field whose selection stays, and stays visible, when the focus leaves it.
#pragma once

#include <QLineEdit>

namespace picsheet {

class SelectionKeepingEdit final : public QLineEdit {
  Q_OBJECT
 public:
  explicit SelectionKeepingEdit(QWidget* parent = nullptr);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

}  // namespace picsheet
