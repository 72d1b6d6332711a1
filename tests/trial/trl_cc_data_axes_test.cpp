// Frequency axes (linear and geometric), the clamped selection box, the
// extents and the value ranges (all pairs, one row, one pair, the summary
// arrays; signed and absolute, with and without caches) of a trial dataset.
#include <gtest/gtest.h>

#include <limits>
#include <tuple>
#include <utility>

#include "trial/trial_helpers.h"

namespace {
using namespace megcxc::test;

// A linear axis 2.0, 2.5, ... capped at 40 Hz, 77 points; 10 time points.
struct TrialAxisTest : ::testing::Test {
  TrialAxisTest() { ds.freqFirstHz = 2.0, ds.freqStepHz = 0.5, ds.freqLastHz = 40.0, ds.freqPt = 77, ds.timePt = 10; }
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialAxisTest, LinearAndGeometricAxesConvertAndCap) {
  const struct { int64_t index; double hz; } toHz[] = {{0, 2.0}, {10, 7.0}, {500, 40.0}, {-3, -1.0}};
  for (const auto& row : toHz) EXPECT_EQ(ds.getSpctmFreq4FreqIndex(row.index), row.hz) << row.index;
  const struct { double hz; int64_t index; } toIndex[] = {{7.2, 10}, {1.0, 0}, {2.0, 0}, {45.0, 76}, {40.0, 76}};
  for (const auto& row : toIndex) EXPECT_EQ(ds.getSpctmFreqIndex4Freq(row.hz), row.index) << row.hz;
  double lo = -9, hi = -9;
  ds.selFreqBegin = ds.selFreqEnd = 5;  // one point: the band reaches the next point
  EXPECT_EQ(std::make_tuple(ds.getTrialSpctmSelectFreqHz(lo, hi), lo, hi), std::make_tuple(1, 4.5, 5.0));
  EXPECT_EQ(std::make_tuple(ds.getTrialSpctmGivenFreqID4Hz(76, 76, lo, hi), lo, hi), std::make_tuple(1, 40.0, 40.0));
  EXPECT_EQ(std::make_tuple(ds.getTrialSpctmGivenFreqID4Hz(6, 2, lo, hi), lo, hi), std::make_tuple(2, 5.0, 3.0));
  ds.freqPt = 0;
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(0), -1.0);
  // Geometric: one factor above the origin, then multiplied repeatedly; 8 is capped.
  ds.freqAxisLog = 1, ds.freqFirstHz = 1.0, ds.freqRatio = 2.0, ds.freqLastHz = 5.0, ds.freqPt = 77;
  EXPECT_EQ(std::make_pair(ds.getSpctmFreq4FreqIndex(0), ds.getSpctmFreq4FreqIndex(2)), std::make_pair(2.0, 5.0));
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(3.0), 4);  // still the linear rule: 2 / 0.5
}

// The getters normalise (time: the end rises; frequency: the end is clamped,
// then the begin falls); each setter row starts from the box {3, 4, 5, 6}.
TEST_F(TrialAxisTest, SelectionGettersNormaliseAndSettersClampKeepMinusOneAndKeepEEAboveBB) {
  const struct { bool time; Box from; int64_t count; Box want; } gets[] = {
      {true, {5, 2, 0, 0}, 1, {5, 5, 0, 0}},
      {true, {12, 3, 0, 0}, -2, {12, 9, 0, 0}},  // a begin beyond the axis stays
      {false, {0, 0, 5, 2}, 1, {0, 0, 2, 2}}, {false, {0, 0, -3, 200}, 77, {0, 0, 0, 76}},
      {false, {0, 0, 100, 90}, 1, {0, 0, 76, 76}}};
  for (const auto& row : gets) {
    setBox(ds, row.from);
    int64_t b = -1, e = -1;
    const int64_t n = row.time ? ds.getTrialSpctmSelectTime(b, e) : ds.getTrialSpctmSelectFreq(b, e);
    const size_t at = row.time ? 0 : 2;
    EXPECT_EQ(std::tie(n, b, e), std::make_tuple(row.count, row.want[at], row.want[at + 1]));
    EXPECT_EQ(box(ds), row.want);
  }
  using T = CSpctmTrlCCDatazq;
  const struct { char op; int64_t a, b; Box want; } sets[] = {
      {'T', -1, 7, {3, 7, 5, 6}},   {'T', -5, 10, {0, 9, 5, 6}},   {'T', 8, 2, {8, 2, 5, 6}},
      {'F', 77, -2, {3, 4, 76, 0}}, {'B', -7, 200, {0, 4, 76, 6}}, {'B', -1, 9, {3, 4, 9, 6}},
      {'E', 2, 3, {3, 3, 5, 5}},    {'E', 99, -1, {3, 9, 5, 6}}};
  for (const auto& row : sets) {
    setBox(ds, {3, 4, 5, 6});
    (ds.*(row.op == 'T'   ? &T::setTrialSpctmSelectTime
          : row.op == 'F' ? &T::setTrialSpctmSelectFreq
          : row.op == 'B' ? &T::setTrialSpctmSelectTimeFreqBB
                          : &T::setTrialSpctmSelectTimeFreqEE))(row.a, row.b);
    EXPECT_EQ(box(ds), row.want) << row.op << " " << row.a << " " << row.b;
  }
  ds.freqPt = 0;  // an empty axis clamps to -1
  ds.setTrialSpctmSelectFreq(4, -1);
  EXPECT_EQ(box(ds), (Box{3, 9, -1, -1}));
  // Extents and boxes at the ends of the range (a damaged file) saturate
  // instead of overflowing (UBSan checks the arithmetic in the sanitizer build).
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min(), kMax = std::numeric_limits<int64_t>::max();
  ds.timePt = ds.freqPt = kMin;
  setBox(ds, {kMax, 0, 0, kMax});
  int64_t b = 0, e = 0;
  EXPECT_EQ(ds.getTrialSpctmSelectTime(b, e), kMin + 1);
  EXPECT_TRUE(b == kMax && e == kMin);
  EXPECT_EQ(ds.getTrialSpctmSelectFreq(b, e), kMin + 1);
  EXPECT_TRUE(b == 0 && e == kMin);
  ds.freqFirstHz = 1.0, ds.freqLastHz = 2.0;
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(5.0), kMin);
}

