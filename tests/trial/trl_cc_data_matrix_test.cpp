// The trial dataset's pair matrix: building, re-initialising, failing,
// progress notices, finding pairs, the whole-dataset operations, adding
// datasets, copying parameters and collapsing every pair over time, frequency
// or both. (Allocation failures of the builds, of add and of the collapses are
// swept in trl_cc_data_sweep_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/alloc_test_hook.h"
#include "support/sweep.h"
#include "trial/spctm_trl_cc_datazq.h"
#include "trial/spctm_trl_pair_walk.h"

namespace {
using namespace megcxc::test;

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

struct TrialMatrixTest : ::testing::Test {
  void init(int64_t rows, int64_t cols, int64_t t, int64_t f, int withImag = 0, int withPP = 0, bool zero = true) {
    ASSERT_EQ(ds.checkInitSpctmCCData(rows, cols, t, f, zero, withImag, withPP, nullptr, nullptr), 1);
  }
  MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
  CString text;
  CDialog dlg;
};

// Other counts build a new matrix; the same ones reuse it. Copies are deep
// and every plane is released once (AddressSanitizer); cleaning keeps the
// current sensors and the summaries until _cleanAll.
TEST_F(TrialMatrixTest, InitReusesSameCountsAndCopiesAreDeep) {
  init(3, 3, 10, 4, 1);
  CSpctmChnChnDatazq* pair = &ds.pairMatrix[2][1];
  double** real = pair->plane[0];
  EXPECT_TRUE(ds.timePt == 0 && pair->timePt == 10 && pair->freqPt == 4 && pair->plane[1] && !pair->plane[2]);
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 10, 4, 1, 0) * 10 + ds.verifySpctmCCData(3, 3, 10, 4, 1, 1), 10);
  real[4][2] = 7.5, ds.curActSns = 2;
  megcxc::setAllocationFailureAt(0);
  init(3, 3, 10, 4, 1, 0, false);
  EXPECT_EQ(megcxc::countedAllocations(), 0);
  EXPECT_TRUE(&ds.pairMatrix[2][1] == pair && pair->plane[0] == real && real[4][2] == 7.5 && ds.curActSns == 2);
  init(3, 3, 10, 4);
  EXPECT_TRUE(real[4][2] == 0.0 && pair->plane[1] == nullptr);
  init(4, 3, 10, 4);  // other counts: a new matrix
  EXPECT_TRUE(ds.rowSnsCount == 4 && ds.colSnsCount == 3 && ds.curActSns == 0 && ds.pairMatrix[3][2].timePt == 10);
  EXPECT_EQ(ds.checkInitSpctmCCData(4, 3, 0, 4, true, 0, 0, &dlg, &text), 0);  // stores the pointers only
  EXPECT_TRUE(ds.rowSnsCount == 4 && ds.progressDlg == &dlg && ds.progressText == &text && dlg.posted().empty());
  init(2, 3, 2, 2, 1);
  CSpctmTrlCCDatazq copy(ds), other;
  ASSERT_EQ(other.checkInitSpctmCCData(4, 4, 3, 3, true, 0, 0, nullptr, nullptr), 1);
  other = copy;
  other = *&other;
  ds.pairMatrix[1][2].plane[1][1][0] = 4.25;
  EXPECT_TRUE(other.rowSnsCount == 2 && other.colSnsCount == 3 && other.pairMatrix[1][2].plane[1][1][0] == 0.0);
  ds.curActSns = 1, ds.summaryByDataType[2].isComputed = 1;
  EXPECT_EQ(ds._cleanSpctmCC(), 1);
  EXPECT_TRUE(!ds.pairMatrix && !ds.rowSnsCount && ds.curActSns == 1 && ds.summaryByDataType[2].isComputed == 1);
  EXPECT_EQ(ds._cleanAll(), 1);
  EXPECT_EQ(ds.summaryByDataType[2].isComputed, 0);
}

