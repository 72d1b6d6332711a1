// The trial dataset's final layer: copying parameters, adding datasets and
// collapsing every pair over time, frequency or both. (Allocation failures of
// add and of the collapses are swept in trl_cc_data_sweep_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "platform/alloc_hook.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

// A rows x cols dataset of t x f pairs whose cell [t][f] of plane d at pair
// (r, c) holds t + 10 f + 100 d + 1000 (3 r + c); the pairs carry sensor ids
// (r, 10 + c) and the tag 100 + 3 r + c.
void build(CSpctmTrlCCDatazq& d, int64_t rows, int64_t cols, int64_t t, int64_t f, int withImag, int withPP) {
  ASSERT_EQ(d.checkInitSpctmCCData(rows, cols, t, f, true, withImag, withPP, nullptr, nullptr), 1);
  d.setSpctmTimePtFreqPt(t, f, 1);
  d.hasImagPlane = withImag, d.hasPowerPhasePlane = withPP;
  for (int64_t r = 0; r < rows; ++r)
    for (int64_t c = 0; c < cols; ++c) {
      CSpctmChnChnDatazq& p = d.pairMatrix[r][c];
      p.chnA = r, p.chnB = 10 + c, p.userTag = static_cast<int>(100 + 3 * r + c);
      for (int k = 0; k < 3; ++k)
        for (int64_t i = 0; p.plane[k] && i < t * f; ++i)
          p.plane[k][i / f][i % f] = double(i / f) + 10.0 * (i % f) + 100.0 * k + 1000.0 * (3 * r + c);
    }
}

// Extents and selection box of a dataset.
std::vector<int64_t> shape(const CSpctmTrlCCDatazq& d) {
  return {d.timePt, d.freqPt, d.selTimeBegin, d.selTimeEnd, d.selFreqBegin, d.selFreqEnd};
}

class TrialMergeTest : public ::testing::Test {
 protected:
  megcxc::test::MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialMergeTest, CollapsesOfTheHandWorkedGridKeepPairIdentityAndBackup) {
  build(ds, 2, 3, 4, 5, 0, 0);
  ds.selTimeBegin = 1, ds.selTimeEnd = 3, ds.selFreqBegin = 2, ds.selFreqEnd = 4;
  CSpctmTrlCCDatazq byFreq(ds), both(ds);
  ASSERT_EQ(ds.accumulateTime1(), 1);
  ASSERT_EQ(byFreq.accumulateFreq1(), 1);
  ASSERT_EQ(both.accumulateTimeFreq1(), 1);
  EXPECT_EQ(shape(ds), (std::vector<int64_t>{1, 5, 0, 0, 2, 4}));
  EXPECT_EQ(shape(byFreq), (std::vector<int64_t>{4, 1, 1, 3, 0, 0}));
  EXPECT_EQ(shape(both), (std::vector<int64_t>{1, 1, 0, 0, 0, 0}));
  const CSpctmChnChnDatazq& p = ds.pairMatrix[1][2];
  for (int f = 0; f < 5; ++f) EXPECT_EQ(p.plane[0][0][f], 1.5 + 10.0 * f + 5000.0);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(byFreq.pairMatrix[1][2].plane[0][t][0], t + 20.0 + 5000.0);
  EXPECT_EQ(both.pairMatrix[1][2].plane[0][0][0], 21.5 + 5000.0);
  EXPECT_TRUE(p.timePt == 1 && p.freqPt == 5 && p.chnA == 1 && p.chnB == 12 && p.userTag == 105);
  EXPECT_EQ(p.plane[1], nullptr);  // no imaginary plane announced, none made
  EXPECT_TRUE(p.rawPlane[0] && p.rawTimePt == 1 && p.rawPlane[0][0][3] == 5031.5);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TrialMergeTest, CollapsesOfRandomGridMatchOrderedMeans) {
  build(ds, 2, 2, 7, 9, 1, 1);
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> value(-1e3, 1e3);
  for (int i = 0; i < 4 * 3 * 63; ++i)  // pair i / 189, plane i / 63 % 3, cell i % 63
    ds.pairMatrix[i / 378][i / 189 % 2].plane[i / 63 % 3][i % 63 / 9][i % 9] = value(rng);
  CSpctmTrlCCDatazq byTime(ds), byFreq(ds), both(ds);
  ASSERT_EQ(byTime.accumulateTime1() + byFreq.accumulateFreq1() + both.accumulateTimeFreq1(), 3);
  for (int i = 0; i < 12; ++i) {  // pair i / 3, plane i % 3
    double** old = ds.pairMatrix[i / 6][i / 3 % 2].plane[i % 3];
    auto plane = [&](const CSpctmTrlCCDatazq& d) { return d.pairMatrix[i / 6][i / 3 % 2].plane[i % 3]; };
    // Cells of a rectangle summed from 0.0, time outer, then one division.
    auto mean = [&](int t0, int t1, int f0, int f1) {
      double sum = 0.0;
      for (int t = t0; t < t1; ++t)
        for (int f = f0; f < f1; ++f) sum += old[t][f];
      return sum / ((t1 - t0) * (f1 - f0));
    };
    EXPECT_EQ(plane(both)[0][0], mean(0, 7, 0, 9)) << i;
    for (int f = 0; f < 9; ++f) EXPECT_EQ(plane(byTime)[0][f], mean(0, 7, f, f + 1)) << i << " f " << f;
    for (int t = 0; t < 7; ++t) EXPECT_EQ(plane(byFreq)[t][0], mean(t, t + 1, 0, 9)) << i << " t " << t;
  }
}

