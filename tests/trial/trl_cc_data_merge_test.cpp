// The trial dataset's final layer: copying parameters, adding datasets and
// collapsing every pair over time, frequency or both.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

class TrialMergeTest : public ::testing::Test {
 protected:
  void SetUp() override { megcxc::setAllocationFailureAt(0); }

  // A rows x cols dataset of t x f pairs whose cell [t][f] of plane d at pair
  // (r, c) holds t + 10 f + 100 d + 1000 (3 r + c); pairs carry sensor ids and
  // a tag.
  static void build(CSpctmTrlCCDatazq& d, int64_t rows, int64_t cols, int64_t t, int64_t f,
                    int withImag, int withPP) {
    ASSERT_EQ(d.checkInitSpctmCCData(rows, cols, t, f, true, withImag, withPP, nullptr, nullptr),
              1);
    d.setSpctmTimePtFreqPt(t, f, 1);
    d.hasImagPlane = withImag;
    d.hasPowerPhasePlane = withPP;
    for (int64_t r = 0; r < rows; ++r)
      for (int64_t c = 0; c < cols; ++c) {
        CSpctmChnChnDatazq& p = d.pairMatrix[r][c];
        p.chnA = r;
        p.chnB = 10 + c;
        p.userTag = static_cast<int>(100 + 3 * r + c);
        for (int k = 0; k < 3; ++k)
          if (p.plane[k] != nullptr)
            for (int64_t i = 0; i < t; ++i)
              for (int64_t j = 0; j < f; ++j)
                p.plane[k][i][j] = double(i) + 10.0 * j + 100.0 * k + 1000.0 * (3 * r + c);
      }
  }

  megcxc::test::MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialMergeTest, TimeCollapseAveragesEveryFrequencyAndKeepsPairIdentity) {
  build(ds, 2, 3, 4, 5, 0, 0);
  ds.selTimeBegin = 1, ds.selTimeEnd = 3, ds.selFreqBegin = 2, ds.selFreqEnd = 4;
  ASSERT_EQ(ds.accumulateTime1(), 1);
  EXPECT_EQ(ds.timePt, 1);
  EXPECT_EQ(ds.freqPt, 5);
  EXPECT_EQ(ds.selTimeBegin + ds.selTimeEnd, 0);
  EXPECT_EQ(ds.selFreqBegin, 2);
  const CSpctmChnChnDatazq& p = ds.pairMatrix[1][2];
  ASSERT_EQ(p.timePt, 1);
  ASSERT_EQ(p.freqPt, 5);
  for (int f = 0; f < 5; ++f) EXPECT_EQ(p.plane[0][0][f], 1.5 + 10.0 * f + 5000.0);
  EXPECT_EQ(p.plane[1], nullptr);  // no imaginary plane announced, none made
  EXPECT_EQ(p.chnA, 1);
  EXPECT_EQ(p.chnB, 12);
  EXPECT_EQ(p.userTag, 105);
  ASSERT_NE(p.rawPlane[0], nullptr);
  EXPECT_EQ(p.rawTimePt, 1);
  EXPECT_EQ(p.rawPlane[0][0][3], 5031.5);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TrialMergeTest, FrequencyAndFullCollapseOfTheSameGrid) {
  build(ds, 2, 3, 4, 5, 1, 0);
  ASSERT_EQ(ds.accumulateFreq1(), 1);
  EXPECT_EQ(ds.freqPt, 1);
  EXPECT_EQ(ds.timePt, 4);
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(ds.pairMatrix[1][2].plane[0][t][0], t + 20.0 + 5000.0);
    EXPECT_EQ(ds.pairMatrix[0][0].plane[1][t][0], t + 20.0 + 100.0);
  }
  CSpctmTrlCCDatazq full;
  build(full, 2, 3, 4, 5, 0, 0);
  full.selTimeEnd = 2, full.selFreqEnd = 3;
  ASSERT_EQ(full.accumulateTimeFreq1(), 1);
  EXPECT_EQ(full.pairMatrix[1][2].plane[0][0][0], 5021.5);
  EXPECT_EQ(full.timePt * full.freqPt, 1);
  EXPECT_EQ(full.selTimeEnd + full.selFreqEnd, 0);
}

