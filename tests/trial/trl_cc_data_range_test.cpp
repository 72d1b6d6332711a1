// Value ranges of a trial dataset over all pairs, one row, one pair and the
// summary arrays, signed and absolute, with and without their caches.
#include <gtest/gtest.h>

#include <tuple>

#include "trial/spctm_trl_cc_datazq.h"

namespace {

using R = std::tuple<int, double, double>;  // result, minimum, maximum

// A 2 x 2 dataset of 2 x 3 real planes; pair (r, c) holds (3 t + f - 2) times
// 1, -4, 3.5, 0.5 for the pairs (0,0), (0,1), (1,0), (1,1). Ranges by hand:
// row 0 -12 .. 8 (absolute 0 .. 12), row 1 -7 .. 10.5, all pairs -12 .. 10.5.
class TrialRangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 2, 3, true, 0, 0, nullptr, nullptr), 1);
    const double scale[] = {1, -4, 3.5, 0.5};
    for (int i = 0; i < 24; ++i)  // pair i / 6, cell i % 6 = 3 t + f
      ds.pairMatrix[i / 12][i / 6 % 2].plane[0][i / 3 % 2][i % 3] = (i % 6 - 2) * scale[i / 6];
  }
  // The result of a call that wrote into mn and mx, with what it wrote.
  R got(int result) const { return {result, mn, mx}; }
  CSpctmTrlCCDatazq ds;
  double mn = 7.0, mx = 7.0;
};

TEST_F(TrialRangeTest, SinglePairScansCachesAndClamps) {
  double** p = ds.pairMatrix[1][0].plane[0];
  p[0][0] = 5, p[0][1] = 1, p[0][2] = 2, p[1][0] = -7, p[1][1] = 4, p[1][2] = 0;
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnl(&mn, &mx, 0, 0, 1, 0)), R(1, 0, 0));  // never scanned
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, 1, 0)), R(1, -7, 5));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 0, 0, 1, 0)), R(1, 0, 7));
  p[0][0] = 100.0;
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 0, 1, 0, 0)), R(1, -7, 5));  // the cache
  // -1 is no current pair here, and nothing is clamped; a missing plane gives the starting values.
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, -1, 0)), R(0, -1, 1));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 0, 0, 2)), R(0, -1, 1));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnl(&mn, &mx, 1, 2, 0, 0)), R(1, -1, 1));
  // The absolute one resolves -1 to the current pair and clamps: pair (1, 1).
  ds.curActSns = 1, ds.curCxcSns = 1;
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, 0, -1, 9)), R(1, 0, 1.5));
  ds._cleanSpctmCC();
  EXPECT_EQ(got(ds.getSpctmRange4ChnlChnlAbs(&mn, &mx, 1, 0, 0, 0)), R(0, 0, 1));
}

TEST_F(TrialRangeTest, AllPairsUsesTheSignedCacheOnlyWhenComputed) {
  auto& s = ds.summaryByDataType[0];
  s.minValue = 11.0, s.maxValue = 22.0;
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 0, 0)), R(1, -12, 10.5));  // not computed: scans
  EXPECT_TRUE(s.minValue == -12 && s.maxValue == 10.5 && ds.pairMatrix[0][1].rangeMin == -12);
  s.isComputed = 1, s.minValue = 11.0, s.maxValue = 22.0;
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 0, 0)), R(1, 11, 22));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArray(&mn, &mx, 0, 0, 1)), R(1, 11, 22));  // dataset-wide cache
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 0)), R(1, -12, 10.5));
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 1)), R(1, 0, 0));  // no pair has the plane
  ASSERT_EQ(ds.pairMatrix[0][1].checkInitpctmSpace(2, 3, true, 1, 0), 1);
  ds.pairMatrix[0][1].plane[1][1][2] = -3.5;
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 1)), R(1, -3.5, 0));
}

TEST_F(TrialRangeTest, AbsoluteAllPairsCacheIgnoresIsComputedAndSurvivesCleaning) {
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0)), R(1, 0, 0));  // never filled
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 0)), R(1, 0, 12));
  EXPECT_EQ(ds.pairMatrix[0][1].rangeMin, 0.0);  // pairs' caches untouched
  ds.summaryByDataType[0].cleanAll();
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0)), R(1, 0, 12));
  ds._cleanSpctmCC();
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 0)), R(1, 0, 0));
  EXPECT_EQ(ds.summaryByDataType[0].absMaxValue, 0.0);
}

TEST_F(TrialRangeTest, RowRangesUseTheCurrentRowAndRejectOthers) {
  ds.curActSns = 1;
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, -1)), R(1, -7, 10.5));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 0, 0, -1)), R(1, 0, 10.5));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 0, 0, 0)), R(1, 0, 12));
  EXPECT_EQ(ds.summaryByDataType[0].minValue, 0.0);  // nothing written to the summary
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, 7)), R(0, -1, 1));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 1, 0, 2)), R(0, 0, 1));
}

TEST_F(TrialRangeTest, ShowsOneToThreeReadTheSummaryArrays) {
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 2, 0, 0, 2)), R(1, -1, 1));  // no arrays
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 2, 0, 0, 4)), R(0, -1, 1));
  auto& s = ds.summaryByDataType[2];
  ASSERT_EQ(s.checkInit(2, 2), 1);
  s.cellMean[0][1] = -6.0, s.cellMean[1][0] = 2.5, s.cellMin[1][1] = -1.0, s.cellMax[0][0] = 3.0;
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 9, 9, 1)), R(1, -6, 2.5));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 9, 9, 1)), R(1, 0, 6));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 0, 0, 2)), R(1, -1, 0));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 0, 0, 3)), R(1, 0, 3));
}

TEST_F(TrialRangeTest, InvalidDataTypeOrPointerFails) {
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 3)), R(0, -1, 1));
  mn = 5.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, nullptr, 1, 0) + ds.getSpctmRange4ChnlChnl(nullptr, &mx, 1, 0, 0, 0), 0);
  EXPECT_EQ(mn, 0.0);
}

}  // namespace
