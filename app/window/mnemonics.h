// Alt+letter mnemonics whose underlined letter is drawn without a "&" in the control's text: the
// captions and labels keep exactly their own texts.
#pragma once

#include <QHash>
#include <QProxyStyle>
#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

namespace picsheet {

// Draws the marked texts with their mnemonic letter underlined; every other text as it is.
class MnemonicStyle final : public QProxyStyle {
 public:
  // Underline the letter at index of text wherever the style draws exactly that text.
  void Mark(const QString& text, int index);

  void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette,
                    bool enabled, const QString& text,
                    QPalette::ColorRole textRole = QPalette::NoRole) const override;

 private:
  QHash<QString, QString> marked_;  // text -> the same text with "&" before the letter
};

// Alt + the letter at index of the button's text clicks it, as the button's own mnemonic would.
void GiveMnemonic(MnemonicStyle& style, QAbstractButton& button, int index);

// Alt + the letter at index of the label's text moves the focus to its buddy: into a field with
// its text selected, onto a check box toggling it, onto the selected radio button of a group.
void GiveMnemonic(MnemonicStyle& style, QLabel& label, int index);

}  // namespace picsheet