TEST_F(TrialMergeTest, CollapsedPairsLookNewWhateverTheirBackupsAndSparePlanesWere) {
  // Pair (0, 0) has a raw backup of the full grid, (0, 1) one of a 2 x 2
  // grid (too few rows to hold a 3-row result), (0, 2) none; the pairs have
  // imaginary planes or backups the flags do not announce, a range cache,
  // and are deselected. Cell [0][1] of the real plane is -0.0 in pair (0, 0).
  build(ds, 1, 3, 3, 4, 1, 0);
  for (int64_t c = 0; c < 3; ++c) {
    CSpctmChnChnDatazq& p = ds.pairMatrix[0][c];
    for (int k = 0; k < 12; ++k) p.plane[0][k / 4][k % 4] = 1.0 + k, p.plane[1][k / 4][k % 4] = -1.0 - k;
    ASSERT_EQ(p.storeData2Backupfile(), 1);
    p.isSelected = false, p.rangeMin = -9, p.rangeMax = 9, p.spctmAverage = 3, p.chnA = c;
  }
  ds.pairMatrix[0][0].plane[0][0][1] = -0.0, ds.pairMatrix[0][0].plane[0][1][1] = ds.pairMatrix[0][0].plane[0][2][1] = 0.0;
  ASSERT_EQ(ds.pairMatrix[0][1].checkInitpctmSpace(2, 2, true, 1, 0), 1);
  ASSERT_EQ(ds.pairMatrix[0][1].storeData2Backupfile(), 1);
  ASSERT_EQ(ds.pairMatrix[0][1].checkInitpctmSpace(3, 4, true, 1, 0), 1);  // the dataset's grid, zeroed
  ds.pairMatrix[0][2]._cleanBkSpctmData();
  // The current pair (0, 0) keeps only its imaginary backup, so the dataset
  // reads as having no imaginary planes.
  ASSERT_EQ(ds.pairMatrix[0][0].checkInitpctmSpace(3, 4, false, 0, 0), 1);
  ds.hasImagPlane = 0;
  CSpctmTrlCCDatazq byTime(ds);
  ASSERT_EQ(ds.accumulateFreq1(), 1);
  ASSERT_EQ(byTime.accumulateTime1(), 1);
  const CSpctmChnChnDatazq blank;
  for (const CSpctmTrlCCDatazq* d : {&ds, &byTime}) {
    for (int64_t c = 0; c < 3; ++c) {
      const CSpctmChnChnDatazq& p = d->pairMatrix[0][c];
      SCOPED_TRACE(c);
      EXPECT_TRUE(p.plane[1] == nullptr && p.rawPlane[1] == nullptr && p.rawPlane[2] == nullptr);
      EXPECT_TRUE(p.rawTimePt == p.timePt && p.rawFreqPt == p.freqPt && p.chnA == c);
      EXPECT_TRUE(p.isSelected && p.rangeMin == blank.rangeMin && p.rangeMax == blank.rangeMax &&
                  p.spctmAverage == blank.spctmAverage);
      ASSERT_TRUE(p.rawPlane[0] != nullptr);
      for (int64_t k = 0; k < p.timePt * p.freqPt; ++k) {
        EXPECT_EQ(p.rawPlane[0][k / p.freqPt][k % p.freqPt], p.plane[0][k / p.freqPt][k % p.freqPt]);
      }
    }
  }
  // Row sums 0 + 1 + 2 + 3 + 4 ... over frequency; column sums over time.
  EXPECT_EQ(ds.pairMatrix[0][2].plane[0][2][0], (9.0 + 10 + 11 + 12) / 4);
  EXPECT_EQ(ds.pairMatrix[0][1].plane[0][1][0], 0.0);
  EXPECT_EQ(byTime.pairMatrix[0][2].plane[0][0][3], (4.0 + 8 + 12) / 3);
  EXPECT_FALSE(std::signbit(byTime.pairMatrix[0][0].plane[0][0][1]));  // a sum from 0.0 of -0.0, 0.0, 0.0
}

