// Value ranges of a trial dataset over all pairs, one row, one pair and the
// summary arrays, signed and absolute, with and without their caches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "trial/spctm_trl_cc_datazq.h"

namespace {

// A 2 x 2 dataset of 2 x 3 real planes; pair (r, c) holds cell values
// (t * 3 + f - 2) * (r * 2 + c + 1), so the pairs differ in range and sign.
class TrialRangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 2, 3, true, 0, 0, nullptr, nullptr), 1);
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 2; ++c)
        for (int t = 0; t < 2; ++t)
          for (int f = 0; f < 3; ++f) ds.pairMatrix[r][c].plane[0][t][f] = cell(r, c, t, f);
  }
  static double cell(int r, int c, int t, int f) { return (t * 3 + f - 2) * (r * 2 + c + 1.0); }
  // Reference range over the given rows by a plain loop.
  static void reference(int rowFrom, int rowTo, bool absolute, double& lo, double& hi) {
    lo = 1e300;
    hi = -1e300;
    for (int r = rowFrom; r <= rowTo; ++r)
      for (int c = 0; c < 2; ++c)
        for (int t = 0; t < 2; ++t)
          for (int f = 0; f < 3; ++f) {
            const double v = absolute ? std::fabs(cell(r, c, t, f)) : cell(r, c, t, f);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
          }
  }
  void expectRange(double lo, double hi) {
    EXPECT_EQ(mn, lo);
    EXPECT_EQ(mx, hi);
  }
  CSpctmTrlCCDatazq ds;
  double mn = 0.0, mx = 0.0;
};

TEST_F(TrialRangeTest, SinglePairScansAndCaches) {
  double** p = ds.pairMatrix[1][0].plane[0];
  const double rows[2][3] = {{5, 1, 2}, {-7, 4, 0}};
  for (int t = 0; t < 2; ++t) std::copy(rows[t], rows[t] + 3, p[t]);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 0, 0, 1, 0), 1);  // never scanned
  expectRange(0.0, 0.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, 1, 0), 1);
  expectRange(-7.0, 5.0);
  EXPECT_EQ(ds.pairMatrix[1][0].rangeMin, -7.0);
  p[0][0] = 100.0;
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 0, 1, 0, 0), 1);
  expectRange(-7.0, 5.0);  // the cache, not the changed plane
  EXPECT_EQ(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 0, 0, 1, 0), 1);
  expectRange(0.0, 100.0);
}

TEST_F(TrialRangeTest, SinglePairIndexRules) {
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, -1, 0), 0);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, 0, 2), 0);
  expectRange(-1.0, 1.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 2, 0, 0), 1);  // no power/phase plane
  expectRange(-1.0, 1.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 3, 0, 0), 1);
  expectRange(-1.0, 1.0);
  ds.curActSns = 1;
  ds.curCxcSns = 1;
  EXPECT_EQ(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, 0, -1, 9), 1);  // pair (1, 1)
  expectRange(0.0, 3.0 * 4);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, 3, 0, 0), 1);
  expectRange(0.0, 1.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlChnl(nullptr, &mx, 1, 0, 0, 0), 0);
  ds._cleanSpctmCC();
  EXPECT_EQ(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, 0, 0, 0), 0);
}

TEST_F(TrialRangeTest, AllPairsUsesTheSummaryOnlyWhenComputed) {
  double lo, hi;
  reference(0, 1, false, lo, hi);
  auto& s = ds.summaryByDataType[0];
  s.minValue = 11.0;
  s.maxValue = 22.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 0, 0), 1);  // not computed: scans
  expectRange(lo, hi);
  EXPECT_EQ(s.minValue, lo);
  EXPECT_EQ(ds.pairMatrix[1][1].rangeMax, 4.0 * 3);
  s.isComputed = 1;
  s.minValue = 11.0;
  s.maxValue = 22.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 0, 0), 1);
  expectRange(11.0, 22.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlArray(&mn, &mx, 0, 0, 1), 1);  // dataset-wide cache
  expectRange(11.0, 22.0);
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 0), 1);
  expectRange(lo, hi);
}