TEST_F(TrialMergeTest, CollapseOfRandomGridMatchesOrderedMeans) {
  build(ds, 2, 2, 7, 9, 1, 1);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  for (int64_t r = 0; r < 2; ++r)
    for (int64_t c = 0; c < 2; ++c)
      for (int k = 0; k < 3; ++k)
        for (int t = 0; t < 7; ++t)
          for (int f = 0; f < 9; ++f) ds.pairMatrix[r][c].plane[k][t][f] = value(rng);
  CSpctmTrlCCDatazq both(ds);
  // Column sums in time order, one division: the collapse must agree to the bit.
  double expectT[2][2][3][9];
  double expectAll[2][2][3];
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c)
      for (int k = 0; k < 3; ++k) {
        double** pl = ds.pairMatrix[r][c].plane[k];
        double all = 0.0;
        for (int t = 0; t < 7; ++t)
          for (int f = 0; f < 9; ++f) all += pl[t][f];
        expectAll[r][c][k] = all / 63.0;
        for (int f = 0; f < 9; ++f) {
          double s = 0.0;
          for (int t = 0; t < 7; ++t) s += pl[t][f];
          expectT[r][c][k][f] = s / 7.0;
        }
      }
  ASSERT_EQ(ds.accumulateTime1(), 1);
  ASSERT_EQ(both.accumulateTimeFreq1(), 1);
  for (int r = 0; r < 2; ++r)
    for (int c = 0; c < 2; ++c)
      for (int k = 0; k < 3; ++k) {
        for (int f = 0; f < 9; ++f)
          EXPECT_EQ(ds.pairMatrix[r][c].plane[k][0][f], expectT[r][c][k][f]);
        EXPECT_EQ(both.pairMatrix[r][c].plane[k][0][0], expectAll[r][c][k]);
      }
}

TEST_F(TrialMergeTest, OneSliceAxesAreRefusedWithTheirMessages) {
  build(ds, 1, 1, 1, 3, 0, 0);
  EXPECT_EQ(ds.accumulateTime1(), 0);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time-slice!?");
  CSpctmTrlCCDatazq oneFreq;
  build(oneFreq, 1, 1, 4, 1, 0, 0);
  messages.clear();
  EXPECT_EQ(oneFreq.accumulateFreq1(), 0);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 frequency-slice!?");
  messages.clear();
  EXPECT_EQ(oneFreq.accumulateTimeFreq1(), 0);  // several time points do not help
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time and 1 frequency slices!?");
  EXPECT_EQ(oneFreq.timePt, 4);
}

TEST_F(TrialMergeTest, EmptyOrInconsistentDatasetsAreRefusedBeforeAnythingIsBuilt) {
  EXPECT_EQ(ds.accumulateTime1(), 0);
  EXPECT_EQ(ds.accumulateFreq1(), 0);
  EXPECT_EQ(ds.accumulateTimeFreq1(), 0);
  build(ds, 2, 2, 4, 3, 1, 0);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 2, true, 1, 0);  // narrower than the dataset
  megcxc::setAllocationFailureAt(0);
  EXPECT_EQ(ds.accumulateTime1(), 0);
  EXPECT_EQ(megcxc::countedAllocations(), 0);
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 3, true, 0, 0);  // lacks the announced imaginary plane
  megcxc::setAllocationFailureAt(0);
  EXPECT_EQ(ds.accumulateFreq1(), 0);
  EXPECT_EQ(megcxc::countedAllocations(), 0);
  EXPECT_EQ(ds.pairMatrix, table);
  EXPECT_EQ(ds.timePt, 4);
  EXPECT_TRUE(messages.texts().empty());
}

// Every allocation of each rebuild made to fail in turn: the operation returns
// 0 and the old matrix and its values stay, until the rebuild succeeds.
TEST_F(TrialMergeTest, FailedRebuildAtAnyAllocationKeepsTheOldMatrix) {
  using Op = int (CSpctmTrlCCDatazq::*)();
  for (Op op : {&CSpctmTrlCCDatazq::accumulateTime1, &CSpctmTrlCCDatazq::accumulateFreq1,
                &CSpctmTrlCCDatazq::accumulateTimeFreq1}) {
    int64_t n = 1;
    for (;; ++n) {
      SCOPED_TRACE(n);
      CSpctmTrlCCDatazq d;
      build(d, 2, 2, 3, 4, 1, 1);
      CSpctmChnChnDatazq** table = d.pairMatrix;
      messages.clear();
      int result = 0;
      {
        megcxc::AllocationFailureScope failing(n);
        result = (d.*op)();
      }
      if (result == 1) break;
      ASSERT_EQ(d.pairMatrix, table);
      EXPECT_EQ(d.timePt * 10 + d.freqPt, 34);
      EXPECT_EQ(d.pairMatrix[1][1].plane[2][2][3], 2.0 + 30.0 + 200.0 + 4000.0);
      EXPECT_EQ(d.pairMatrix[1][1].timePt, 3);
      // The table and the two row arrays fail silently; a plane shows its message.
      EXPECT_EQ(messages.only(), n == 1 || n == 2 || n == 15 ? "" : "Has enough memory?");
      ASSERT_LT(n, 100);
    }
    // Table, 2 rows, 4 pairs x (3 planes + 3 raw planes), then success.
    EXPECT_EQ(n, 1 + 2 + 4 * 6 + 1);
  }
}