TEST_F(TrialAxisTest, ExtentsReachTheSummariesWhichDropArraysOfOtherExtents) {
  ASSERT_EQ(ds.summaryByDataType[1].checkInit(10, 4), 1);
  EXPECT_EQ(ds.setSpctmTimePtFreqPt(10, 4, 2), 1);
  EXPECT_NE(ds.summaryByDataType[1].cellMin, nullptr);
  EXPECT_EQ(ds.setSpctmTimePtFreqPt(200, 40, 4), 1);
  for (const auto& s : ds.summaryByDataType)
    EXPECT_TRUE(s.timePtCount == 200 && s.freqPtCount == 40 && s.cellMax == nullptr && ds.timeStep == 4);
  EXPECT_EQ(ds.setTrialSpctmInfo(0, 0, -2.5, 9.0, 0, 0, 0, 1) + ds.setTrialSpctmInfo(0, 0, 1, 1, 0, 0, 0, 3), 2);
  EXPECT_TRUE(ds.summaryByDataType[1].minValue == -2.5 && ds.summaryByDataType[1].maxValue == 9.0);
  EXPECT_EQ(ds.summaryByDataType[2].minValue + ds.summaryByDataType[0].maxValue, 0.0);  // type 3: no summary
}

using R = std::tuple<int, double, double>;  // result, minimum, maximum

// A 2 x 2 dataset of 2 x 3 real planes; pair (r, c) holds (3 t + f - 2) times
// 1, -4, 3.5, 0.5 for the pairs (0,0), (0,1), (1,0), (1,1). Ranges by hand:
// row 0 -12 .. 8 (absolute 0 .. 12), row 1 -7 .. 10.5, all pairs -12 .. 10.5.
struct TrialRangeTest : ::testing::Test {
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

// The absolute cache ignores isComputed and survives cleaning the summary;
// the signed one is used only when computed.
TEST_F(TrialRangeTest, AllPairsUseTheAbsoluteCacheAlwaysAndTheSignedOneWhenComputed) {
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0)), R(1, 0, 0));  // never filled
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 0)), R(1, 0, 12));
  EXPECT_EQ(ds.pairMatrix[0][1].rangeMin, 0.0);  // pairs' caches untouched
  ds.summaryByDataType[0].cleanAll();
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 0, 0)), R(1, 0, 12));
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
  EXPECT_EQ(ds.summaryByDataType[0].absMaxValue, 12.0);  // still cached here
  ds._cleanSpctmCC();
  EXPECT_EQ(got(ds.getSpctmRange4AllChnlAbs(&mn, &mx, 1, 0)), R(1, 0, 0));
  EXPECT_EQ(ds.summaryByDataType[0].absMaxValue, 0.0);
}

// Rows: the current one for -1, others rejected, the summary left alone.
// Shows 1 to 3 read the summary arrays. Bad types and pointers fail.
TEST_F(TrialRangeTest, RowsShowsAndInvalidArguments) {
  ds.curActSns = 1;
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, -1)), R(1, -7, 10.5));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 0, 0, -1)), R(1, 0, 10.5));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 0, 0, 0)), R(1, 0, 12));
  EXPECT_EQ(ds.summaryByDataType[0].minValue, 0.0);
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArray(&mn, &mx, 1, 0, 7)), R(0, -1, 1));
  EXPECT_EQ(got(ds.getSpctmRange4ChnlArrayAbs(&mn, &mx, 1, 0, 2)), R(0, 0, 1));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 2, 0, 0, 2)), R(1, -1, 1));  // no arrays
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 1, 2, 0, 0, 4)), R(0, -1, 1));
  auto& s = ds.summaryByDataType[2];
  ASSERT_EQ(s.checkInit(2, 2), 1);
  s.cellMean[0][1] = -6.0, s.cellMean[1][0] = 2.5, s.cellMin[1][1] = -1.0, s.cellMax[0][0] = 3.0;
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 9, 9, 1)), R(1, -6, 2.5));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 9, 9, 1)), R(1, 0, 6));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShow(&mn, &mx, 0, 2, 0, 0, 2)), R(1, -1, 0));
  EXPECT_EQ(got(ds.getSpctmRange4OneChnlShowAbs(&mn, &mx, 0, 2, 0, 0, 3)), R(1, 0, 3));
  EXPECT_EQ(got(ds.getSpctmRange4AllChnl(&mn, &mx, 1, 3)), R(0, -1, 1));
  mn = 5.0;
  EXPECT_EQ(ds.getSpctmRange4AllChnlAbs(&mn, nullptr, 1, 0) + ds.getSpctmRange4ChnlChnl(nullptr, &mx, 1, 0, 0, 0), 0);
  EXPECT_EQ(mn, 0.0);
}

}  // namespace
