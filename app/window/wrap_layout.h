// A row of widgets that wraps onto further rows when the width runs short, as words wrap in a
// paragraph; its height follows the width.
#pragma once

#include <QLayout>
#include <QList>

namespace picsheet {

class WrapLayout final : public QLayout {
 public:
  explicit WrapLayout(QWidget* parent = nullptr, int horizontalSpacing = 4,
                      int verticalSpacing = 2);
  ~WrapLayout() override;
  WrapLayout(const WrapLayout&) = delete;
  WrapLayout& operator=(const WrapLayout&) = delete;

  // The spare width of the row that holds the next item goes in front of it (right-aligns the
  // items from there on); at most one such place.
  void addStretch();

  void addItem(QLayoutItem* item) override;
  int count() const override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  Qt::Orientations expandingDirections() const override;
  bool hasHeightForWidth() const override;
  int heightForWidth(int width) const override;
  QSize minimumSize() const override;
  QSize sizeHint() const override;
  void setGeometry(const QRect& rect) override;

 private:
  // Places the items in rect (when apply) and returns the height they take.
  int Arrange(const QRect& rect, bool apply) const;

  QList<QLayoutItem*> items_;
  int stretchAt_ = -1;
  int horizontalSpacing_;
  int verticalSpacing_;
};

}  // namespace picsheet
