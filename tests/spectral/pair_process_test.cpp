// Range, box reads and overwrites, normalisations and cell transforms of the
// working planes.
#include <cmath>
#include <limits>
#include <utility>

#include "platform/alloc_test_hook.h"
#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

const Grid kCells{{1, 5, 2}, {-4, 3, 0}};
using PairProcess = PairTest;

TEST_F(PairProcess, RangeIsCachedAndBoxReadsAndOverwritesClampIndices) {
  fill(pair, kCells);
  double lo = 9, hi = 9;
  EXPECT_TRUE(pair.getSpctmRange(&lo, &hi, 0, 1) == 0 && lo == 9.0);
  pair.plane[0][1][1] = std::nan("");
  EXPECT_TRUE(pair.getSpctmRange(&lo, &hi, 1, 0) == 1 && lo == -4.0 && hi == 5.0);
  pair.plane[0][0][0] = 100.0;
  EXPECT_TRUE(pair.getSpctmRange(&lo, &hi, 0, 0) == 1 && hi == 5.0);  // the cached range
  EXPECT_TRUE(pair.getSpctmRangeAbs(&lo, &hi, 0, 0) == 1 && lo == 0.0 && hi == 100.0 && pair.rangeMax == 5.0);
  fill(pair, kCells);
  EXPECT_EQ(pair.getSelectSpctmValue(-3, 99, 1, 1, 0), 4.0);
  EXPECT_EQ(pair.getSelectSpctmValue(1, 0, 0, 2, 0), 0.0);
  double value = -1;
  int64_t index = -1;
  EXPECT_TRUE(pair.getSelectSpctmValueX(0, 2, 2, 3, value, index, 0) == 2 && value == 2.0 && index == 2);
  EXPECT_EQ(pair.getSelectSpctmValueX(1, 0, 0, 0, value, index, 0) + index, 0);
  EXPECT_EQ(pair.getSpctmValue(-1, 3, 0), 2.0);  // an index at the extent is the last
  EXPECT_EQ(pair.getSpctmValue(0, 0, 1), 0.0);
  EXPECT_EQ(after(pair.cutSpctmTimeBlock(-5, 0, -1.0, 0)), (Grid{{-1, -1, -1}, {-4, 3, 0}}));
  EXPECT_EQ(after(pair.cutSpctmTimeBlock(3, 1, 7.0, 0)), (Grid{{-1, -1, -1}, {7, 7, 7}}));
  ASSERT_EQ(pair.cutSpctmFreqBlock(2, 3, 0.5, 0), 1);
  EXPECT_EQ(after(pair.cutSpctmSelect(0, 0, -2, 0, 9.0, 0)), (Grid{{9, -1, 0.5}, {7, 7, 0.5}}));
  EXPECT_EQ(pair.cutSpctmSelect(0, 1, 0, 1, 0, -1), 0);
}

TEST_F(PairProcess, NormalisationsAndCellTransforms) {
  fill(pair, kCells);
  pair.spctmAverage = 42.0;
  EXPECT_TRUE(pair.getSpctmFreqAverage(7, false, 0) == 42.0 && pair.getSpctmFreqAverage(7, true, 0) == 0.0);
  double* row0 = std::exchange(pair.plane[0][0], nullptr);
  EXPECT_EQ(pair.getSpctmFreqAverage(0, false, 0), 0.0);
  pair.plane[0][0] = row0;
  EXPECT_EQ(pair.globaleNormalSpctmFreq(1, 0.0, 0) + pair.globaleNormalSpctmFreq(3, 2.0, 0), 0);
  EXPECT_EQ(after(pair.globaleNormalSpctmFreq(1, 2.0, 0)), (Grid{{1, 2.5, 2}, {-4, 1.5, 0}}));
  fill(pair, {{std::nan(""), kInf, -kInf, -2.5}});
  EXPECT_EQ(after(pair.setSpctmNAN2zero(0)), (Grid{{0, 0, 0, -2.5}}));
  fill(pair, {{std::nan(""), 4, -4, 3}});
  const Grid cut = after(pair.cutSpctmDataExtrama(-3.0, 3.0, 8.0, 0));
  EXPECT_TRUE(std::isnan(cut[0][0]) && cut[0][1] == 8.0 && cut[0][2] == 8.0 && cut[0][3] == 3.0);
  fill(pair, {{1, 0, -1, 3}});
  const Grid logs = after(pair.transformSpctm2log(0));
  EXPECT_TRUE(logs[0][1] == -kInf && std::isnan(logs[0][2]) && logs[0][3] == std::log(3.0));
  fill(pair, {{1, 3}});
  EXPECT_EQ(after(pair.normSpctmValue2Shrt(10.0, 1.0, 0)), (Grid{{0, 20}}));
  const Grid g{{2, 4}, {3, 8}};
  auto strip = [&](int64_t begin, int64_t end, double factor) {
    fill(pair, g);
    return after(pair.rootStrip(begin, end, factor, 0));
  };
  EXPECT_EQ(strip(0, 1, 100.0), (Grid{{100, 100}, {150, 200}}));
  EXPECT_EQ(strip(5, 9, 1.0), (Grid{{2.0 / 3, 0.5}, {1, 1}}));  // begin past the clamped end: the last row
  EXPECT_EQ(strip(-5, 2, 1.0), (Grid{{2 / 2.5, 4 / 6.0}, {3 / 2.5, 8 / 6.0}}));
  fill(pair, g);
  EXPECT_EQ(pair.rootStrip(2, 2, 1.0, 0), 0);
  {
    AllocationFailureScope fail(1);
    EXPECT_EQ(pair.rootStrip(0, 1, 1.0, 0), 0);
    EXPECT_TRUE(messages.only() == "Not enough memory?!" && cells() == g);
  }
  fill(pair, {{2, 0, 1}, {4, 0, 3}});  // column means 3, 0 (left as it is), 2
  EXPECT_EQ(after(pair.normalizeSpctm4FreqX(0.0, 0)), (Grid{{2.0 / 3, 0, 0.5}, {4.0 / 3, 0, 1.5}}));
}

}  // namespace
}  // namespace megcxc::test
