// WrapLayout: placing widgets left to right, wrapping onto new rows.
#include "app/window/wrap_layout.h"

#include <QWidget>
#include <algorithm>

namespace picsheet {

WrapLayout::WrapLayout(QWidget* parent, int horizontalSpacing, int verticalSpacing)
    : QLayout(parent), horizontalSpacing_(horizontalSpacing), verticalSpacing_(verticalSpacing) {}

WrapLayout::~WrapLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void WrapLayout::addStretch() { stretchAt_ = static_cast<int>(items_.size()); }

void WrapLayout::addItem(QLayoutItem* item) { items_.append(item); }

int WrapLayout::count() const { return static_cast<int>(items_.size()); }

QLayoutItem* WrapLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_.at(index) : nullptr;
}

QLayoutItem* WrapLayout::takeAt(int index) {
  if (index < 0 || index >= items_.size()) return nullptr;
  if (index < stretchAt_) --stretchAt_;
  return items_.takeAt(index);
}

Qt::Orientations WrapLayout::expandingDirections() const { return {}; }

bool WrapLayout::hasHeightForWidth() const { return true; }

int WrapLayout::heightForWidth(int width) const { return Arrange(QRect(0, 0, width, 0), false); }

QSize WrapLayout::minimumSize() const {
  // As narrow as the widest item: everything else can go onto rows of its own.
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins margins = contentsMargins();
  return size + QSize(margins.left() + margins.right(), margins.top() + margins.bottom());
}

QSize WrapLayout::sizeHint() const {
  // Everything on one row.
  int width = 0;
  int height = 0;
  for (const QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    width += (width > 0 ? horizontalSpacing_ : 0) + item->sizeHint().width();
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins margins = contentsMargins();
  return {width + margins.left() + margins.right(), height + margins.top() + margins.bottom()};
}

void WrapLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  Arrange(rect, true);
}

int WrapLayout::Arrange(const QRect& rect, bool apply) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int top = area.top();
  int index = 0;
  const int total = static_cast<int>(items_.size());
  while (index < total) {
    // One row: as many items as fit, at least one.
    const int first = index;
    int width = 0;
    int height = 0;
    for (; index < total; ++index) {
      QLayoutItem* item = items_.at(index);
      if (item->isEmpty()) continue;
      const QSize hint = item->sizeHint();
      const int widened = width + (width > 0 ? horizontalSpacing_ : 0) + hint.width();
      if (width > 0 && widened > area.width()) break;
      width = widened;
      height = std::max(height, hint.height());
    }
    if (apply) {
      int left = area.left();
      for (int i = first; i < index; ++i) {
        QLayoutItem* item = items_.at(i);
        if (item->isEmpty()) continue;
        if (i == stretchAt_) left += std::max(0, area.width() - width);
        const QSize hint = item->sizeHint();
        item->setGeometry(QRect(QPoint(left, top), QSize(hint.width(), height)));
        left += hint.width() + horizontalSpacing_;
      }
    }
    top += height + (index < total ? verticalSpacing_ : 0);
  }
  const QMargins margins = contentsMargins();
  return top - area.top() + margins.top() + margins.bottom();
}

}  // namespace picsheet