TEST_F(TrialRangeTest, AllPairsSkipsPairsWithoutThePlane) {
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 1), 1);  // no pair has one
  expectRange(0.0, 0.0);
  ASSERT_EQ(ds.pairMatrix[0][1].checkInitpctmSpace(2, 3, true, 1, 0), 1);
  ds.pairMatrix[0][1].plane[1][1][2] = -3.5;
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 1), 1);
  expectRange(-3.5, 0.0);
  ds._cleanSpctmCC();
  ds.summaryByDataType[0].maxValue = 5.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 0), 1);
  expectRange(0.0, 0.0);
  EXPECT_EQ(ds.summaryByDataType[0].maxValue, 0.0);
}

TEST_F(TrialRangeTest, AbsoluteAllPairsCacheIgnoresIsComputed) {
  double lo, hi;
  reference(0, 1, true, lo, hi);
  auto& s = ds.summaryByDataType[0];
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0), 1);
  expectRange(0.0, 0.0);  // the never-filled cache
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 0), 1);
  expectRange(lo, hi);
  EXPECT_EQ(s.absMaxValue, hi);
  EXPECT_EQ(ds.pairMatrix[0][0].rangeMax, 0.0);  // pairs' caches untouched
  s.cleanAll();
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0), 1);
  expectRange(lo, hi);
}

TEST_F(TrialRangeTest, RowRangesUseTheCurrentRowAndRejectOthers) {
  double lo, hi;
  reference(1, 1, false, lo, hi);
  ds.curActSns = 1;
  EXPECT_EQ(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, -1), 1);
  expectRange(lo, hi);
  EXPECT_EQ(ds.summaryByDataType[0].minValue, 0.0);  // nothing written to the summary
  reference(1, 1, true, lo, hi);
  EXPECT_EQ(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 0, 0, -1), 1);
  expectRange(lo, hi);
  EXPECT_EQ(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, 7), 0);
  expectRange(-1.0, 1.0);
  EXPECT_EQ(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 1, 0, 2), 0);
  expectRange(0.0, 1.0);
}

TEST_F(TrialRangeTest, ShowsOneToThreeReadTheSummaryArrays) {
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 0, 0, 0, 2), 1);  // no arrays
  expectRange(-1.0, 1.0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 0, 0, 0, 4), 0);
  auto& s = ds.summaryByDataType[2];
  ASSERT_EQ(s.checkInit(2, 2), 1);
  s.cellMean[0][1] = -6.0;
  s.cellMean[1][0] = 2.5;
  s.cellMin[1][1] = -1.0;
  s.cellMax[0][0] = 3.0;
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 9, 9, 1), 1);
  expectRange(-6.0, 2.5);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 9, 9, 1), 1);
  expectRange(0.0, 6.0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 0, 0, 2), 1);
  expectRange(-1.0, 0.0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 0, 0, 3), 1);
  expectRange(0.0, 3.0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 1, 0, 1, 1, 0), 1);  // pair (1, 1)
  expectRange(0.0, 3.0 * 4);
}

TEST_F(TrialRangeTest, InvalidDataTypeFailsExceptForSinglePairs) {
  EXPECT_EQ(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 3), 0);
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 3), 0);
  EXPECT_EQ(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 3, 0), 0);
  EXPECT_EQ(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 1, 3, 0), 0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 3, 0, 0, 1), 0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 1, 3, 0, 0, 1), 0);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 3, 0, 0, 0), 1);
  EXPECT_EQ(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 1, 3, 0, 0, 0), 1);
  expectRange(0.0, 1.0);
  mn = 5.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, nullptr, 1, 0), 0);
  EXPECT_EQ(mn, 0.0);
}

}  // namespace