TEST_F(TrialMergeTest, OneSliceAxesAreRefusedWithTheirMessages) {
  build(ds, 1, 1, 1, 3, 0, 0);
  EXPECT_EQ(ds.accumulateTime1(), 0);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time-slice!?");
  build(ds, 1, 1, 4, 1, 0, 0);
  messages.clear();
  EXPECT_EQ(ds.accumulateFreq1(), 0);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 frequency-slice!?");
  messages.clear();
  EXPECT_EQ(ds.accumulateTimeFreq1(), 0);  // several time points do not help
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time and 1 frequency slices!?");
  EXPECT_EQ(shape(ds), (std::vector<int64_t>{4, 1, 0, 0, 0, 0}));
}

TEST_F(TrialMergeTest, EmptyOrInconsistentDatasetsAreRefusedBeforeAnythingIsBuilt) {
  EXPECT_EQ(ds.accumulateTime1() + ds.accumulateFreq1() + ds.accumulateTimeFreq1(), 0);
  build(ds, 2, 2, 4, 3, 1, 0);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 2, true, 1, 0);  // narrower than the dataset
  megcxc::setAllocationFailureAt(0);
  EXPECT_EQ(ds.accumulateTime1(), 0);
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 3, true, 0, 0);  // lacks the announced imaginary plane
  megcxc::setAllocationFailureAt(0);
  EXPECT_EQ(ds.accumulateFreq1(), 0);
  EXPECT_EQ(megcxc::countedAllocations(), 0);
  EXPECT_TRUE(ds.pairMatrix == table && ds.timePt == 4 && messages.texts().empty());
}

TEST_F(TrialMergeTest, AddInitialisesAnEmptyDatasetSumsPairsAndRefusesOtherLayouts) {
  CSpctmTrlCCDatazq src, empty;
  EXPECT_EQ(ds.add(nullptr, nullptr, nullptr) + ds.add(&empty, nullptr, nullptr), 0);
  build(src, 3, 3, 2, 2, 1, 0);
  ASSERT_EQ(ds.add(&src, nullptr, nullptr), 1);
  EXPECT_TRUE(ds.rowSnsCount == 3 && ds.colSnsCount == 3 && ds.pairMatrix[2][1].plane[1]);
  ASSERT_EQ(ds.add(&src, nullptr, nullptr), 1);
  EXPECT_EQ(ds.pairMatrix[2][1].plane[1][1][0], 2.0 * (1.0 + 100.0 + 7000.0));
  EXPECT_EQ(ds.timePt, 0);  // the axes are not copied
  EXPECT_TRUE(messages.texts().empty());
  build(src, 2, 3, 2, 2, 0, 0);
  EXPECT_EQ(ds.add(&src, nullptr, nullptr), 0);
  EXPECT_EQ(messages.only(), "The number of sensor for spectral CC-data does not match?!");
  EXPECT_EQ(ds.pairMatrix[2][1].plane[1][1][0], 2.0 * 7101.0);
}

TEST_F(TrialMergeTest, SetParametersCopiesAxesAndSelectionButNoPairsNamesOrFlags) {
  EXPECT_EQ(ds.setParameters(nullptr), 0);
  build(ds, 2, 2, 3, 3, 0, 0);
  ASSERT_EQ(ds.summaryByDataType[0].checkInit(3, 3), 1);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  CSpctmTrlCCDatazq src;
  src.setSpctmTimePtFreqPt(40, 8, 5);
  src.setTrialTimeDataRange4Spctm(100, 900);
  src.cmptType = 0, src.resultType = 3, src.selTimeBegin = 2, src.selTimeEnd = 9, src.selFreqBegin = 1;
  src.selFreqEnd = 6, src.freqFirstHz = 2, src.freqLastHz = 40, src.freqStepHz = 0.5, src.freqRatio = 1.1;
  src.auxFactor1 = 3, src.auxFactor2 = 4, src.freqAxisLog = 1, src.hasImagPlane = 1, src.trialName = "Other";
  ASSERT_EQ(ds.setParameters(&src), 1);
  const std::vector<double> got = {
      double(ds.cmptType), double(ds.resultType), double(ds.timePt), double(ds.freqPt), double(ds.timeStep),
      double(ds.selTimeBegin), double(ds.selTimeEnd), double(ds.selFreqBegin), double(ds.selFreqEnd),
      double(ds.timeDataLength), double(ds.timeDataBegin), double(ds.timeDataEnd), ds.freqFirstHz, ds.freqLastHz,
      ds.freqStepHz, ds.freqRatio, ds.auxFactor1, ds.auxFactor2, double(ds.freqAxisLog),
      double(ds.summaryByDataType[2].timePtCount), double(ds.summaryByDataType[2].freqPtCount)};
  EXPECT_EQ(got, (std::vector<double>{0, 3, 40, 8, 5, 2, 9, 1, 6, 800, 100, 900, 2, 40, 0.5, 1.1, 3, 4, 1, 40, 8}));
  EXPECT_EQ(ds.summaryByDataType[0].cellMin, nullptr);  // arrays of the old extents dropped
  EXPECT_TRUE(ds.pairMatrix == table && ds.pairMatrix[0][0].timePt == 3);
  EXPECT_TRUE(ds.trialName == "CxC Data" && ds.hasImagPlane == 0);
}

}  // namespace
