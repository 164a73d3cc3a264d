// Alt+letter shortcuts bound to controls whose texts carry no "&".
#include "app/window/mnemonics.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QKeySequence>
#include <QLabel>
#include <QRadioButton>
#include <QShortcut>

namespace picsheet {
namespace {

QKeySequence AltKeyFor(const QString& text, int index) {
  return QKeySequence(
      QKeyCombination(Qt::AltModifier, static_cast<Qt::Key>(text.at(index).toUpper().unicode())));
}

}  // namespace

void MnemonicStyle::Mark(const QString& text, int index) {
  QString withMark = text;
  withMark.insert(index, u'&');
  marked_.insert(text, withMark);
}

void MnemonicStyle::drawItemText(QPainter* painter, const QRect& rect, int flags,
                                 const QPalette& palette, bool enabled, const QString& text,
                                 QPalette::ColorRole textRole) const {
  const auto mark = marked_.constFind(text);
  if (mark == marked_.constEnd()) {
    QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
    return;
  }
  // The underline shows always, not only while Alt is held: the letters are there to be seen.
  const int shown = (flags & ~Qt::TextHideMnemonic) | Qt::TextShowMnemonic;
  QProxyStyle::drawItemText(painter, rect, shown, palette, enabled, *mark, textRole);
}

void GiveMnemonic(MnemonicStyle& style, QAbstractButton& button, int index) {
  style.Mark(button.text(), index);
  button.setStyle(&style);
  button.setShortcut(AltKeyFor(button.text(), index));
}

void GiveMnemonic(MnemonicStyle& style, QLabel& label, int index) {
  style.Mark(label.text(), index);
  label.setStyle(&style);
  auto* shortcut = new QShortcut(AltKeyFor(label.text(), index), &label);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, &label, [&label] {
    QWidget* buddy = label.buddy();
    if (buddy == nullptr || !buddy->isEnabled()) return;
    auto* radio = qobject_cast<QRadioButton*>(buddy);
    if (radio != nullptr && radio->group() != nullptr && radio->group()->checkedButton()) {
      // Reaching a group selects nothing new; the arrow keys move the selection from there.
      radio->group()->checkedButton()->setFocus(Qt::ShortcutFocusReason);
      return;
    }
    buddy->setFocus(Qt::ShortcutFocusReason);
    if (auto* button = qobject_cast<QAbstractButton*>(buddy);
        button != nullptr && radio == nullptr) {
      button->animateClick();
    }
  });
}

}  // namespace picsheet
