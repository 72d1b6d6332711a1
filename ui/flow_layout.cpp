#include "ui/flow_layout.h"

#include <algorithm>

#include <QWidget>

CFlowLayout::CFlowLayout(QWidget* parent, int spacing) : QLayout(parent), gap_(spacing) {
  setContentsMargins(0, 0, 0, 0);
}

CFlowLayout::~CFlowLayout() {
  while (QLayoutItem* item = takeAt(0)) delete item;
}

void CFlowLayout::addItem(QLayoutItem* item) { items_.append(item); }

QLayoutItem* CFlowLayout::itemAt(int index) const {
  return index >= 0 && index < items_.size() ? items_[index] : nullptr;
}

QLayoutItem* CFlowLayout::takeAt(int index) {
  return index >= 0 && index < items_.size() ? items_.takeAt(index) : nullptr;
}

int CFlowLayout::heightForWidth(int width) const { return arrange(QRect(0, 0, width, 0), false); }

QSize CFlowLayout::minimumSize() const {
  QSize size;
  for (const QLayoutItem* item : items_) size = size.expandedTo(item->minimumSize());
  const QMargins m = contentsMargins();
  return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize CFlowLayout::sizeHint() const {
  // One line of every item.
  int width = 0, height = 0;
  for (const QLayoutItem* item : items_) {
    width += item->sizeHint().width() + gap_;
    height = std::max(height, item->sizeHint().height());
  }
  const QMargins m = contentsMargins();
  return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void CFlowLayout::setGeometry(const QRect& rect) {
  QLayout::setGeometry(rect);
  arrange(rect, true);
}

int CFlowLayout::arrange(const QRect& rect, bool apply) const {
  const QRect area = rect.marginsRemoved(contentsMargins());
  int x = area.x();
  int y = area.y();
  int lineHeight = 0;
  for (QLayoutItem* item : items_) {
    if (item->isEmpty()) continue;
    const QSize hint = item->sizeHint();
    if (x + hint.width() > area.right() + 1 && lineHeight > 0) {
      x = area.x();
      y += lineHeight + gap_;
      lineHeight = 0;
    }
    if (apply) item->setGeometry(QRect(QPoint(x, y), hint));
    x += hint.width() + gap_;
    lineHeight = std::max(lineHeight, hint.height());
  }
  return y + lineHeight - rect.y() + contentsMargins().bottom();
}