// Notices follow each row only for a visible target with text; a failure
// drops the matrix with its message and an error notice.
TEST_F(TrialMatrixTest, ProgressNoticesAndFailures) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, &dlg, &text), 1);
  ASSERT_EQ(dlg.posted().size(), 3u);
  for (const auto& m : dlg.posted()) EXPECT_TRUE(m.message == 0x8009 && m.wParam == 0 && m.lParam == 0);
  EXPECT_EQ(text, "Spectral CxC initialization(Channel::3->3)...");
  EXPECT_EQ(ds.updateProInfo(7, 4), 1);
  EXPECT_EQ(text, "Spectral CxC initialization(Channel::7->5)...");
  CString hiddenText("unchanged");
  CDialog hidden(false);
  for (auto [d, t] : {std::pair<CDialog*, CString*>{&hidden, &hiddenText}, {&dlg, nullptr}, {nullptr, &text}}) {
    ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, d, t), 1);
    EXPECT_EQ(ds.updateProInfo(7, 4), 0);
  }
  EXPECT_TRUE(hidden.posted().empty() && hiddenText == "unchanged" && dlg.posted().size() == 4u);
  CDialog failDlg;  // allocations: table, row 0, its plane, row 1, its plane
  EXPECT_EQ(runFailing(5, [&] { return ds.checkInitSpctmCCData(2, 1, 2, 2, true, 0, 0, &failDlg, &text); }),
            returns(0, {"Has enough memory?"}));
  EXPECT_EQ(failDlg.posted().size(), 2u);  // row 0 done, then the error
  EXPECT_EQ(text, "Spectral CxC initialization error at (Channel::0->2)...");
  EXPECT_TRUE(ds.pairMatrix == nullptr && ds.rowSnsCount + ds.colSnsCount == 0);
  EXPECT_EQ(ds.checkInitSpctmCCDataP(nullptr), 0);
  CSpctmTrlCCDatazq source;  // its pairs are never read
  source.rowSnsCount = 3, source.colSnsCount = 2, source.timePt = 4, source.freqPt = 2, source.hasPowerPhasePlane = 1;
  // A missing row of an existing matrix is recreated by the first allocation,
  // or shows the operation's own message when it cannot be.
  for (int i = 0; i < 4; ++i) {
    const bool fromSource = i & 1, fail = i & 2;
    init(3, 2, 4, 2);
    delete[] ds.pairMatrix[0];
    ds.pairMatrix[0] = nullptr, ds.curActSns = 2;
    messages.clear();
    megcxc::AllocationFailureScope failing(fail ? 1 : 0);
    const int result = fromSource ? ds.checkInitSpctmCCDataP(&source)
                                  : ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 0, nullptr, nullptr);
    const char* message = fromSource ? "Cross-channel spectral data error!?" : "Not enough memory !?";
    EXPECT_EQ(messages.only(), fail ? message : "");
    const auto state = std::make_tuple(result, ds.curActSns, ds.verifySpctmCCData(3, 2, 4, 2, 0, fromSource));
    EXPECT_EQ(state, fail ? std::make_tuple(0, int64_t{0}, 0) : std::make_tuple(1, int64_t{2}, 1)) << i;
  }
}

TEST_F(TrialMatrixTest, PairLookupClampsExceptForSelectedValuesAndSizeEstimate) {
  init(3, 3, 2, 3);
  ds.curActSns = 1, ds.curCxcSns = 0;
  EXPECT_EQ(ds.getSnsActCC(-1, 7), &ds.pairMatrix[1][2]);
  EXPECT_EQ(ds.getSnsActCC(-5, 1), &ds.pairMatrix[0][1]);
  double** p = ds.pairMatrix[1][2].plane[0];
  p[0][0] = 1, p[0][1] = 5, p[0][2] = 2, p[1][0] = -4, p[1][1] = 3, p[1][2] = 0;
  double value = 99.0;
  int64_t index = 99;
  EXPECT_EQ(ds.getSelectSpctmCCDValueX(0, 1, 1, 2, -1, 2, 0, value, index), 4);
  EXPECT_TRUE(value == 5 + 2 + 3 + 0 && index == 4);
  EXPECT_EQ(ds.getSelectSpctmCCDValueX(0, 1, 1, 2, 3, 0, 0, value, index), 0);  // no clamping
  ds.selTimeBegin = 0, ds.selTimeEnd = 1, ds.selFreqBegin = 0, ds.selFreqEnd = 0;
  EXPECT_EQ(ds.getValueSelectTimFrq(-1, 99, 0), (1.0 - 4.0) / 2.0);
  ds.curActSns = 9, ds.curCxcSns = -4;
  EXPECT_EQ(ds.getActSns() * 10 + ds.getSnsCC(), 20);
  EXPECT_EQ(ds.curActSns * 10 + ds.curCxcSns, 20);  // stored back
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 0, 0), 156.25);
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 1, 1), 625.0);  // the worked examples
}

