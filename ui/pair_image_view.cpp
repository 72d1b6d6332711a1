#include "ui/pair_image_view.h"

#include <algorithm>

#include <QMouseEvent>
#include <QPainter>

#include "ui/colour_maps.h"
#include "ui/plot_axes.h"

using namespace megcxc::ui;
namespace host = megcxc::host;

namespace {

constexpr int kTop = 24;
constexpr int kLeft = 56;
constexpr int kBottom = 38;
constexpr int kRight = 96;
constexpr int kBarWidth = 14;

}  // namespace

CPairImageView::CPairImageView(QWidget* parent) : QWidget(parent) {
  setObjectName("pairImageView");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::CrossCursor);
}

void CPairImageView::setImage(host::ValueGrid grid, const QString& title, const QString& valueName) {
  grid_ = std::move(grid);
  scale_ = host::colourScaleFor(grid_.min, grid_.max);
  title_ = title;
  valueName_ = valueName;
  picture_ = QImage();
  if (grid_.rows >= 1 && grid_.cols >= 1) {
    // Picture x = time, y = frequency from the top (highest) down.
    picture_ = QImage(static_cast<int>(grid_.rows), static_cast<int>(grid_.cols), QImage::Format_RGB32);
    const ColourTable& table = tableFor(scale_);
    for (int64_t f = 0; f < grid_.cols; ++f) {
      auto* line = reinterpret_cast<QRgb*>(picture_.scanLine(static_cast<int>(grid_.cols - 1 - f)));
      for (int64_t t = 0; t < grid_.rows; ++t) line[t] = colourOf(table, scale_, grid_.at(t, f));
    }
  }
  update();
}

void CPairImageView::setAxes(std::vector<double> times, const QString& timeUnit, std::vector<double> hz,
                             bool geometric) {
  times_ = std::move(times);
  timeUnit_ = timeUnit;
  hz_ = std::move(hz);
  geometric_ = geometric;
  update();
}

void CPairImageView::setSelection(const host::GridBox& box) {
  box_ = box;
  update();
}

QRectF CPairImageView::cellArea(const QRect& area) const {
  if (grid_.rows < 1 || grid_.cols < 1) return {};
  const double w = std::max(0, area.width() - kLeft - kRight);
  const double h = std::max(0, area.height() - kTop - kBottom);
  return {area.left() + kLeft + 0.0, area.top() + kTop + 0.0, w, h};
}

QRectF CPairImageView::boxRect(const host::GridBox& box) const {
  const QRectF cells = cellArea(rect());
  if (cells.isEmpty()) return {};
  const double cw = cells.width() / grid_.rows;
  const double ch = cells.height() / grid_.cols;
  const double left = cells.left() + box.timeBegin * cw;
  const double right = cells.left() + (box.timeEnd + 1) * cw;
  const double top = cells.bottom() - (box.freqEnd + 1) * ch;
  const double bottom = cells.bottom() - box.freqBegin * ch;
  return {QPointF(left, top), QPointF(right, bottom)};
}

bool CPairImageView::cellAt(const QPointF& point, int64_t& timeIndex, int64_t& freqIndex) const {
  const QRectF cells = cellArea(rect());
  if (cells.isEmpty()) return false;
  const double cw = cells.width() / grid_.rows;
  const double ch = cells.height() / grid_.cols;
  const double x = std::clamp(point.x(), cells.left(), cells.right() - 0.001);
  const double y = std::clamp(point.y(), cells.top() + 0.001, cells.bottom());
  timeIndex = std::clamp<int64_t>(static_cast<int64_t>((x - cells.left()) / cw), 0, grid_.rows - 1);
  freqIndex = std::clamp<int64_t>(static_cast<int64_t>((cells.bottom() - y) / ch), 0, grid_.cols - 1);
  return cells.contains(point);
}

host::GridBox CPairImageView::boxBetween(int64_t t0, int64_t f0, int64_t t1, int64_t f1) const {
  return {std::min(t0, t1), std::max(t0, t1), std::min(f0, f1), std::max(f0, f1)};
}

