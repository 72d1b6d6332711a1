// CPairImageView: the time x frequency image of one channel pair
// (host::pairImage): time runs to the right, frequency upwards, every grid
// point one cell, so a geometric frequency axis is drawn evenly spaced in
// log frequency with its ticks at the real frequencies. The selection box is
// outlined; a click chooses one cell as the new box, a drag a larger box.
#pragma once

#include <cstdint>
#include <vector>

#include <QImage>
#include <QString>
#include <QWidget>

#include "host/views.h"

class CPairImageView : public QWidget {
  Q_OBJECT

 public:
  explicit CPairImageView(QWidget* parent = nullptr);

  // The image (rows: time points, columns: frequency points), its title,
  // the value's name and the axes: time of every point in `timeUnit`,
  // frequency in Hz, `geometric` when the frequency axis is.
  void setImage(megcxc::host::ValueGrid grid, const QString& title, const QString& valueName);
  void setAxes(std::vector<double> times, const QString& timeUnit, std::vector<double> hz, bool geometric);
  void setSelection(const megcxc::host::GridBox& box);

  const megcxc::host::ValueGrid& image() const { return grid_; }
  const megcxc::host::GridBox& selection() const { return box_; }
  // Where the cells of `box` are drawn, and the cell under a point.
  QRectF boxRect(const megcxc::host::GridBox& box) const;
  bool cellAt(const QPointF& point, int64_t& timeIndex, int64_t& freqIndex) const;
  void paintInto(QPainter& painter, const QRect& area);

  QSize sizeHint() const override { return {420, 300}; }
  QSize minimumSizeHint() const override { return {200, 160}; }

 signals:
  // The user drew a new selection box.
  void selectionChosen(qint64 timeBegin, qint64 timeEnd, qint64 freqBegin, qint64 freqEnd);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QRectF cellArea(const QRect& area) const;
  megcxc::host::GridBox boxBetween(int64_t t0, int64_t f0, int64_t t1, int64_t f1) const;

  megcxc::host::ValueGrid grid_;
  megcxc::host::ColourScale scale_;
  megcxc::host::GridBox box_;
  QImage picture_;
  QString title_;
  QString valueName_;
  std::vector<double> times_;
  std::vector<double> hz_;
  QString timeUnit_;
  bool geometric_ = false;
  bool dragging_ = false;
  int64_t anchorTime_ = 0;
  int64_t anchorFreq_ = 0;
};