TEST_F(TrialMatrixTest, ScaleReloadAndAnimationWalkThePairsAndTheGrid) {
  EXPECT_EQ(ds.scaleSpctmAllDataType4Class(2.0) + ds.reloadSpctmDataTrl() + ds.animateCCDSpctmPx(), 0);
  init(2, 2, 2, 2, 1, 1);
  auto& pair = ds.pairMatrix[1][0];
  pair.plane[0][1][1] = 2.0, pair.plane[1][0][0] = 3.0, ds.pairMatrix[0][1].plane[2][1][1] = -1.5;
  ASSERT_EQ(pair.storeData2Backupfile(), 1);
  EXPECT_EQ(ds.scaleSpctmAllDataType4Class(2.0), 1);
  EXPECT_TRUE(pair.plane[0][1][1] == 4.0 && pair.plane[1][0][0] == 6.0 && pair.rawPlane[0][1][1] == 2.0);
  EXPECT_EQ(ds.pairMatrix[0][1].plane[2][1][1], -3.0);
  EXPECT_EQ(ds.reloadSpctmDataTrl(), 1);  // only that pair holds a backup
  EXPECT_EQ(pair.plane[0][1][1], 2.0);
  ds.timePt = ds.freqPt = 2;
  for (int64_t cell : {1, 2, 3, 0}) {  // time + 2 * frequency: time fastest
    ASSERT_EQ(ds.animateCCDSpctmPx(), 1);
    EXPECT_EQ(ds.selTimeBegin + 2 * ds.selFreqBegin, cell);
    EXPECT_TRUE(ds.selTimeEnd == ds.selTimeBegin && ds.selFreqEnd == ds.selFreqBegin);
  }
}

// The pair walk visits present rows in row-major order, counts the pairs of
// absent rows, and is a no-op without a matrix.
TEST_F(TrialMatrixTest, PairWalkSkipsAbsentRowsAndCountsTheirPairs) {
  std::vector<std::pair<int64_t, int64_t>> seen;
  EXPECT_EQ(megcxc::forEachPair(ds, [&](int64_t r, int64_t c, CSpctmChnChnDatazq&) { seen.emplace_back(r, c); }), 0);
  EXPECT_TRUE(seen.empty());
  init(3, 2, 1, 1, 0, 0);
  delete[] ds.pairMatrix[1];
  ds.pairMatrix[1] = nullptr;
  const CSpctmTrlCCDatazq& view = ds;
  const int64_t skipped = megcxc::forEachPair(view, [&](int64_t r, int64_t c, const CSpctmChnChnDatazq& p) {
    EXPECT_EQ(&p, &ds.pairMatrix[r][c]);
    seen.emplace_back(r, c);
  });
  EXPECT_EQ(skipped, 2);
  EXPECT_EQ(seen, (std::vector<std::pair<int64_t, int64_t>>{{0, 0}, {0, 1}, {2, 0}, {2, 1}}));
}

// The hand-worked grid: each collapse is the mean of the selected cells, and
// pair identity and backup are kept.
TEST_F(TrialMatrixTest, CollapsesMatchHandWorkedMeansAndKeepPairIdentity) {
  build(ds, 2, 3, 4, 5, 0, 0);
  ds.selTimeBegin = 1, ds.selTimeEnd = 3, ds.selFreqBegin = 2, ds.selFreqEnd = 4;
  CSpctmTrlCCDatazq byFreq(ds), both(ds);
  ASSERT_EQ(ds.accumulateTime1() + byFreq.accumulateFreq1() + both.accumulateTimeFreq1(), 3);
  EXPECT_EQ(shape(ds), (std::vector<int64_t>{1, 5, 0, 0, 2, 4}));
  EXPECT_EQ(shape(byFreq), (std::vector<int64_t>{4, 1, 1, 3, 0, 0}));
  EXPECT_EQ(shape(both), (std::vector<int64_t>{1, 1, 0, 0, 0, 0}));
  const CSpctmChnChnDatazq& p = ds.pairMatrix[1][2];
  for (int f = 0; f < 5; ++f) EXPECT_EQ(p.plane[0][0][f], 1.5 + 10.0 * f + 5000.0);
  for (int t = 0; t < 4; ++t) EXPECT_EQ(byFreq.pairMatrix[1][2].plane[0][t][0], t + 20.0 + 5000.0);
  EXPECT_EQ(both.pairMatrix[1][2].plane[0][0][0], 21.5 + 5000.0);
  EXPECT_TRUE(p.timePt == 1 && p.freqPt == 5 && p.chnA == 1 && p.chnB == 12 && p.userTag == 105);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(TrialMatrixTest, CollapsedPairsLookNewWhateverTheirBackupsAndSparePlanesWere) {
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
      for (int64_t k = 0; k < p.timePt * p.freqPt; ++k)
        EXPECT_EQ(p.rawPlane[0][k / p.freqPt][k % p.freqPt], p.plane[0][k / p.freqPt][k % p.freqPt]);
    }
  }
  // Row sums 0 + 1 + 2 + 3 + 4 ... over frequency; column sums over time.
  EXPECT_EQ(ds.pairMatrix[0][2].plane[0][2][0], (9.0 + 10 + 11 + 12) / 4);
  EXPECT_EQ(ds.pairMatrix[0][1].plane[0][1][0], 0.0);
  EXPECT_EQ(byTime.pairMatrix[0][2].plane[0][0][3], (4.0 + 8 + 12) / 3);
  EXPECT_FALSE(std::signbit(byTime.pairMatrix[0][0].plane[0][0][1]));  // a sum from 0.0 of -0.0, 0.0, 0.0
}

