// The trial dataset's pair matrix: building, re-initialising, failing,
// progress notices, finding pairs and the whole-dataset operations.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

constexpr unsigned kProgress = 0x8009;

// Records the host string at every posted notice, as a host's handler would.
class TextCapturingDialog : public CDialog {
 public:
  explicit TextCapturingDialog(CString* text, bool visible = true) : CDialog(visible), text_(text) {}
  bool PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override {
    texts.push_back(text_->toUtf8());
    return CDialog::PostMessage(message, wParam, lParam);
  }
  std::vector<std::string> texts;

 private:
  CString* text_;
};

std::string progressText(int64_t a, int64_t b) {
  return "Spectral CxC initialization(Channel::" + std::to_string(a) + "->" + std::to_string(b) +
         ")...";
}

std::string errorText(int64_t b) {
  return "Spectral CxC initialization error at (Channel::0->" + std::to_string(b) + ")...";
}

class TrialMatrixTest : public ::testing::Test {
 protected:
  void SetUp() override { megcxc::setAllocationFailureAt(0); }

  void expectNoMatrix() {
    EXPECT_EQ(ds.pairMatrix, nullptr);
    EXPECT_EQ(ds.rowSnsCount, 0);
    EXPECT_EQ(ds.colSnsCount, 0);
    EXPECT_EQ(ds.curActSns, 0);
    EXPECT_EQ(ds.curCxcSns, 0);
  }

  megcxc::test::MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
  CString text;
  TextCapturingDialog dlg{&text};
};

TEST_F(TrialMatrixTest, ConstructorGivesTheDocumentedDefaults) {
  EXPECT_EQ(ds.cmptType, 1);
  EXPECT_EQ(ds.auxInt2, 1);
  EXPECT_EQ(ds.timeStep, 1);
  EXPECT_EQ(ds.auxFactor1, 1.0);
  EXPECT_EQ(ds.freqRatio, 1.0);
  EXPECT_EQ(ds.auxInt5 + ds.auxInt7 + ds.auxInt8, 3);
  EXPECT_EQ(ds.timeDataLength + ds.timeDataBegin + ds.timeDataEnd + ds.auxInt12, 0);
  EXPECT_EQ(ds.cxcType, "None");
  EXPECT_EQ(ds.trialName, "CxC Data");
  EXPECT_TRUE(ds.iconFlag);
  EXPECT_EQ(ds.dataTypeName[2], "Power/Phase");
  EXPECT_EQ(ds.getActSns(), -1);
  EXPECT_EQ(ds.getSnsCC(), -1);
  EXPECT_EQ(ds.getSumCCSpctmData(3), nullptr);
  EXPECT_EQ(ds.getSumCCSpctmData(1), &ds.summaryByDataType[1]);
}

TEST_F(TrialMatrixTest, InitBuildsEveryPairWithZeroedPlanes) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 10, 4, true, 1, 0, nullptr, nullptr), 1);
  ASSERT_NE(ds.pairMatrix, nullptr);
  EXPECT_EQ(ds.rowSnsCount, 3);
  EXPECT_EQ(ds.colSnsCount, 3);
  EXPECT_EQ(ds.timePt, 0);  // the dataset's own extents come from the axes
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) {
      const auto& p = ds.pairMatrix[r][c];
      ASSERT_EQ(p.timePt, 10);
      ASSERT_EQ(p.freqPt, 4);
      ASSERT_NE(p.plane[1], nullptr);
      ASSERT_EQ(p.plane[2], nullptr);
      EXPECT_EQ(p.plane[0][9][3], 0.0);
    }
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 10, 4, 1, 0), 1);
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 10, 4, 1, 1), 0);
  EXPECT_EQ(ds.verifySpctmCCData(3, 2, 10, 4, 0, 0), 0);
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 0, 4, 0, 0), 0);
}

