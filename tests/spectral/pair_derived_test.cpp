#include <cmath>
#include <memory>
#include <random>

#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

using PairDerived = PairTest;
using Array = std::unique_ptr<double[]>;

TEST_F(PairDerived, MagnitudePhaseAndPolarityWithAndWithoutImaginary) {
  fill(pair, {{3, -3, 0}}, {{4, 4, -4}});
  EXPECT_EQ(pair.computeMagnitude(), 2);
  EXPECT_EQ(cells(2), (Grid{{5, 5, 4}}));
  EXPECT_EQ(pair.computePhase(), 2);
  EXPECT_NEAR(pair.plane[2][0][0], 0.927295218, 1e-9);
  ASSERT_EQ(pair.setPolarity2Magnitude(1), 1);  // sign of the real part; NaN for 0
  EXPECT_TRUE(pair.plane[2][0][1] == -5.0 && std::isnan(pair.plane[2][0][2]));
  ASSERT_EQ(pair.setPolarity2Magnitude(2), 1);
  EXPECT_EQ(cells(2), (Grid{{5, 5, -4}}));
  ASSERT_EQ(pair.setPolarity2Magnitude(7), 1);
  EXPECT_EQ(cells(2), (Grid{{5, 5, 4}}));
  fill(pair, {{-2}});
  EXPECT_EQ(pair.computeMagnitude(), 1);
  EXPECT_EQ(pair.plane[2][0][0], 2.0);
  EXPECT_EQ(pair.computePhase(), 1);
  EXPECT_NEAR(pair.plane[2][0][0], -1.107148718, 1e-9);
  EXPECT_EQ(pair.setPolarity2Magnitude(2), 0);
  EXPECT_TRUE(pair.plane[2][0][0] == 2.0 && pair.plane[0][0][0] == -2.0);
}

TEST_F(PairDerived, ScaleAndFailuresChangeNothingElse) {
  fill(pair, {{1, 2}});
  EXPECT_EQ(pair.scaleSpctm(2.0, 3) + pair.scaleSpctm(2.0, 1), 0);
  EXPECT_EQ(pair.scaleSpctm(-2.0, 0), 1);
  EXPECT_TRUE(cells() == (Grid{{-2, -4}}) && pair.rawPlane[0][0][1] == 2.0);
  AllocationFailureScope fail(1);
  EXPECT_EQ(pair.computeMagnitude(), 0);
  EXPECT_TRUE(messages.only() == "Has enough memory?" && !pair.plane[2]);
}

TEST_F(PairDerived, StdOverTimeWrapsIntoShortArrayAndMatchesAPlainLoop) {
  fill(pair, {{1, 0, 5}, {1, 0, 5}, {3, 0, 5}, {3, 2, 5}});
  int64_t count = -1;
  Array sd(pair.getStdR_T1Fn(count));
  ASSERT_EQ(count, 3);
  EXPECT_TRUE(sd[0] == 1.0 && sd[1] == std::sqrt(0.75) && sd[2] == 0.0);
  count = 2;  // frequency 2 overwrites frequency 0
  sd.reset(pair.getStdR_T1Fn(count));
  EXPECT_TRUE(sd[0] == 0.0 && sd[1] == std::sqrt(0.75));
  count = -1;
  EXPECT_TRUE(!pair.getStdI_T1Fn(count) && count == 3);
  const int64_t T = 7, F = 600;
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> u(-1e3, 1e3);
  Grid g(T, std::vector<double>(F));
  for (auto& row : g)
    for (double& x : row) x = u(rng);
  fill(pair, g);
  count = F;
  sd.reset(pair.getStdR_T1Fn(count));
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
