#include <cmath>
#include <memory>
#include <random>

#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

using PairDerived = PairTest;
struct ArrayDelete {
  void operator()(double* p) const { delete[] p; }
};
using Array = std::unique_ptr<double[], ArrayDelete>;

TEST_F(PairDerived, MagnitudeAndPhaseWithAndWithoutImaginary) {
  fill(pair, {{3}}, {{4}});
  EXPECT_EQ(pair.computeMagnitude(), 2);
  EXPECT_EQ(pair.plane[2][0][0], 5.0);
  EXPECT_EQ(pair.computePhase(), 2);
  EXPECT_NEAR(pair.plane[2][0][0], 0.927295218, 1e-9);
  fill(pair, {{-2}});
  EXPECT_EQ(pair.computeMagnitude(), 1);
  EXPECT_EQ(pair.plane[2][0][0], 2.0);
  EXPECT_EQ(pair.computePhase(), 1);
  EXPECT_NEAR(pair.plane[2][0][0], -1.107148718, 1e-9);
  EXPECT_EQ(pair.plane[0][0][0], -2.0);
}

TEST_F(PairDerived, PolarityTakesSignOfChosenPart) {
  fill(pair, {{-3, 0}}, {{4, -4}});
  ASSERT_EQ(pair.setPolarity2Magnitude(1), 1);
  EXPECT_EQ(pair.plane[2][0][0], -5.0);
  EXPECT_TRUE(std::isnan(pair.plane[2][0][1]));
  ASSERT_EQ(pair.setPolarity2Magnitude(2), 1);
  EXPECT_EQ(grid(pair.plane[2], 1, 2), (Grid{{5, -4}}));
  ASSERT_EQ(pair.setPolarity2Magnitude(7), 1);
  EXPECT_EQ(pair.plane[2][0][1], 4.0);
  fill(pair, {{-3}});
  EXPECT_EQ(pair.setPolarity2Magnitude(2), 0);
  EXPECT_EQ(pair.plane[2][0][0], 3.0);
}

TEST_F(PairDerived, FailuresChangeNothing) {
  fill(pair, {{1, 2}});
  EXPECT_EQ(pair.scaleSpctm(2.0, 3), 0);
  EXPECT_EQ(pair.scaleSpctm(2.0, 1), 0);
  EXPECT_EQ(pair.scaleSpctm(-2.0, 0), 1);
  EXPECT_EQ(real(), (Grid{{-2, -4}}));
  EXPECT_EQ(pair.rawPlane[0][0][1], 2.0);
  AllocationFailureScope fail(1);
  EXPECT_EQ(pair.computeMagnitude(), 0);
  EXPECT_EQ(messages.only(), "Has enough memory?");
  EXPECT_EQ(pair.plane[2], nullptr);
}

TEST_F(PairDerived, StdOverTimeWrapsIntoShortArray) {
  fill(pair, {{1, 0, 5}, {1, 0, 5}, {3, 0, 5}, {3, 2, 5}});
  int64_t count = -1;
  Array sd(pair.getStdR_T1Fn(count));
  ASSERT_EQ(count, 3);
  EXPECT_EQ(sd[0], 1.0);
  EXPECT_DOUBLE_EQ(sd[1], std::sqrt(0.75));
  EXPECT_EQ(sd[2], 0.0);
  count = 2;
  sd.reset(pair.getStdR_T1Fn(count));
  EXPECT_EQ(sd[0], 0.0);
  EXPECT_DOUBLE_EQ(sd[1], std::sqrt(0.75));
  count = 0;
  EXPECT_EQ(pair.getStdX_T1Fn(count), nullptr);
  EXPECT_EQ(count, 0);
  count = -1;
  EXPECT_EQ(pair.getStdI_T1Fn(count), nullptr);
  EXPECT_EQ(count, 3);
}

TEST_F(PairDerived, StdMatchesPlainLoopBitForBitAcrossManyFrequencies) {
  const int64_t T = 7, F = 600;
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1e3, 1e3);
  Grid g(T, std::vector<double>(F));
  for (auto& row : g)
    for (double& x : row) x = u(rng);
  fill(pair, g);
  int64_t count = F;
  Array sd(pair.getStdR_T1Fn(count));
  for (int64_t f = 0; f < F; ++f) {
    double sum = 0.0, dev = 0.0;
    for (int64_t t = 0; t < T; ++t) sum += g[t][f];
    const double mean = sum / T;
    for (int64_t t = 0; t < T; ++t) dev += (g[t][f] - mean) * (g[t][f] - mean);
    ASSERT_EQ(sd[f], std::sqrt(dev / T)) << f;
  }
}

}  // namespace
}  // namespace megcxc::test
