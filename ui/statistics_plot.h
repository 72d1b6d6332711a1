// CStatisticsPlot: the statistics report of one plane as a line plot: the
// mean over all pairs at every frequency (or time) point, inside the band
// from the minimum to the maximum; the selected points are shaded.
#pragma once

#include <cstdint>
#include <vector>

#include <QString>
#include <QWidget>

#include "host/views.h"

class CStatisticsPlot : public QWidget {
  Q_OBJECT

 public:
  explicit CStatisticsPlot(QWidget* parent = nullptr);

  // The series, the position of every point on the axis (Hz or time), the
  // axis title and the title above the plot.
  void setSeries(megcxc::host::StatisticsSeries series, std::vector<double> positions, const QString& axisTitle,
                 const QString& title);
  // The points begin .. end shaded as the selection (none when begin > end).
  void setSelectedRange(int64_t begin, int64_t end);

  const megcxc::host::StatisticsSeries& series() const { return series_; }
  // Where the mean of point k is drawn.
  QPointF meanPoint(int64_t k) const;
  void paintInto(QPainter& painter, const QRect& area);

  QSize sizeHint() const override { return {420, 240}; }
  QSize minimumSizeHint() const override { return {200, 140}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRectF plotArea(const QRect& area) const;
  double xOf(const QRectF& plot, int64_t k) const;
  double yOf(const QRectF& plot, double v) const;

  megcxc::host::StatisticsSeries series_;
  std::vector<double> positions_;
  QString axisTitle_;
  QString title_;
  double low_ = 0.0;
  double high_ = 1.0;
  int64_t selBegin_ = 1;
  int64_t selEnd_ = 0;
};