TEST_F(TrialMatrixTest, ReinitWithSameExtentsReusesEverythingAndAllocatesNothing) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 10, 4, true, 1, 0, nullptr, nullptr), 1);
  CSpctmChnChnDatazq* pair = &ds.pairMatrix[2][1];
  double** real = pair->plane[0];
  real[4][2] = 7.5;
  ds.curActSns = 2;
  megcxc::setAllocationFailureAt(0);
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 10, 4, false, 1, 0, nullptr, nullptr), 1);
  EXPECT_EQ(megcxc::countedAllocations(), 0);
  EXPECT_EQ(&ds.pairMatrix[2][1], pair);
  EXPECT_EQ(pair->plane[0], real);
  EXPECT_EQ(real[4][2], 7.5);
  EXPECT_EQ(ds.curActSns, 2);  // kept on re-initialisation
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 10, 4, true, 0, 0, nullptr, nullptr), 1);
  EXPECT_EQ(real[4][2], 0.0);
  EXPECT_EQ(pair->plane[1], nullptr);
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 10, 4, 1, 0), 0);
  EXPECT_EQ(ds.verifySpctmCCData(3, 3, 10, 4, 0, 0), 1);
}

TEST_F(TrialMatrixTest, OtherSensorCountsRebuildTheMatrix) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 10, 4, true, 1, 0, nullptr, nullptr), 1);
  ds.curActSns = 2;
  ASSERT_EQ(ds.checkInitSpctmCCData(4, 3, 10, 4, true, 1, 0, nullptr, nullptr), 1);
  EXPECT_EQ(ds.rowSnsCount, 4);
  EXPECT_EQ(ds.colSnsCount, 3);
  EXPECT_EQ(ds.curActSns, 0);
  EXPECT_EQ(ds.pairMatrix[3][2].timePt, 10);
}

TEST_F(TrialMatrixTest, ExtentBelowOneOnlyStoresTheProgressPointers) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 3, 3, true, 0, 0, nullptr, nullptr), 1);
  CSpctmChnChnDatazq** table = ds.pairMatrix;
  EXPECT_EQ(ds.checkInitSpctmCCData(2, 2, 0, 3, true, 0, 0, &dlg, &text), 0);
  EXPECT_EQ(ds.pairMatrix, table);
  EXPECT_EQ(ds.progressDlg, &dlg);
  EXPECT_EQ(ds.progressText, &text);
  EXPECT_TRUE(dlg.posted().empty());
}

// Every counted allocation of a new 2 x 3 matrix with real and imaginary
// planes, made to fail in turn. Order: the row table, then per row the pair
// array followed by two planes per pair.
TEST_F(TrialMatrixTest, EveryAllocationFailureOfANewMatrixLeavesNoMatrix) {
  const int64_t rows = 2, cols = 3, perRow = 1 + cols * 2, total = 1 + rows * perRow;
  ASSERT_EQ(ds.checkInitSpctmCCData(rows, cols, 5, 2, true, 1, 0, nullptr, nullptr), 1);
  EXPECT_EQ(megcxc::countedAllocations(), total);
  for (int64_t n = 1; n <= total; ++n) {
    SCOPED_TRACE(n);
    CSpctmTrlCCDatazq fresh;
    dlg.clearPosted();
    dlg.texts.clear();
    messages.clear();
    {
      megcxc::AllocationFailureScope failing(n);
      EXPECT_EQ(fresh.checkInitSpctmCCData(rows, cols, 5, 2, true, 1, 0, &dlg, &text), 0);
    }
    EXPECT_EQ(fresh.pairMatrix, nullptr);
    EXPECT_EQ(fresh.rowSnsCount + fresh.colSnsCount + fresh.curActSns + fresh.curCxcSns, 0);
    if (n == 1) {
      EXPECT_EQ(messages.only(), "Is memory enough?!");
      EXPECT_TRUE(dlg.texts.empty());
      continue;
    }
    const int64_t r = (n - 2) / perRow, j = (n - 2) % perRow;
    const int64_t pairsDone = r * cols + (j == 0 ? 0 : (j - 1) / 2);
    EXPECT_EQ(messages.only(), j == 0 ? "" : "Has enough memory?");
    ASSERT_EQ(dlg.texts.size(), static_cast<size_t>(r + 1));
    if (r > 0) {
      EXPECT_EQ(dlg.texts[0], progressText(rows, 1));
    }
    EXPECT_EQ(dlg.texts.back(), errorText(pairsDone + 1));
  }
}

