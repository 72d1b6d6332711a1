#include "ui/plot_axes.h"

#include <cmath>

#include <QPainter>

namespace megcxc::ui {

int64_t tickEvery(double cellSize, double minSpacing) {
  if (!(cellSize > 0.0)) return 1;
  const double raw = minSpacing / cellSize;
  int64_t base = 1;
  while (true) {
    for (const int64_t m : {1, 2, 5}) {
      if (static_cast<double>(m * base) >= raw) return m * base;
    }
    if (base > (int64_t{1} << 50)) return base;
    base *= 10;
  }
}

QString numberText(double v) {
  if (std::isnan(v)) return QString("no value");
  if (v == 0.0) return QString("0");
  return QString::number(v, 'g', 4);
}

void drawColourBar(QPainter& painter, const QRect& bar, const ColourTable& table,
                   const megcxc::host::ColourScale& scale, const QString& title) {
  if (bar.height() < 2) return;
  for (int y = 0; y < bar.height(); ++y) {
    const double p = 1.0 - static_cast<double>(y) / (bar.height() - 1);
    painter.setPen(QColor(table[static_cast<std::size_t>(p * 255.0 + 0.5)]));
    painter.drawLine(bar.left(), bar.top() + y, bar.right(), bar.top() + y);
  }
  painter.setPen(QPen(Qt::black));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(bar.adjusted(0, 0, -1, -1));
  const int textHeight = painter.fontMetrics().height();
  for (int k = 0; k <= 4; ++k) {
    const double v = scale.low + (scale.high - scale.low) * k / 4.0;
    const int y = bar.bottom() - static_cast<int>(std::lround((bar.height() - 1) * k / 4.0));
    painter.drawLine(bar.right() + 1, y, bar.right() + 4, y);
    painter.drawText(QRect(bar.right() + 6, y - textHeight / 2, 200, textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                     numberText(v));
  }
  painter.drawText(QRect(bar.left(), bar.top() - textHeight - 4, bar.width() + 80, textHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, title);
}

}  // namespace megcxc::ui
