// The colour maps of the dataset pictures: viridis (perceptually uniform,
// sequential) for values of one sign such as magnitudes, and a blue-white-red
// map (diverging, white at the centre) for signed values such as A-C.
// Each is a table of 256 colours; a position on a ColourScale picks one.
#pragma once

#include <array>

#include <QColor>
#include <QRgb>

#include "host/views.h"

namespace megcxc::ui {

using ColourTable = std::array<QRgb, 256>;

const ColourTable& viridisTable();
const ColourTable& divergingTable();
// The table that suits `scale` (diverging or sequential).
const ColourTable& tableFor(const megcxc::host::ColourScale& scale);

// Colour of a cell: the table entry at its position on `scale`; cells without
// a value (NaN) are drawn in kNoDataColour.
inline constexpr QRgb kNoDataColour = 0xFFBDBDBD;
inline QRgb colourOf(const ColourTable& table, const megcxc::host::ColourScale& scale, double v) {
  const double p = scale.position(v);
  if (!(p == p)) return kNoDataColour;
  return table[static_cast<std::size_t>(p * 255.0 + 0.5)];
}

}  // namespace megcxc::ui