TEST_F(TrialMatrixTest, MissingRowOfExistingMatrixIsRecreatedOrFailsWithMessage) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 0, nullptr, nullptr), 1);
  delete[] ds.pairMatrix[1];
  ds.pairMatrix[1] = nullptr;
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 0, nullptr, nullptr), 1);
  EXPECT_EQ(ds.pairMatrix[1][1].timePt, 4);
  EXPECT_TRUE(messages.texts().empty());

  delete[] ds.pairMatrix[2];
  ds.pairMatrix[2] = nullptr;
  {
    megcxc::AllocationFailureScope failing(1);
    EXPECT_EQ(ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 0, &dlg, &text), 0);
  }
  EXPECT_EQ(messages.only(), "Not enough memory !?");
  expectNoMatrix();
  EXPECT_EQ(dlg.texts.back(), errorText(1));
}

TEST_F(TrialMatrixTest, PairFailingDuringReinitDropsTheWholeMatrix) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 0, nullptr, nullptr), 1);
  {
    megcxc::AllocationFailureScope failing(2);  // power/phase plane of pair (0, 1)
    EXPECT_EQ(ds.checkInitSpctmCCData(3, 2, 4, 2, true, 0, 1, &dlg, &text), 0);
  }
  EXPECT_EQ(messages.only(), "Has enough memory?");
  expectNoMatrix();
  EXPECT_EQ(dlg.texts, std::vector<std::string>{errorText(1)});
}

TEST_F(TrialMatrixTest, FromSourceUsesItsExtentsFlagsAndOwnMessage) {
  EXPECT_EQ(ds.checkInitSpctmCCDataP(nullptr), 0);
  CSpctmTrlCCDatazq source;
  source.rowSnsCount = 2;  // the source's pairs are never read
  source.colSnsCount = 3;
  source.timePt = 5;
  source.freqPt = 2;
  source.hasImagPlane = 0;
  source.hasPowerPhasePlane = 1;
  ds.progressDlg = &dlg;
  ds.progressText = &text;
  ASSERT_EQ(ds.checkInitSpctmCCDataP(&source), 1);
  EXPECT_EQ(ds.verifySpctmCCData(2, 3, 5, 2, 0, 1), 1);
  EXPECT_EQ(ds.pairMatrix[1][2].plane[1], nullptr);
  EXPECT_EQ(dlg.texts.size(), 2u);

  delete[] ds.pairMatrix[1];
  ds.pairMatrix[1] = nullptr;
  {
    megcxc::AllocationFailureScope failing(1);
    EXPECT_EQ(ds.checkInitSpctmCCDataP(&source), 0);
  }
  EXPECT_EQ(messages.only(), "Cross-channel spectral data error!?");
  expectNoMatrix();
}

TEST_F(TrialMatrixTest, ProgressNoticesFollowEachRowOnlyForAVisibleTarget) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, &dlg, &text), 1);
  ASSERT_EQ(dlg.posted().size(), 3u);
  for (const auto& m : dlg.posted()) {
    EXPECT_EQ(m.message, kProgress);
    EXPECT_EQ(m.wParam, 0u);
    EXPECT_EQ(m.lParam, 0);
  }
  EXPECT_EQ(dlg.texts, (std::vector<std::string>{progressText(3, 1), progressText(3, 2),
                                                 progressText(3, 3)}));
  EXPECT_EQ(ds.updateProInfo(7, 4), 1);
  EXPECT_EQ(text, progressText(7, 5).c_str());

  CString hiddenText("unchanged");
  TextCapturingDialog hidden(&hiddenText, false);
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, &hidden, &hiddenText), 1);
  EXPECT_EQ(ds.updateProInfo(7, 4), 0);
  EXPECT_TRUE(hidden.posted().empty());
  EXPECT_EQ(hiddenText, "unchanged");
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, &dlg, nullptr), 1);
  EXPECT_EQ(ds.updateProInfo(7, 4), 0);
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 2, 2, 2, true, 0, 0, nullptr, &text), 1);
  EXPECT_EQ(ds.updateProInfo(7, 4), 0);
  EXPECT_EQ(dlg.posted().size(), 4u);
}

