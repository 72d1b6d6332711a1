// Frequency axes (linear and geometric) and the clamped selection box of a
// trial dataset.
#include <gtest/gtest.h>

#include "trial/spctm_trl_cc_datazq.h"

namespace {

class TrialAxisTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ds.freqFirstHz = 2.0;
    ds.freqStepHz = 0.5;
    ds.freqLastHz = 40.0;
    ds.freqPt = 77;
    ds.timePt = 10;
  }
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialAxisTest, LinearAxisConvertsBothWaysAndCaps) {
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(0), 2.0);
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(10), 7.0);
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(500), 40.0);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(7.2), 10);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(1.0), 0);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(2.0), 0);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(45.0), 76);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(40.0), 76);
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(-3), -1.0);
  ds.freqPt = 0;
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(0), -1.0);
}

TEST_F(TrialAxisTest, GeometricAxisStartsOneFactorAboveTheOrigin) {
  ds.freqAxisLog = 1;
  ds.freqFirstHz = 1.0;
  ds.freqRatio = 2.0;
  ds.freqLastHz = 1.0e6;
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(0), 2.0);
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(2), 8.0);
  EXPECT_EQ(ds.getSpctmFreqIndex4Freq(5.0), 8);  // still the linear rule: 4 / 0.5
  ds.freqLastHz = 5.0;
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(2), 5.0);

  ds.freqFirstHz = 3.0;
  ds.freqRatio = 1.1;
  ds.freqLastHz = 1.0e9;
  double f = 3.0;
  for (int k = 0; k <= 40; ++k) f *= 1.1;  // point 40 by repeated multiplication
  EXPECT_EQ(ds.getSpctmFreq4FreqIndex(40), f);
}

TEST_F(TrialAxisTest, BandOfOnePointReachesTheNextPoint) {
  ds.selFreqBegin = ds.selFreqEnd = 5;
  double lo = -9, hi = -9;
  EXPECT_EQ(ds.getTrialSpctmSelectFreqHz(lo, hi), 1);
  EXPECT_EQ(lo, 4.5);
  EXPECT_EQ(hi, 5.0);
  ds.selFreqBegin = ds.selFreqEnd = 76;
  EXPECT_EQ(ds.getTrialSpctmSelectFreqHz(lo, hi), 1);
  EXPECT_EQ(lo, 40.0);
  EXPECT_EQ(hi, 40.0);
  EXPECT_EQ(ds.getTrialSpctmGivenFreqID4Hz(6, 2, lo, hi), 2);
  EXPECT_EQ(lo, 5.0);
  EXPECT_EQ(hi, 3.0);
}

TEST_F(TrialAxisTest, SettersClampAndTreatMinusOneAsKeep) {
  ds.selTimeBegin = 3;
  ds.setTrialSpctmSelectTime(-1, 7);
  EXPECT_EQ(ds.selTimeBegin, 3);
  EXPECT_EQ(ds.selTimeEnd, 7);
  ds.setTrialSpctmSelectTime(-5, 70);
  EXPECT_EQ(ds.selTimeBegin, 0);
  EXPECT_EQ(ds.selTimeEnd, 9);
  ds.setTrialSpctmSelectTime(8, 2);  // not ordered
  EXPECT_EQ(ds.selTimeBegin, 8);
  EXPECT_EQ(ds.selTimeEnd, 2);

  ds.setTrialSpctmSelectFreq(90, -2);
  EXPECT_EQ(ds.selFreqBegin, 76);
  EXPECT_EQ(ds.selFreqEnd, 0);
  ds.freqPt = 0;
  ds.setTrialSpctmSelectFreq(4, -1);
  EXPECT_EQ(ds.selFreqBegin, -1);
  EXPECT_EQ(ds.selFreqEnd, -1);
}

