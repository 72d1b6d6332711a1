// The vector atan2 against long double atan2: within 1 ULP of the exact
// angle in every quadrant, over many scales and at the kernel's sector
// boundaries; infinities, NaN, signed zeros and subnormals as std::atan2
// gives them; and the same bits for a cell at every vector width and
// position, also next to lanes that take std::atan2.
#include "platform/vector_math.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

// |got - want| in units of the last place of want (a double).
double ulpError(double got, long double want) {
  if (want == 0) return got == 0 ? 0.0 : std::numeric_limits<double>::infinity();
  int exponent;
  std::frexp(static_cast<double>(want), &exponent);
  const long double ulp = std::fabs(want) < DBL_MIN ? std::numeric_limits<double>::denorm_min()
                                                    : std::ldexp(1.0L, exponent - 53);
  return static_cast<double>(std::fabs(static_cast<long double>(got) - want) / ulp);
}

// Normal pairs, magnitudes over 2^±200, angles near the kernel's sector
// boundaries (tan(pi/8), 1, tan(3pi/8)) and near the axes, in all quadrants.
void fillHardCases(std::vector<double>& y, std::vector<double>& x, unsigned seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  const double boundaries[3] = {0.41421356237309503, 1.0, 2.414213562373095};
  for (std::size_t i = 0; i < y.size(); ++i) {
    switch (i % 5) {
      case 0: y[i] = normal(rng), x[i] = normal(rng); break;
      case 1:
        y[i] = std::ldexp(unit(rng), static_cast<int>(unit(rng) * 200));
        x[i] = std::ldexp(unit(rng), static_cast<int>(unit(rng) * 200));
        break;
      case 2: x[i] = unit(rng), y[i] = x[i] * boundaries[i % 3] * (1 + unit(rng) * 1e-9); break;
      case 3: x[i] = unit(rng), y[i] = x[i] * unit(rng) * 1e-6; break;
      default: y[i] = unit(rng) * 1e-6, x[i] = unit(rng); break;
    }
    if (i % 7 == 3) std::swap(y[i], x[i]);
  }
}

TEST(VectorAtan2, StaysWithinOneUlpOfTheExactAngle) {
  const std::size_t n = 400003;  // not a multiple of any vector width
  std::vector<double> y(n), x(n), out(n);
  fillHardCases(y, x, 7);
  megcxc::atan2Cells(y.data(), x.data(), out.data(), n);
  double worst = 0;
  std::size_t at = 0;
  for (std::size_t i = 0; i < n; ++i) {
    // On platforms whose long double is a double the reference is only
    // std::atan2, itself up to about 1 ULP off.
    const long double want = std::atan2(static_cast<long double>(y[i]), static_cast<long double>(x[i]));
    const double e = ulpError(out[i], want);
    if (e > worst) worst = e, at = i;
  }
  EXPECT_LE(worst, LDBL_MANT_DIG > 53 ? 1.0 : 2.0) << "atan2(" << y[at] << ", " << x[at] << ")";
}

TEST(VectorAtan2, SpecialValuesGiveStdAtan2sResults) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> v = {0.0, -0.0, 1.0, -1.0, inf, -inf, 1e-310, -1e-310, 1e300, -1e-300};
  std::vector<double> y, x;
  for (double a : v)
    for (double b : v) y.push_back(a), x.push_back(b);
  std::vector<double> out(y.size());
  megcxc::atan2Cells(y.data(), x.data(), out.data(), y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double want = std::atan2(y[i], x[i]);
    EXPECT_LE(ulpError(out[i], want), 1.0) << "atan2(" << y[i] << ", " << x[i] << ")";
    EXPECT_EQ(std::signbit(out[i]), std::signbit(want)) << "atan2(" << y[i] << ", " << x[i] << ")";
  }
  const double ny[2] = {nan, 1.0}, nx[2] = {1.0, nan};
  double nout[2];
  megcxc::atan2Cells(ny, nx, nout, 2);
  EXPECT_TRUE(std::isnan(nout[0]) && std::isnan(nout[1]));
}

// Results must not depend on the processor, on how a pass splits its cells
// among threads, or on a special value in a neighbouring lane.
TEST(VectorAtan2, ACellGetsTheSameBitsAtEveryWidthAndPosition) {
  const std::size_t n = 4099;
  std::vector<double> y(n), x(n), whole(n);
  fillHardCases(y, x, 11);
  y[5] = std::numeric_limits<double>::infinity();  // a special lane among ordinary ones
  x[17] = 1e-310;
  megcxc::atan2Cells(y.data(), x.data(), whole.data(), n);
  for (int width : {8, 4}) {
    std::vector<double> at(n);
    if (!megcxc::atan2CellsAtWidth(width, y.data(), x.data(), at.data(), n)) continue;
    for (std::size_t i = 0; i < n; ++i) ASSERT_EQ(std::memcmp(&at[i], &whole[i], 8), 0) << "width " << width << " cell " << i;
  }
  for (std::size_t start = 0; start < 40; ++start) {
    double one;
    megcxc::atan2Cells(&y[start], &x[start], &one, 1);
    EXPECT_EQ(std::memcmp(&one, &whole[start], 8), 0) << start;
  }
  // In place: the result may overwrite its own input.
  std::vector<double> inPlace = y;
  megcxc::atan2Cells(inPlace.data(), x.data(), inPlace.data(), n);
  EXPECT_EQ(std::memcmp(inPlace.data(), whole.data(), n * 8), 0);
}

}  // namespace