TEST_F(TrialMergeTest, AddIntoEmptyDatasetInitialisesThenSums) {
  CSpctmTrlCCDatazq src;
  build(src, 3, 3, 2, 2, 1, 0);
  ASSERT_EQ(ds.add(&src, nullptr, nullptr), 1);
  EXPECT_EQ(ds.rowSnsCount * 10 + ds.colSnsCount, 33);
  EXPECT_EQ(ds.pairMatrix[2][1].plane[1][1][1], 1.0 + 10.0 + 100.0 + 7000.0);
  ASSERT_EQ(ds.add(&src, nullptr, nullptr), 1);
  EXPECT_EQ(ds.pairMatrix[2][1].plane[0][1][0], 2.0 * (1.0 + 7000.0));
  EXPECT_EQ(ds.timePt, 0);  // the axes are not copied
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(ds.add(nullptr, nullptr, nullptr), 0);
  CSpctmTrlCCDatazq empty;
  EXPECT_EQ(ds.add(&empty, nullptr, nullptr), 0);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TrialMergeTest, AddRefusesOtherLayoutsAndReportsAFailingPair) {
  CSpctmTrlCCDatazq src;
  build(src, 3, 3, 2, 2, 0, 0);
  build(ds, 2, 3, 2, 2, 0, 0);
  EXPECT_EQ(ds.add(&src, nullptr, nullptr), 0);
  EXPECT_EQ(messages.only(), "The number of sensor for spectral CC-data does not match?!");
  EXPECT_EQ(ds.pairMatrix[1][2].plane[0][1][1], 11.0 + 5000.0);

  messages.clear();
  CSpctmTrlCCDatazq same;
  build(same, 2, 3, 2, 2, 0, 0);
  same.pairMatrix[0][2].checkInitpctmSpace(3, 2, true, 0, 0);  // third pair cannot be added
  EXPECT_EQ(ds.add(&same, nullptr, nullptr), 0);
  EXPECT_EQ(messages.only(), "add spectral CCData error! \n");
  EXPECT_EQ(ds.pairMatrix[0][1].plane[0][1][1], 2.0 * (11.0 + 1000.0));  // added before
  EXPECT_EQ(ds.pairMatrix[1][0].plane[0][1][1], 11.0 + 3000.0);          // not reached
}

TEST_F(TrialMergeTest, SetParametersCopiesAxesButNoPairsNamesOrFlags) {
  EXPECT_EQ(ds.setParameters(nullptr), 0);
  build(ds, 2, 2, 3, 3, 0, 0);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  CSpctmTrlCCDatazq src;
  src.setSpctmTimePtFreqPt(40, 8, 5);
  src.cmptType = 0, src.resultType = 3, src.selTimeBegin = 2, src.selTimeEnd = 9;
  src.selFreqBegin = 1, src.selFreqEnd = 6, src.setTrialTimeDataRange4Spctm(100, 900);
  src.freqFirstHz = 2, src.freqLastHz = 40, src.freqStepHz = 0.5, src.freqRatio = 1.1;
  src.auxFactor1 = 3, src.auxFactor2 = 4, src.freqAxisLog = 1, src.hasImagPlane = 1;
  src.trialName = "Other";
  ASSERT_EQ(ds.summaryByDataType[0].checkInit(3, 3), 1);
  ASSERT_EQ(ds.setParameters(&src), 1);
  EXPECT_EQ(ds.summaryByDataType[0].cellMin, nullptr);  // arrays of the old extents dropped
  EXPECT_EQ(ds.cmptType * 100 + ds.resultType, 3);
  EXPECT_EQ(ds.timePt * 100 + ds.freqPt, 4008);
  EXPECT_EQ(ds.timeStep, 5);
  EXPECT_EQ(ds.selTimeBegin * 1000 + ds.selTimeEnd * 100 + ds.selFreqBegin * 10 + ds.selFreqEnd,
            2916);
  EXPECT_EQ(ds.timeDataLength * 1000000 + ds.timeDataBegin * 1000 + ds.timeDataEnd, 800100900);
  const double axis[] = {ds.freqFirstHz, ds.freqLastHz, ds.freqStepHz,
                         ds.freqRatio,   ds.auxFactor1, ds.auxFactor2};
  EXPECT_EQ(std::vector<double>(axis, axis + 6), (std::vector<double>{2, 40, 0.5, 1.1, 3, 4}));
  EXPECT_EQ(ds.freqAxisLog, 1);
  EXPECT_EQ(ds.summaryByDataType[2].timePtCount * 100 + ds.summaryByDataType[2].freqPtCount, 4008);
  EXPECT_EQ(ds.pairMatrix, table);
  EXPECT_EQ(ds.pairMatrix[0][0].timePt, 3);
  EXPECT_EQ(ds.trialName, "CxC Data");
  EXPECT_EQ(ds.hasImagPlane, 0);
}

}  // namespace
