// Frequency axes (linear and geometric) and the clamped selection box of a
// trial dataset.
#include <gtest/gtest.h>

#include <array>
#include <tuple>

#include "trial/spctm_trl_cc_datazq.h"

namespace {

using Box = std::array<int64_t, 4>;  // time begin, time end, freq begin, freq end

// A linear axis 2.0, 2.5, ... capped at 40 Hz, 77 points; 10 time points.
class TrialAxisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.freqFirstHz = 2.0, ds.freqStepHz = 0.5, ds.freqLastHz = 40.0, ds.freqPt = 77, ds.timePt = 10;
  }
  Box box() const { return {ds.selTimeBegin, ds.selTimeEnd, ds.selFreqBegin, ds.selFreqEnd}; }
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialAxisTest, LinearAxisConvertsBothWaysAndCaps) {
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
}

TEST_F(TrialAxisTest, GeometricAxisStartsOneFactorAboveTheOriginAndMultipliesRepeatedly) {
  ds.freqAxisLog = 1, ds.freqFirstHz = 1.0, ds.freqRatio = 2.0, ds.freqLastHz = 5.0;
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(0), 2.0);
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(2), 5.0);  // 8 capped
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(3.0), 4);  // still the linear rule: 2 / 0.5
  ds.freqFirstHz = 3.0, ds.freqRatio = 1.1, ds.freqLastHz = 1.0e9;
  double f = 3.0;
  for (int k = 0; k <= 40; ++k) f *= 1.1;  // differs from 3 * pow(1.1, 41) in the last bits
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(40), f);
}

// Each row starts from the box {3, 4, 5, 6} and applies one setter.
TEST_F(TrialAxisTest, SettersClampTreatMinusOneAsKeepAndKeepEEAboveBB) {
  enum Op { kTime, kFreq, kBB, kEE };
  const struct { Op op; int64_t a, b; Box want; } rows[] = {
      {kTime, -1, 7, {3, 7, 5, 6}},   {kTime, -5, 10, {0, 9, 5, 6}}, {kTime, 8, 2, {8, 2, 5, 6}},
      {kFreq, 77, -2, {3, 4, 76, 0}}, {kBB, -7, 200, {0, 4, 76, 6}}, {kBB, -1, 9, {3, 4, 9, 6}},
      {kEE, 2, 3, {3, 3, 5, 5}},      {kEE, 99, -1, {3, 9, 5, 6}},
  };
  for (const auto& row : rows) {
    ds.selTimeBegin = 3, ds.selTimeEnd = 4, ds.selFreqBegin = 5, ds.selFreqEnd = 6;
    if (row.op == kTime) ds.setTrialSpctmSelectTime(row.a, row.b);
    if (row.op == kFreq) ds.setTrialSpctmSelectFreq(row.a, row.b);
    if (row.op == kBB) ds.setTrialSpctmSelectTimeFreqBB(row.a, row.b);
    if (row.op == kEE) ds.setTrialSpctmSelectTimeFreqEE(row.a, row.b);
    EXPECT_EQ(box(), row.want) << row.op << " " << row.a << " " << row.b;
  }
  ds.freqPt = 0;  // an empty axis clamps to -1
  ds.setTrialSpctmSelectFreq(4, -1);
  EXPECT_EQ(box(), (Box{3, 9, -1, -1}));
}

TEST_F(TrialAxisTest, NormalisingGettersMoveOppositeEnds) {
  const struct { bool time; int64_t b, e, count; Box want; } rows[] = {
      {true, 5, 2, 1, {5, 5, 0, 0}},     // the time getter raises the end
      {true, 12, 3, -2, {12, 9, 0, 0}},  // a begin beyond the axis stays
      {false, 5, 2, 1, {0, 0, 2, 2}},    // the frequency getter lowers the begin
      {false, -3, 200, 77, {0, 0, 0, 76}},
      {false, 100, 90, 1, {0, 0, 76, 76}},  // the end is clamped first
  };
  for (const auto& row : rows) {
    ds.selTimeBegin = ds.selTimeEnd = ds.selFreqBegin = ds.selFreqEnd = 0;
    (row.time ? ds.selTimeBegin : ds.selFreqBegin) = row.b;
    (row.time ? ds.selTimeEnd : ds.selFreqEnd) = row.e;
    int64_t b = -1, e = -1;
    EXPECT_EQ(row.time ? ds.getTrialSpctmSelectTime(b, e) : ds.getTrialSpctmSelectFreq(b, e), row.count);
    EXPECT_EQ(box(), row.want);
    EXPECT_EQ(b * 100 + e, row.time ? row.want[0] * 100 + row.want[1] : row.want[2] * 100 + row.want[3]);
  }
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

}  // namespace