// Empty, one-slice (with their messages) and inconsistent datasets are
// refused before anything is built.
TEST_F(TrialMatrixTest, EmptyOneSliceOrInconsistentDatasetsAreRefused) {
  EXPECT_EQ(ds.accumulateTime1() + ds.accumulateFreq1() + ds.accumulateTimeFreq1(), 0);
  build(ds, 1, 1, 1, 3, 0, 0);
  EXPECT_EQ(runFailing(0, [&] { return ds.accumulateTime1(); }), returns(0, {"Spectral data have only 1 time-slice!?"}));
  build(ds, 1, 1, 4, 1, 0, 0);
  EXPECT_EQ(runFailing(0, [&] { return ds.accumulateFreq1(); }),
            returns(0, {"Spectral data have only 1 frequency-slice!?"}));
  EXPECT_EQ(runFailing(0, [&] { return ds.accumulateTimeFreq1(); }),  // several time points do not help
            returns(0, {"Spectral data have only 1 time and 1 frequency slices!?"}));
  EXPECT_EQ(shape(ds), (std::vector<int64_t>{4, 1, 0, 0, 0, 0}));
  build(ds, 2, 2, 4, 3, 1, 0);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 2, true, 1, 0);  // narrower than the dataset
  EXPECT_EQ(ds.accumulateTime1(), 0);
  ds.pairMatrix[1][0].checkInitpctmSpace(4, 3, true, 0, 0);  // lacks the announced imaginary plane
  int64_t made = -1;
  EXPECT_EQ(runFailing(0, [&] { return ds.accumulateFreq1(); }, &made), returns(0));
  EXPECT_TRUE(made == 0 && ds.pairMatrix == table && ds.timePt == 4 && messages.texts().empty());
}

// add initialises an empty dataset, sums pairs and refuses other layouts;
// setParameters copies axes and selection but no pairs, names or flags.
TEST_F(TrialMatrixTest, AddSumsPairsAndSetParametersCopiesAxesOnly) {
  CSpctmTrlCCDatazq src, empty, from;
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
  EXPECT_EQ(ds.setParameters(nullptr), 0);
  build(ds, 2, 2, 3, 3, 0, 0);
  ASSERT_EQ(ds.summaryByDataType[0].checkInit(3, 3), 1);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  from.setSpctmTimePtFreqPt(40, 8, 5);
  from.setTrialTimeDataRange4Spctm(100, 900);
  from.cmptType = 0, from.resultType = 3, from.selTimeBegin = 2, from.selTimeEnd = 9, from.selFreqBegin = 1;
  from.selFreqEnd = 6, from.freqFirstHz = 2, from.freqLastHz = 40, from.freqStepHz = 0.5, from.freqRatio = 1.1;
  from.auxFactor1 = 3, from.auxFactor2 = 4, from.freqAxisLog = 1, from.hasImagPlane = 1, from.trialName = "Other";
  ASSERT_EQ(ds.setParameters(&from), 1);
  EXPECT_TRUE(ds.timePt == 40 && ds.freqPt == 8 && ds.timeStep == 5 && ds.timeDataLength == 800);
  EXPECT_TRUE(ds.selTimeEnd == 9 && ds.selFreqEnd == 6 && ds.freqRatio == 1.1 && ds.auxFactor2 == 4);
  EXPECT_EQ(ds.summaryByDataType[2].timePtCount * 100 + ds.summaryByDataType[2].freqPtCount, 4008);
  EXPECT_EQ(ds.summaryByDataType[0].cellMin, nullptr);  // arrays of the old extents dropped
  EXPECT_TRUE(ds.pairMatrix == table && ds.pairMatrix[0][0].timePt == 3);
  EXPECT_TRUE(ds.trialName == "CxC Data" && ds.hasImagPlane == 0);
}

}  // namespace
