#include "ui/statistics_plot.h"

#include <algorithm>
#include <cmath>

#include <QPainter>
#include <QPainterPath>

#include "ui/plot_axes.h"

using namespace megcxc::ui;
namespace host = megcxc::host;

namespace {

constexpr int kTop = 24;
constexpr int kLeft = 64;
constexpr int kBottom = 38;
constexpr int kRight = 16;

}  // namespace

CStatisticsPlot::CStatisticsPlot(QWidget* parent) : QWidget(parent) {
  setObjectName("statisticsPlot");
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CStatisticsPlot::setSeries(host::StatisticsSeries series, std::vector<double> positions, const QString& axisTitle,
                                const QString& title) {
  series_ = std::move(series);
  positions_ = std::move(positions);
  axisTitle_ = axisTitle;
  title_ = title;
  bool any = false;
  for (std::size_t k = 0; k < series_.mean.size(); ++k) {
    for (const double v : {series_.min[k], series_.max[k], series_.mean[k]}) {
      if (!std::isfinite(v)) continue;
      low_ = any ? std::min(low_, v) : v;
      high_ = any ? std::max(high_, v) : v;
      any = true;
    }
  }
  if (!any) low_ = 0.0, high_ = 1.0;
  const double pad = high_ > low_ ? 0.05 * (high_ - low_) : 0.5;
  low_ -= pad;
  high_ += pad;
  update();
}

void CStatisticsPlot::setSelectedRange(int64_t begin, int64_t end) {
  selBegin_ = begin;
  selEnd_ = end;
  update();
}

QRectF CStatisticsPlot::plotArea(const QRect& area) const {
  return {area.left() + kLeft + 0.0, area.top() + kTop + 0.0, std::max(0, area.width() - kLeft - kRight) + 0.0,
          std::max(0, area.height() - kTop - kBottom) + 0.0};
}

double CStatisticsPlot::xOf(const QRectF& plot, int64_t k) const {
  const std::size_t n = series_.mean.size();
  if (n <= 1) return plot.center().x();
  return plot.left() + plot.width() * static_cast<double>(k) / static_cast<double>(n - 1);
}

double CStatisticsPlot::yOf(const QRectF& plot, double v) const {
  return plot.bottom() - plot.height() * (v - low_) / (high_ - low_);
}

QPointF CStatisticsPlot::meanPoint(int64_t k) const {
  const QRectF plot = plotArea(rect());
  return {xOf(plot, k), yOf(plot, series_.mean[static_cast<std::size_t>(k)])};
}

void CStatisticsPlot::paintInto(QPainter& painter, const QRect& area) {
  painter.fillRect(area, palette().window());
  painter.setPen(palette().windowText().color());
  const QFontMetrics metrics = painter.fontMetrics();
  const int textHeight = metrics.height();
  painter.drawText(QRect(area.left() + 4, area.top() + 2, area.width() - 8, textHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   title_);
  const QRectF plot = plotArea(area);
  const auto n = static_cast<int64_t>(series_.mean.size());
  if (n < 1 || plot.width() < 4 || plot.height() < 4) {
    painter.drawText(area, Qt::AlignCenter, "No statistics to show.");
    return;
  }
  painter.fillRect(plot, Qt::white);
  painter.setRenderHint(QPainter::Antialiasing, true);

  // The selected points, half a step to each side.
  if (selBegin_ <= selEnd_ && selEnd_ >= 0 && selBegin_ < n) {
    const double half = n > 1 ? plot.width() / (2.0 * (n - 1)) : plot.width() / 2;
    const double left = std::max(plot.left(), xOf(plot, std::max<int64_t>(0, selBegin_)) - half);
    const double right = std::min(plot.right(), xOf(plot, std::min(n - 1, selEnd_)) + half);
    painter.fillRect(QRectF(left, plot.top(), right - left, plot.height()), QColor(255, 200, 60, 90));
  }

  // Horizontal grid and value ticks.
  painter.setPen(QColor(220, 220, 220));
  for (int k = 0; k <= 4; ++k) {
    const double v = low_ + (high_ - low_) * k / 4.0;
    const double y = yOf(plot, v);
    painter.setPen(QColor(225, 225, 225));
    painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    painter.setPen(palette().windowText().color());
    painter.drawText(QRectF(area.left(), y - textHeight / 2.0, kLeft - 6, textHeight), Qt::AlignRight | Qt::AlignVCenter,
                     numberText(v));
  }

  QPainterPath band;
  band.moveTo(xOf(plot, 0), yOf(plot, series_.max[0]));
  for (int64_t k = 1; k < n; ++k) band.lineTo(xOf(plot, k), yOf(plot, series_.max[static_cast<std::size_t>(k)]));
  for (int64_t k = n - 1; k >= 0; --k) band.lineTo(xOf(plot, k), yOf(plot, series_.min[static_cast<std::size_t>(k)]));
  band.closeSubpath();
  painter.fillPath(band, QColor(33, 145, 140, 70));
  QPainterPath mean;
  mean.moveTo(xOf(plot, 0), yOf(plot, series_.mean[0]));
  for (int64_t k = 1; k < n; ++k) mean.lineTo(xOf(plot, k), yOf(plot, series_.mean[static_cast<std::size_t>(k)]));
  painter.setPen(QPen(QColor(20, 90, 140), 2));
  painter.setBrush(Qt::NoBrush);
  painter.drawPath(mean);
  painter.setRenderHint(QPainter::Antialiasing, false);

  painter.setPen(palette().windowText().color());
  painter.drawRect(plot);
  const double cell = n > 1 ? plot.width() / (n - 1) : plot.width();
  const int64_t step = tickEvery(cell, metrics.horizontalAdvance("0000.00") + 6);
  for (int64_t k = 0; k < n; k += step) {
    const double x = xOf(plot, k);
    painter.drawLine(QPointF(x, plot.bottom()), QPointF(x, plot.bottom() + 3));
    const double label = k < static_cast<int64_t>(positions_.size()) ? positions_[k] : static_cast<double>(k);
    painter.drawText(QRectF(x - 40, plot.bottom() + 3, 80, textHeight), Qt::AlignHCenter | Qt::AlignTop,
                     numberText(label));
  }
  painter.drawText(QRectF(plot.left(), plot.bottom() + 3 + textHeight, plot.width(), textHeight), Qt::AlignHCenter,
                   axisTitle_);
  // Legend.
  const QString legend = "\xE2\x80\x94 mean over pairs    \xE2\x96\x88 minimum to maximum";
  painter.setPen(QColor(20, 90, 140));
  painter.drawText(QRectF(plot.left() + 6, plot.top() + 2, plot.width() - 12, textHeight), Qt::AlignRight, legend);
}

void CStatisticsPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  paintInto(painter, rect());
}
