#include "ui/colour_maps.h"

#include <cstddef>

namespace megcxc::ui {

namespace {

// Evenly spaced anchors of a map, interpolated linearly in RGB.
template <std::size_t N>
ColourTable interpolate(const QRgb (&anchors)[N]) {
  ColourTable table{};
  for (std::size_t i = 0; i < table.size(); ++i) {
    const double x = static_cast<double>(i) / 255.0 * static_cast<double>(N - 1);
    std::size_t k = static_cast<std::size_t>(x);
    if (k >= N - 1) k = N - 2;
    const double w = x - static_cast<double>(k);
    auto mix = [&](int a, int b) { return static_cast<int>(a + (b - a) * w + 0.5); };
    table[i] = qRgb(mix(qRed(anchors[k]), qRed(anchors[k + 1])), mix(qGreen(anchors[k]), qGreen(anchors[k + 1])),
                    mix(qBlue(anchors[k]), qBlue(anchors[k + 1])));
  }
  return table;
}

// Viridis at 0, 1/8, ..., 1.
constexpr QRgb kViridis[] = {0x440154, 0x472d7b, 0x3b528b, 0x2c728e, 0x21918c,
                             0x28ae80, 0x5ec962, 0xaddc30, 0xfde725};
// Blue (negative) through white (0) to red (positive), at 0, 0.1, ..., 1.
constexpr QRgb kDiverging[] = {0x053061, 0x2166ac, 0x4393c3, 0x92c5de, 0xd1e5f0, 0xf7f7f7,
                               0xfddbc7, 0xf4a582, 0xd6604d, 0xb2182b, 0x67001f};

}  // namespace

const ColourTable& viridisTable() {
  static const ColourTable table = interpolate(kViridis);
  return table;
}

const ColourTable& divergingTable() {
  static const ColourTable table = interpolate(kDiverging);
  return table;
}

const ColourTable& tableFor(const megcxc::host::ColourScale& scale) {
  return scale.diverging ? divergingTable() : viridisTable();
}

}  // namespace megcxc::ui