TEST_F(TrialMatrixTest, PairLookupResolvesCurrentSensorsAndClamps) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 2, 2, true, 0, 0, nullptr, nullptr), 1);
  ds.curActSns = 1;
  ds.curCxcSns = 0;
  EXPECT_EQ(ds.getSnsActCC(-1, 7), &ds.pairMatrix[1][2]);
  EXPECT_EQ(ds.getSnsActCC(-5, 1), &ds.pairMatrix[0][1]);
  EXPECT_EQ(ds.curCxcSns, 0);
  ds.curActSns = 9;
  ds.curCxcSns = -4;
  EXPECT_EQ(ds.getActSns(), 2);
  EXPECT_EQ(ds.curActSns, 2);
  EXPECT_EQ(ds.getSnsCC(), 0);
  EXPECT_EQ(ds.curCxcSns, 0);
}

TEST_F(TrialMatrixTest, SelectedValuesComeFromTheResolvedPair) {
  ASSERT_EQ(ds.checkInitSpctmCCData(3, 3, 2, 3, true, 0, 0, nullptr, nullptr), 1);
  double** p = ds.pairMatrix[1][2].plane[0];
  const double cells[2][3] = {{1, 5, 2}, {-4, 3, 0}};
  for (int t = 0; t < 2; ++t)
    for (int f = 0; f < 3; ++f) p[t][f] = cells[t][f];
  ds.curActSns = 1;
  ds.curCxcSns = 2;
  double value = 99.0;
  int64_t index = 99;
  EXPECT_EQ(ds.getSelectSpctmCCDValueX(0, 1, 1, 2, -1, -1, 0, value, index), 4);
  EXPECT_EQ(value, 5 + 2 + 3 + 0);
  EXPECT_EQ(index, 4);
  EXPECT_EQ(ds.getSelectSpctmCCDValueX(0, 1, 1, 2, 3, 0, 0, value, index), 0);
  EXPECT_EQ(ds.getSelectSpctmCCDValueX(0, 1, 1, 2, 1, -2, 0, value, index), 0);

  ds.selTimeBegin = 0;
  ds.selTimeEnd = 1;
  ds.selFreqBegin = 0;
  ds.selFreqEnd = 0;
  EXPECT_EQ(ds.getValueSelectTimFrq(-1, 99, 0), (1.0 - 4.0) / 2.0);
  EXPECT_EQ(ds.getValueSelectTimFrq(0, 0, 0), 0.0);
}

TEST(TrialEstimate, MegabytesFollowTheWorkedExamples) {
  CSpctmTrlCCDatazq ds;
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 0, 0), 156.25);
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, true, 1, 0), 312.5);
  EXPECT_EQ(ds.estimateDataSizeMB(64, 100, 50, false, 1, 1), 625.0);
  EXPECT_EQ(ds.estimateDataSizeMB(64, 0, 50, false, 1, 1), 0.0);
  EXPECT_EQ(ds.estimateDataSizeMB(0, 100, 50, false, 1, 1), 0.0);
}

TEST_F(TrialMatrixTest, ScaleTouchesEveryPlaneButNotTheBackup) {
  EXPECT_EQ(ds.scaleSpctmAllDataType4Class(2.0), 0);
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 2, 2, true, 1, 1, nullptr, nullptr), 1);
  const double re[] = {1, 2}, im[] = {3, 4};
  const double* reRows[] = {re, re};
  const double* imRows[] = {im, im};
  auto& pair = ds.pairMatrix[1][0];
  ASSERT_EQ(pair.addSpctmData2ChannelCWTri(reRows, imRows, 2, 2), 1);
  ds.pairMatrix[0][1].plane[2][1][1] = -1.5;
  EXPECT_EQ(ds.scaleSpctmAllDataType4Class(2.0), 1);
  EXPECT_EQ(pair.plane[0][1][1], 4.0);
  EXPECT_EQ(pair.plane[1][0][0], 6.0);
  EXPECT_EQ(ds.pairMatrix[0][1].plane[2][1][1], -3.0);
  EXPECT_EQ(pair.rawPlane[0][1][1], 2.0);
  EXPECT_EQ(ds.reloadSpctmDataTrl(), 1);  // only that pair holds a backup
  EXPECT_EQ(pair.plane[0][1][1], 2.0);
  ds._cleanSpctmCC();
  EXPECT_EQ(ds.reloadSpctmDataTrl(), 0);
}