void CPairImageView::paintInto(QPainter& painter, const QRect& area) {
  painter.fillRect(area, palette().window());
  painter.setPen(palette().windowText().color());
  const QFontMetrics metrics = painter.fontMetrics();
  const int textHeight = metrics.height();
  painter.drawText(QRect(area.left() + 4, area.top() + 2, area.width() - 8, textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   title_);
  const QRectF cells = cellArea(area);
  if (cells.isEmpty() || picture_.isNull()) {
    painter.drawText(area, Qt::AlignCenter, "No time-frequency image for this pair.");
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(cells, picture_);
  painter.setPen(Qt::black);
  painter.drawRect(cells);

  const double cw = cells.width() / grid_.rows;
  const double ch = cells.height() / grid_.cols;
  const int64_t timeStep = tickEvery(cw, metrics.horizontalAdvance("00000.0") + 6);
  for (int64_t t = 0; t < grid_.rows; t += timeStep) {
    const double x = cells.left() + (t + 0.5) * cw;
    painter.drawLine(QPointF(x, cells.bottom()), QPointF(x, cells.bottom() + 3));
    const double label = t < static_cast<int64_t>(times_.size()) ? times_[t] : static_cast<double>(t);
    painter.drawText(QRectF(x - 40, cells.bottom() + 3, 80, textHeight), Qt::AlignHCenter | Qt::AlignTop,
                     numberText(label));
  }
  painter.drawText(QRectF(cells.left(), cells.bottom() + 3 + textHeight, cells.width(), textHeight), Qt::AlignHCenter,
                   QString("time (%1)").arg(timeUnit_.isEmpty() ? QString("index") : timeUnit_));
  const int64_t freqStep = tickEvery(ch, textHeight + 2);
  for (int64_t f = 0; f < grid_.cols; f += freqStep) {
    const double y = cells.bottom() - (f + 0.5) * ch;
    painter.drawLine(QPointF(cells.left() - 3, y), QPointF(cells.left(), y));
    const double label = f < static_cast<int64_t>(hz_.size()) ? hz_[f] : static_cast<double>(f);
    painter.drawText(QRectF(area.left(), y - textHeight / 2.0, kLeft - 6, textHeight), Qt::AlignRight | Qt::AlignVCenter,
                     numberText(label));
  }
  painter.save();
  painter.translate(area.left() + 2, cells.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-cells.height() / 2, 0, cells.height(), textHeight), Qt::AlignHCenter,
                   geometric_ ? QString("frequency (Hz, geometric axis)") : QString("frequency (Hz)"));
  painter.restore();

  // The selection box, drawn twice so it shows on light and dark cells.
  const QRectF sel = boxRect(box_).translated(area.topLeft() - rect().topLeft());
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(Qt::white, 3));
  painter.drawRect(sel);
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawRect(sel);

  const QRect bar(static_cast<int>(cells.right()) + 14, static_cast<int>(cells.top()) + textHeight + 8, kBarWidth,
                  std::max(2, static_cast<int>(cells.height()) - textHeight - 8));
  drawColourBar(painter, bar, tableFor(scale_), scale_, valueName_);
}

void CPairImageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintInto(painter, rect());
}

void CPairImageView::mousePressEvent(QMouseEvent* event) {
  int64_t t = 0, f = 0;
  if (event->button() != Qt::LeftButton || !cellAt(event->position(), t, f)) return QWidget::mousePressEvent(event);
  dragging_ = true;
  anchorTime_ = t;
  anchorFreq_ = f;
  setSelection(boxBetween(t, f, t, f));
}

void CPairImageView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseMoveEvent(event);
  int64_t t = 0, f = 0;
  cellAt(event->position(), t, f);
  setSelection(boxBetween(anchorTime_, anchorFreq_, t, f));
}

void CPairImageView::mouseReleaseEvent(QMouseEvent* event) {
  if (!dragging_ || event->button() != Qt::LeftButton) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  int64_t t = 0, f = 0;
  cellAt(event->position(), t, f);
  const host::GridBox box = boxBetween(anchorTime_, anchorFreq_, t, f);
  setSelection(box);
  emit selectionChosen(box.timeBegin, box.timeEnd, box.freqBegin, box.freqEnd);
}
