#include "ui/pair_matrix_view.h"

#include <algorithm>
#include <cmath>

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "ui/colour_maps.h"
#include "ui/plot_axes.h"

using namespace megcxc::ui;
namespace host = megcxc::host;

namespace {

// Room for the title, the row and column ticks and the colour bar.
constexpr int kTop = 24;
constexpr int kLeft = 58;
constexpr int kBottom = 34;
constexpr int kRight = 96;
constexpr int kBarWidth = 14;

}  // namespace

CPairMatrixView::CPairMatrixView(QWidget* parent) : QWidget(parent) {
  setObjectName("pairMatrixView");
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPairMatrixView::setValues(host::ValueGrid grid, const QString& title, const QString& valueName) {
  grid_ = std::move(grid);
  scale_ = host::colourScaleFor(grid_.min, grid_.max);
  title_ = title;
  valueName_ = valueName;
  rebuildImage();
  update();
}

void CPairMatrixView::setLabels(const host::AxisLabelSource& labels) { labels_ = labels; }

void CPairMatrixView::setCurrentPair(int64_t row, int64_t column) {
  currentRow_ = row;
  currentColumn_ = column;
  update();
}

void CPairMatrixView::rebuildImage() {
  if (grid_.rows < 1 || grid_.cols < 1) {
    image_ = QImage();
    return;
  }
  image_ = QImage(static_cast<int>(grid_.cols), static_cast<int>(grid_.rows), QImage::Format_RGB32);
  const ColourTable& table = tableFor(scale_);
  for (int64_t r = 0; r < grid_.rows; ++r) {
    auto* line = reinterpret_cast<QRgb*>(image_.scanLine(static_cast<int>(r)));
    const double* values = grid_.values.data() + r * grid_.cols;
    for (int64_t c = 0; c < grid_.cols; ++c) line[c] = colourOf(table, scale_, values[c]);
  }
}

QRectF CPairMatrixView::cellArea(const QRect& area) const {
  if (grid_.rows < 1 || grid_.cols < 1) return {};
  const double w = area.width() - kLeft - kRight;
  const double h = area.height() - kTop - kBottom;
  const double cell = std::max(0.0, std::min(w / grid_.cols, h / grid_.rows));
  return {area.left() + kLeft + 0.0, area.top() + kTop + 0.0, cell * grid_.cols, cell * grid_.rows};
}

QRectF CPairMatrixView::cellRect(int64_t row, int64_t column) const {
  const QRectF cells = cellArea(rect());
  if (cells.isEmpty()) return {};
  const double cell = cells.width() / grid_.cols;
  return {cells.left() + column * cell, cells.top() + row * cell, cell, cell};
}

bool CPairMatrixView::cellAt(const QPointF& point, int64_t& row, int64_t& column) const {
  const QRectF cells = cellArea(rect());
  if (cells.isEmpty() || !cells.contains(point)) return false;
  const double cell = cells.width() / grid_.cols;
  column = std::min<int64_t>(grid_.cols - 1, static_cast<int64_t>((point.x() - cells.left()) / cell));
  row = std::min<int64_t>(grid_.rows - 1, static_cast<int64_t>((point.y() - cells.top()) / cell));
  return true;
}

QString CPairMatrixView::toolTipAt(const QPointF& point) const {
  int64_t r = 0, c = 0;
  if (!cellAt(point, r, c)) return {};
  return QString("row %1 \xC3\x97 column %2\n%3: %4")
      .arg(QString::fromStdString(host::sensorLabel(labels_, r)), QString::fromStdString(host::sensorLabel(labels_, c)),
           valueName_, numberText(grid_.at(r, c)));
}

void CPairMatrixView::paintInto(QPainter& painter, const QRect& area) {
  painter.fillRect(area, palette().window());
  painter.setPen(palette().windowText().color());
  const int textHeight = painter.fontMetrics().height();
  painter.drawText(QRect(area.left() + 4, area.top() + 2, area.width() - 8, textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   title_);
  const QRectF cells = cellArea(area);
  if (cells.isEmpty() || image_.isNull()) {
    painter.drawText(area, Qt::AlignCenter, "No values to show.");
    return;
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(cells, image_);
  painter.setPen(Qt::black);
  painter.drawRect(cells);

  // Ticks every few sensors, numbered from 0.
  const double cell = cells.width() / grid_.cols;
  const int64_t rowStep = tickEvery(cell, textHeight + 2);
  const int64_t colStep = tickEvery(cell, painter.fontMetrics().horizontalAdvance("0000") + 4);
  for (int64_t r = 0; r < grid_.rows; r += rowStep) {
    const double y = cells.top() + (r + 0.5) * cell;
    painter.drawLine(QPointF(cells.left() - 3, y), QPointF(cells.left(), y));
    painter.drawText(QRectF(area.left(), y - textHeight / 2.0, kLeft - 6, textHeight), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(r));
  }
  for (int64_t c = 0; c < grid_.cols; c += colStep) {
    const double x = cells.left() + (c + 0.5) * cell;
    painter.drawLine(QPointF(x, cells.bottom()), QPointF(x, cells.bottom() + 3));
    painter.drawText(QRectF(x - 30, cells.bottom() + 3, 60, textHeight), Qt::AlignHCenter | Qt::AlignTop,
                     QString::number(c));
  }
  painter.drawText(QRectF(cells.left(), cells.bottom() + 3 + textHeight, cells.width(), textHeight), Qt::AlignHCenter,
                   "column sensor (cross channel)");
  painter.save();
  painter.translate(area.left() + 2, cells.center().y());
  painter.rotate(-90);
  painter.drawText(QRectF(-cells.height() / 2, 0, cells.height(), textHeight), Qt::AlignHCenter, "row sensor (active)");
  painter.restore();

  if (currentRow_ >= 0 && currentRow_ < grid_.rows && currentColumn_ >= 0 && currentColumn_ < grid_.cols) {
    const QRectF current(cells.left() + currentColumn_ * cell, cells.top() + currentRow_ * cell, cell, cell);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawRect(current.adjusted(-1.5, -1.5, 1.5, 1.5));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(current.adjusted(-1.5, -1.5, 1.5, 1.5));
  }

  const QRect bar(static_cast<int>(cells.right()) + 14, static_cast<int>(cells.top()) + textHeight + 8, kBarWidth,
                  std::max(2, static_cast<int>(cells.height()) - textHeight - 8));
  drawColourBar(painter, bar, tableFor(scale_), scale_, valueName_);
}

void CPairMatrixView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintInto(painter, rect());
}

void CPairMatrixView::mousePressEvent(QMouseEvent* event) {
  int64_t r = 0, c = 0;
  if (event->button() == Qt::LeftButton && cellAt(event->position(), r, c)) {
    emit pairClicked(r, c);
    event->accept();
    return;
  }
  QWidget::mousePressEvent(event);
}

bool CPairMatrixView::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(event);
    const QString text = toolTipAt(help->pos());
    if (text.isEmpty()) {
      QToolTip::hideText();
      event->ignore();
    } else {
      QToolTip::showText(help->globalPos(), text, this);
    }
    return true;
  }
  return QWidget::event(event);
}
