#include <cmath>
#include <limits>
#include <random>

#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

class PairProcess : public PairTest {
 protected:
  void SetUp() override { fill(pair, {{1, 5, 2}, {-4, 3, 0}}); }
};

TEST_F(PairProcess, RangeIsCachedUntilRecomputed) {
  double lo = 9, hi = 9;
  EXPECT_TRUE(pair.getSpctmRange(&lo, &hi, 0, 1) == 0 && lo == 9.0);
  pair.plane[0][1][1] = std::nan("");
  ASSERT_EQ(pair.getSpctmRange(&lo, &hi, 1, 0), 1);
  EXPECT_TRUE(lo == -4.0 && hi == 5.0);
  pair.plane[0][0][0] = 100.0;
  ASSERT_EQ(pair.getSpctmRange(&lo, &hi, 0, 0), 1);
  EXPECT_EQ(hi, 5.0);
  ASSERT_EQ(pair.getSpctmRangeAbs(&lo, &hi, 0, 0), 1);
  EXPECT_TRUE(lo == 0.0 && hi == 100.0 && pair.rangeMax == 5.0);
}

TEST_F(PairProcess, BoxReadsAndOverwritesClampIndices) {
  EXPECT_EQ(pair.getSelectSpctmValue(-3, 99, 1, 1, 0), 4.0);
  EXPECT_EQ(pair.getSelectSpctmValue(1, 0, 0, 2, 0), 0.0);
  double value = -1;
  int64_t index = -1;
  EXPECT_EQ(pair.getSelectSpctmValueX(0, 2, 2, 3, value, index, 0), 2);
  EXPECT_TRUE(value == 2.0 && index == 2);
  EXPECT_EQ(pair.getSelectSpctmValueX(1, 0, 0, 0, value, index, 0) + index, 0);
  EXPECT_EQ(pair.getSpctmValue(-1, 3, 0), 2.0);  // an index at the extent is the last
  EXPECT_EQ(pair.getSpctmValue(0, 0, 1), 0.0);
  ASSERT_EQ(pair.cutSpctmTimeBlock(-5, 0, -1.0, 0), 1);
  EXPECT_EQ(cells(), (Grid{{-1, -1, -1}, {-4, 3, 0}}));
  ASSERT_EQ(pair.cutSpctmTimeBlock(3, 1, 7.0, 0), 1);
  EXPECT_EQ(cells(), (Grid{{-1, -1, -1}, {7, 7, 7}}));
  ASSERT_EQ(pair.cutSpctmFreqBlock(2, 3, 0.5, 0), 1);
  ASSERT_EQ(pair.cutSpctmSelect(0, 0, -2, 0, 9.0, 0), 1);
  EXPECT_EQ(cells(), (Grid{{9, -1, 0.5}, {7, 7, 0.5}}));
  EXPECT_EQ(pair.cutSpctmSelect(0, 1, 0, 1, 0, -1), 0);
}

TEST_F(PairProcess, RootStripDividesByClampedWindowMean) {
  const Grid g{{2, 4}, {3, 8}};
  auto strip = [&](int64_t begin, int64_t end, double factor) {
    fill(pair, g);
    EXPECT_EQ(pair.rootStrip(begin, end, factor, 0), 1);
    return cells();
  };
  EXPECT_EQ(strip(0, 1, 100.0), (Grid{{100, 100}, {150, 200}}));
  EXPECT_EQ(strip(5, 9, 1.0), (Grid{{2.0 / 3, 0.5}, {1, 1}}));  // begin past the clamped end: the last row
  EXPECT_EQ(strip(-5, 2, 1.0), (Grid{{2 / 2.5, 4 / 6.0}, {3 / 2.5, 8 / 6.0}}));
  fill(pair, g);
  EXPECT_EQ(pair.rootStrip(2, 2, 1.0, 0), 0);
  AllocationFailureScope fail(1);
  EXPECT_EQ(pair.rootStrip(0, 1, 1.0, 0), 0);
  EXPECT_TRUE(messages.only() == "Not enough memory?!" && cells() == g);
}

TEST_F(PairProcess, CellTransforms) {
  fill(pair, {{std::nan(""), kInf, -kInf, -2.5}});
  ASSERT_EQ(pair.setSpctmNAN2zero(0), 1);
  EXPECT_EQ(cells(), (Grid{{0, 0, 0, -2.5}}));
  fill(pair, {{std::nan(""), 4, -4, 3}});
  ASSERT_EQ(pair.cutSpctmDataExtrama(-3.0, 3.0, 8.0, 0), 1);
  EXPECT_TRUE(std::isnan(pair.plane[0][0][0]) && pair.plane[0][0][1] == 8.0);
  EXPECT_TRUE(pair.plane[0][0][2] == 8.0 && pair.plane[0][0][3] == 3.0);
  fill(pair, {{1, 0, -1, 3}});
  ASSERT_EQ(pair.transformSpctm2log(0), 1);
  EXPECT_TRUE(pair.plane[0][0][1] == -kInf && std::isnan(pair.plane[0][0][2]) && pair.plane[0][0][3] == std::log(3.0));
  fill(pair, {{1, 3}});
  ASSERT_EQ(pair.normSpctmValue2Shrt(10.0, 1.0, 0), 1);
  EXPECT_EQ(cells(), (Grid{{0, 20}}));
}

TEST_F(PairProcess, FrequencyAverageAndColumnDivision) {
  pair.spctmAverage = 42.0;
  EXPECT_EQ(pair.getSpctmFreqAverage(7, false, 0), 42.0);
  EXPECT_EQ(pair.getSpctmFreqAverage(7, true, 0), 0.0);
  double* row0 = pair.plane[0][0];
  pair.plane[0][0] = nullptr;
  EXPECT_EQ(pair.getSpctmFreqAverage(0, false, 0), 0.0);
  pair.plane[0][0] = row0;
  EXPECT_EQ(pair.globaleNormalSpctmFreq(1, 0.0, 0) + pair.globaleNormalSpctmFreq(3, 2.0, 0), 0);
  ASSERT_EQ(pair.globaleNormalSpctmFreq(1, 2.0, 0), 1);
  EXPECT_EQ(cells(), (Grid{{1, 2.5, 2}, {-4, 1.5, 0}}));
}

TEST_F(PairProcess, PerFrequencyMeansMatchPlainLoopBitForBit) {
  const int64_t T = 9, F = 700;
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> u(-5, 50);
  Grid g(T, std::vector<double>(F)), expected = g;
  for (auto& row : g)
    for (double& x : row) x = u(rng);
  for (auto& row : g) row[3] = 0.0;  // a zero-mean column stays as it is
  fill(pair, g);
  for (int64_t f = 0; f < F; ++f) {
    double mean = 0.0;
    for (int64_t t = 0; t < T; ++t) mean += g[t][f] / T;
    ASSERT_EQ(pair.getSpctmFreqAverage(f, true, 0), mean);
    for (int64_t t = 0; t < T; ++t) expected[t][f] = mean != 0.0 ? g[t][f] / mean : g[t][f];
  }
  ASSERT_EQ(pair.normalizeSpctm4FreqX(0.0, 0), 1);
  EXPECT_EQ(cells(), expected);
}

}  // namespace
}  // namespace megcxc::test
