// The vector atan2 against glibc's: within 2 ULP everywhere (SLEEF's 1 ULP
// plus glibc's rounding), the same special values, and the same result for a
// cell whether it falls in a full vector or in the tail.
#include "platform/vector_math.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

int64_t ulpsApart(double a, double b) {
  int64_t ia, ib;
  std::memcpy(&ia, &a, 8);
  std::memcpy(&ib, &b, 8);
  if (ia < 0) ia = std::numeric_limits<int64_t>::min() - ia;
  if (ib < 0) ib = std::numeric_limits<int64_t>::min() - ib;
  return ia > ib ? ia - ib : ib - ia;
}

TEST(VectorAtan2, StaysWithinTwoUlpOfStdAtan2OverEveryQuadrantAndScale) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mant(-1.0, 1.0);
  std::uniform_int_distribution<int> expo(-300, 300);
  const std::size_t n = 100003;  // not a multiple of any vector width
  std::vector<double> y(n), x(n), out(n);
  for (std::size_t i = 0; i < n; ++i) {
    y[i] = std::ldexp(mant(rng), i % 4 == 0 ? expo(rng) : 0);
    x[i] = std::ldexp(mant(rng), i % 4 == 1 ? expo(rng) : 0);
  }
  megcxc::atan2Cells(y.data(), x.data(), out.data(), n);
  int64_t worst = 0;
  for (std::size_t i = 0; i < n; ++i) worst = std::max(worst, ulpsApart(out[i], std::atan2(y[i], x[i])));
  EXPECT_LE(worst, 2);
}

TEST(VectorAtan2, SignedZerosInfinitiesAndNanGiveStdAtan2sResults) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> v = {0.0, -0.0, 1.0, -1.0, inf, -inf, 1e-310, -1e-310};
  std::vector<double> y, x;
  for (double a : v)
    for (double b : v) y.push_back(a), x.push_back(b);
  std::vector<double> out(y.size());
  megcxc::atan2Cells(y.data(), x.data(), out.data(), y.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    const double want = std::atan2(y[i], x[i]);
    EXPECT_LE(ulpsApart(out[i], want), 1) << "atan2(" << y[i] << ", " << x[i] << ")";
    EXPECT_EQ(std::signbit(out[i]), std::signbit(want)) << "atan2(" << y[i] << ", " << x[i] << ")";
  }
  const double ny[2] = {nan, 1.0}, nx[2] = {1.0, nan};
  double nout[2];
  megcxc::atan2Cells(ny, nx, nout, 2);
  EXPECT_TRUE(std::isnan(nout[0]) && std::isnan(nout[1]));
}

TEST(VectorAtan2, ACellGetsTheSameResultInAFullVectorAndInTheTail) {
  std::vector<double> y(37), x(37), whole(37);
  for (int i = 0; i < 37; ++i) y[i] = std::sin(i * 0.7) * 3.0, x[i] = std::cos(i * 1.3) - 0.2;
  megcxc::atan2Cells(y.data(), x.data(), whole.data(), 37);
  for (std::size_t start = 0; start < 37; ++start) {
    double one;
    megcxc::atan2Cells(&y[start], &x[start], &one, 1);
    EXPECT_EQ(one, whole[start]) << start;
  }
}

}  // namespace