TEST_F(TrialAxisTest, CornerEENeverGoesBelowCornerBB) {
  ds.setTrialSpctmSelectTimeFreqEE(1, 1);
  ds.setTrialSpctmSelectTimeFreqBB(4, 6);
  EXPECT_EQ(ds.selTimeEnd, 1);  // BB may pass EE
  ds.setTrialSpctmSelectTimeFreqEE(2, 3);
  int64_t t = 0, f = 0;
  ds.getTrialSpctmSelectTimeFreqEE(t, f);
  EXPECT_EQ(t, 4);
  EXPECT_EQ(f, 6);
  ds.setTrialSpctmSelectTimeFreqEE(99, -1);
  ds.getTrialSpctmSelectTimeFreqEE(t, f);
  EXPECT_EQ(t, 9);
  EXPECT_EQ(f, 6);
  ds.setTrialSpctmSelectTimeFreqBB(-7, 200);
  ds.getTrialSpctmSelectTimeFreqBB(t, f);
  EXPECT_EQ(t, 0);
  EXPECT_EQ(f, 76);
}

TEST_F(TrialAxisTest, NormalisingGettersMoveOppositeEnds) {
  int64_t b = -1, e = -1;
  ds.selTimeBegin = 5;
  ds.selTimeEnd = 2;
  EXPECT_EQ(ds.getTrialSpctmSelectTime(b, e), 1);
  EXPECT_EQ(b, 5);
  EXPECT_EQ(e, 5);
  EXPECT_EQ(ds.selTimeEnd, 5);
  ds.selTimeBegin = 12;
  ds.selTimeEnd = 3;
  EXPECT_EQ(ds.getTrialSpctmSelectTime(b, e), -2);  // a begin beyond the axis stays
  EXPECT_EQ(b, 12);
  EXPECT_EQ(e, 9);

  ds.selFreqBegin = 5;
  ds.selFreqEnd = 2;
  EXPECT_EQ(ds.getTrialSpctmSelectFreq(b, e), 1);
  EXPECT_EQ(b, 2);
  EXPECT_EQ(ds.selFreqBegin, 2);
  ds.selFreqBegin = -3;
  ds.selFreqEnd = 200;
  EXPECT_EQ(ds.getTrialSpctmSelectFreq(b, e), 77);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(e, 76);
}

TEST_F(TrialAxisTest, ExtentsReachTheSummariesWithoutArrays) {
  ASSERT_EQ(ds.summaryByDataType[1].checkInit(10, 4), 1);
  ds.summaryByDataType[1].isComputed = 1;
  EXPECT_EQ(ds.setSpctmTimePtFreqPt(10, 4, 2), 1);
  EXPECT_NE(ds.summaryByDataType[1].cellMin, nullptr);  // same extents: kept
  EXPECT_EQ(ds.setSpctmTimePtFreqPt(200, 40, 4), 1);
  EXPECT_EQ(ds.timeStep, 4);
  for (const auto& s : ds.summaryByDataType) {
    EXPECT_EQ(s.timePtCount, 200);
    EXPECT_EQ(s.freqPtCount, 40);
    EXPECT_EQ(s.cellMax, nullptr);
  }
}

TEST_F(TrialAxisTest, InfoAndTimeRangeSetters) {
  EXPECT_EQ(ds.setTrialSpctmInfo(0, 0, -2.5, 9.0, 0, 0, 0, 1), 1);
  EXPECT_EQ(ds.summaryByDataType[1].minValue, -2.5);
  EXPECT_EQ(ds.summaryByDataType[1].maxValue, 9.0);
  EXPECT_EQ(ds.setTrialSpctmInfo(0, 0, 1.0, 1.0, 0, 0, 0, 3), 1);
  EXPECT_EQ(ds.summaryByDataType[2].minValue, 0.0);
  EXPECT_EQ(ds.setTrialTimeDataRange4Spctm(100, 40), 1);
  EXPECT_EQ(ds.timeDataLength, -60);
}

}  // namespace
