// CPairMatrixView: the sensor x sensor heatmap of one value per channel pair
// (host::valuesAtSelection), with a colour bar, the current pair outlined, a
// tooltip naming the pair and its value under the mouse, and a click that
// chooses a pair. It only paints what it is given.
#pragma once

#include <cstdint>

#include <QImage>
#include <QString>
#include <QWidget>

#include "host/views.h"

class CPairMatrixView : public QWidget {
  Q_OBJECT

 public:
  explicit CPairMatrixView(QWidget* parent = nullptr);

  // The values to show, the title above them and the name of the value (the
  // colour bar's title).
  void setValues(megcxc::host::ValueGrid grid, const QString& title, const QString& valueName);
  // Labels of the rows and columns in tooltips (0-based index and name).
  void setLabels(const megcxc::host::AxisLabelSource& labels);
  // The pair outlined as the current one (outside the matrix: none).
  void setCurrentPair(int64_t row, int64_t column);

  const megcxc::host::ValueGrid& values() const { return grid_; }
  const megcxc::host::ColourScale& scale() const { return scale_; }
  // Where cell (row, column) is drawn in the widget (empty without values).
  QRectF cellRect(int64_t row, int64_t column) const;
  // The cell under a point; false outside the cells.
  bool cellAt(const QPointF& point, int64_t& row, int64_t& column) const;
  // The tooltip of the cell under a point; empty outside the cells.
  QString toolTipAt(const QPointF& point) const;
  // Paints the whole view into `painter` over `area` (also used off screen).
  void paintInto(QPainter& painter, const QRect& area);

  QSize sizeHint() const override { return {420, 380}; }
  QSize minimumSizeHint() const override { return {200, 180}; }

 signals:
  void pairClicked(qint64 row, qint64 column);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // The square cells' area inside `area`.
  QRectF cellArea(const QRect& area) const;
  void rebuildImage();

  megcxc::host::ValueGrid grid_;
  megcxc::host::ColourScale scale_;
  megcxc::host::AxisLabelSource labels_;
  QImage image_;
  QString title_;
  QString valueName_;
  int64_t currentRow_ = -1;
  int64_t currentColumn_ = -1;
};
