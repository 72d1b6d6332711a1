// The trial dataset's pair matrix: building, re-initialising, failing,
// progress notices, finding pairs and the whole-dataset operations. (Every
// allocation failure of a build is swept in trl_cc_data_sweep_test.cpp.)
#include <gtest/gtest.h>

#include <tuple>
#include <utility>

#include "platform/alloc_hook.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

class TrialMatrixTest : public ::testing::Test {
 protected:
  void init(int64_t rows, int64_t cols, int64_t t, int64_t f, int withImag = 0, int withPP = 0, bool zero = true) {
    ASSERT_EQ(ds.checkInitSpctmCCData(rows, cols, t, f, zero, withImag, withPP, nullptr, nullptr), 1);
  }
  megcxc::test::MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
  CString text;
  CDialog dlg;
};

TEST_F(TrialMatrixTest, InitBuildsPairsAndReinitWithSameCountsReusesThem) {
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
}

TEST_F(TrialMatrixTest, FailureDropsTheMatrixWithItsMessageAndErrorNotice) {
  {
    megcxc::AllocationFailureScope failing(5);  // table, row 0, its plane, row 1, its plane
    EXPECT_EQ(ds.checkInitSpctmCCData(2, 1, 2, 2, true, 0, 0, &dlg, &text), 0);
  }
  EXPECT_EQ(messages.only(), "Has enough memory?");
  EXPECT_EQ(dlg.posted().size(), 2u);  // row 0 done, then the error
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

TEST_F(TrialMatrixTest, ProgressNoticesFollowEachRowOnlyForAVisibleTargetWithText) {
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
}

TEST_F(TrialMatrixTest, PairLookupResolvesCurrentSensorsAndClampsExceptForSelectedValues) {
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
}

TEST_F(TrialMatrixTest, MemoryEstimateFollowsTheWorkedExamples) {
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 0, 0), 156.25);
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 1, 1), 625.0);
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

// Every plane is released once (AddressSanitizer): copies are deep, and
// cleaning keeps the current sensors and the summaries until _cleanAll.
TEST_F(TrialMatrixTest, CopiesAreDeepAndCleaningKeepsSensors) {
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

}  // namespace