TEST_F(TrialMatrixTest, AnimationVisitsEveryCellTimeFastest) {
  EXPECT_EQ(ds.animateCCDSpctmPx(), 0);
  ASSERT_EQ(ds.checkInitSpctmCCData(1, 1, 2, 2, true, 0, 0, nullptr, nullptr), 1);
  ds.timePt = ds.freqPt = 2;
  const int64_t expected[4][2] = {{1, 0}, {0, 1}, {1, 1}, {0, 0}};
  for (const auto& cell : expected) {
    ASSERT_EQ(ds.animateCCDSpctmPx(), 1);
    EXPECT_EQ(ds.selTimeBegin, cell[0]);
    EXPECT_EQ(ds.selTimeEnd, cell[0]);
    EXPECT_EQ(ds.selFreqBegin, cell[1]);
    EXPECT_EQ(ds.selFreqEnd, cell[1]);
  }
}

TEST_F(TrialMatrixTest, CopiesAreDeepAndIndependent) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 3, 2, 2, true, 1, 0, &dlg, &text), 1);
  ds.pairMatrix[1][2].plane[1][1][0] = 4.25;
  ASSERT_EQ(ds.summaryByDataType[0].checkInit(2, 2), 1);
  ds.trialName = "copied";
  CSpctmTrlCCDatazq copy(ds);
  ASSERT_NE(copy.pairMatrix, nullptr);
  EXPECT_NE(copy.pairMatrix, ds.pairMatrix);
  EXPECT_NE(copy.pairMatrix[1][2].plane[1], ds.pairMatrix[1][2].plane[1]);
  EXPECT_EQ(copy.pairMatrix[1][2].plane[1][1][0], 4.25);
  EXPECT_NE(copy.summaryByDataType[0].cellMin, ds.summaryByDataType[0].cellMin);
  EXPECT_EQ(copy.progressDlg, &dlg);
  EXPECT_EQ(copy.trialName, "copied");
  ds.pairMatrix[1][2].plane[1][1][0] = 0.0;
  EXPECT_EQ(copy.pairMatrix[1][2].plane[1][1][0], 4.25);

  CSpctmTrlCCDatazq other;
  ASSERT_EQ(other.checkInitSpctmCCData(4, 4, 3, 3, true, 0, 0, nullptr, nullptr), 1);
  other = copy;
  EXPECT_EQ(other.rowSnsCount, 2);
  EXPECT_EQ(other.colSnsCount, 3);
  EXPECT_EQ(other.pairMatrix[1][2].plane[1][1][0], 4.25);
  auto& self = other;
  other = self;
  EXPECT_EQ(other.pairMatrix[1][2].plane[1][1][0], 4.25);
}

TEST_F(TrialMatrixTest, CopyThatRunsOutOfMemoryHasNoMatrix) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 2, 2, true, 0, 0, nullptr, nullptr), 1);
  const char* expected[] = {"Is memory enough?!", "Is memory enough?!", "Has enough memory?"};
  for (int n = 1; n <= 3; ++n) {
    SCOPED_TRACE(n);
    messages.clear();
    megcxc::AllocationFailureScope failing(n);
    CSpctmTrlCCDatazq copy(ds);
    EXPECT_EQ(copy.pairMatrix, nullptr);
    EXPECT_EQ(copy.rowSnsCount + copy.colSnsCount, 0);
    EXPECT_EQ(messages.only(), expected[n - 1]);
  }
}

TEST_F(TrialMatrixTest, CleaningKeepsCurrentSensorsAndClearsSummaries) {
  ASSERT_EQ(ds.checkInitSpctmCCData(2, 2, 2, 2, true, 0, 0, nullptr, nullptr), 1);
  ds.curActSns = 1;
  ds.summaryByDataType[2].isComputed = 1;
  EXPECT_EQ(ds._cleanSpctmCC(), 1);
  EXPECT_EQ(ds.pairMatrix, nullptr);
  EXPECT_EQ(ds.rowSnsCount, 0);
  EXPECT_EQ(ds.curActSns, 1);
  EXPECT_EQ(ds.summaryByDataType[2].isComputed, 1);
  EXPECT_EQ(ds._cleanAll(), 1);
  EXPECT_EQ(ds.summaryByDataType[2].isComputed, 0);
}

}  // namespace
