// SelectionKeepingEdit: keeps the selection shown while the field has no focus.
#include "app/window/selection_keeping_edit.h"

#include <QFocusEvent>
#include <QPalette>

namespace picsheet {

SelectionKeepingEdit::SelectionKeepingEdit(QWidget* parent) : QLineEdit(parent) {
  // Styles paint the selection of an unfocused field in the inactive colours, which some make
  // invisible; the active ones keep it in sight.
  QPalette colours = palette();
  for (const QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText}) {
    colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
  }
  setPalette(colours);
}

void SelectionKeepingEdit::focusOutEvent(QFocusEvent* event) {
  // QLineEdit drops its selection when the focus moves on within the window.
  const int start = selectionStart();
  const int length = selectionLength();
  const int cursor = cursorPosition();
  QLineEdit::focusOutEvent(event);
  if (start < 0 || length <= 0) return;
  if (cursor == start) {
    setSelection(start + length, -length);  // keeps the cursor at the selection's front
  } else {
    setSelection(start, length);
  }
}

}  // namespace picsheet
