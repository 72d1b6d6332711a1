// Drawing helpers shared by the dataset pictures: tick spacing, number
// labels and the colour bar beside a picture.
#pragma once

#include <cstdint>

#include <QRect>
#include <QString>

#include "ui/colour_maps.h"

class QPainter;

namespace megcxc::ui {

// Every how many grid points a tick goes so that ticks lie at least
// `minSpacing` pixels apart on cells of `cellSize` pixels: 1, 2 or 5 times a
// power of ten.
int64_t tickEvery(double cellSize, double minSpacing);
// A value as a tick or tooltip shows it: four significant digits.
QString numberText(double v);
// The colour bar in `bar` (low value at the bottom) with five ticks to its
// right and `title` above it.
void drawColourBar(QPainter& painter, const QRect& bar, const ColourTable& table,
                   const megcxc::host::ColourScale& scale, const QString& title);

}  // namespace megcxc::ui
