// The handlers of the manager window, driven through its real buttons, menus,
// edits, combo boxes and lists.
#include <cmath>

#include <QMenuBar>
#include <QPointer>

#include "ui/dlg_input_string.h"
#include "ui/manager_logic.h"
#include "ui/rich_infozq.h"
#include "ui_test_support.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

class ManagerHandlersTest : public ManagerFixture {};

TEST_F(ManagerHandlersTest, FirstShowDisplaysSubtractionWhateverTheOperationUntilRefreshed) {
  addTrial(face, 0, 2, 2, 10, 4);
  face.actCtlOperation = 3;
  showManager();
  EXPECT_EQ(dlg().comboOperation->currentText(), "A-C");
  EXPECT_EQ(dlg().windowTitle(), "Spectral Coherence Manager");
  click(kCmdStepTime);
  EXPECT_EQ(dlg().comboOperation->currentText(), "A/C");
}

TEST_F(ManagerHandlersTest, ShowingAgainReusesTheDialogAndTheCollectionDeletesIt) {
  auto owner = std::make_unique<CMEGSpctmCCDataFacezq>();
  ASSERT_EQ(owner->showDlgSpctmCohManager(nullptr), 1);
  QPointer<QDialog> first = owner->managerDlg;
  first->hide();
  ASSERT_EQ(owner->showDlgSpctmCohManager(nullptr), 1);
  EXPECT_EQ(owner->managerDlg, first.data());
  EXPECT_TRUE(first->isVisible());
  owner.reset();
  EXPECT_TRUE(first.isNull());
}

TEST_F(ManagerHandlersTest, ExitHidesTheWindowAndKeepsIt) {
  showManager();
  click(kCmdExit);
  EXPECT_FALSE(dlg().isVisible());
  showManager();
  EXPECT_TRUE(dlg().isVisible());
}

TEST_F(ManagerHandlersTest, MenusListEveryItemInOrder) {
  showManager();
  QStringList titles;
  QList<QStringList> items;
  for (QAction* top : dlg().menuBar->actions()) {
    titles << top->text();
    QStringList texts;
    for (QAction* a : top->menu()->actions()) texts << (a->isSeparator() ? QString("-") : a->text());
    items << texts;
  }
  EXPECT_EQ(titles, QStringList({"&File", "&Edit"}));
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0], QStringList({"Exit"}));
  EXPECT_EQ(items[1], QStringList({"Set Name", "-", "Zip Time", "Zip Frequency", "Zip Time-Frequency", "-",
                                   "Compute Magnitude...", "Compute Phase...", "Compute Magnitude RS...",
                                   "Compute Magnitude IS...", "-", "Zero Diagonal...", "-", "Statistic F",
                                   "Statistic T"}));
}

TEST_F(ManagerHandlersTest, ChoosingDatasetRowShowsItsPairsCaptionAndSelection) {
  addTrial(face, 0, 2, 3, 4, 4);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 3, 4, 4);
  control->selTimeBegin = 2;
  control->selFreqBegin = 3;
  control->curActSns = 1;
  showManager();
  chooseTrialRow(1);
  EXPECT_EQ(face.currentClass, 1);
  EXPECT_EQ(dlg().listPairs->shownTrial, control);
  EXPECT_EQ(dlg().windowTitle(), "Spectral CxC Manager-Control CxC");
  EXPECT_EQ(dlg().editTimeIndex->text(), "2");
  EXPECT_EQ(dlg().editFreqIndex->text(), "3");
  EXPECT_EQ(dlg().comboActSns->currentText(), "1->1");
  EXPECT_EQ(pairText(2, 5), "1122.030000");  // row 1, column 2, time 2, freq 3
}

TEST_F(ManagerHandlersTest, ChoosingPairRowSetsCrossChannelSensor) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 4, 1, 1);
  showManager();
  dlg().listPairs->setCurrentCell(2, 0);
  EXPECT_EQ(trial->curCxcSns, 2);
}

TEST_F(ManagerHandlersTest, OperationComboSetsCollectionOperation) {
  showManager();
  pick(dlg().comboOperation, 2);
  EXPECT_EQ(face.actCtlOperation, 2);
}

TEST_F(ManagerHandlersTest, ActiveSensorComboListsRowsAndShowsChosenRow) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 2, 1, 1);
  showManager();
  ASSERT_EQ(dlg().comboActSns->count(), 3);
  EXPECT_EQ(dlg().comboActSns->itemText(2), "2->2");
  pick(dlg().comboActSns, 2);
  EXPECT_EQ(trial->curActSns, 2);
  EXPECT_EQ(pairText(1, 1), "C2");
  EXPECT_EQ(pairText(1, 2), "xC1");
}

TEST_F(ManagerHandlersTest, ApplyReselectsActiveAndClampsTypedIndices) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 2, 2, 10, 8);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 10, 8);
  showManager();
  chooseTrialRow(1);
  ASSERT_EQ(face.currentClass, 1);
  typeIndices("25", "3");
  click(kCmdApply);
  EXPECT_EQ(face.currentClass, 0);
  EXPECT_EQ(dlg().listPairs->shownTrial, active);
  EXPECT_EQ(active->selTimeBegin, 9);
  EXPECT_EQ(active->selTimeEnd, 9);
  EXPECT_EQ(active->selFreqBegin, 3);
  EXPECT_EQ(active->selFreqEnd, 3);
  EXPECT_EQ(control->selTimeBegin, 0);
  EXPECT_EQ(pairText(0, 5), "1009.030000");
}

TEST_F(ManagerHandlersTest, ApplyWithMinusOneOnlyClampsStoredBounds) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 1, 1, 10, 8);
  active->selTimeBegin = 4;
  active->selTimeEnd = 12;
  active->selFreqBegin = -2;
  active->selFreqEnd = 5;
  showManager();
  typeIndices("-1", "-1");
  click(kCmdApply);
  EXPECT_EQ(active->selTimeBegin, 4);
  EXPECT_EQ(active->selTimeEnd, 9);
  EXPECT_EQ(active->selFreqBegin, 0);
  EXPECT_EQ(active->selFreqEnd, 5);
}

TEST_F(ManagerHandlersTest, IndexThatIsNotAnIntegerPromptsAndKeepsPreviousValues) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 1, 1, 10, 8);
  active->selTimeBegin = active->selTimeEnd = 6;
  showManager();
  typeIndices("abc", "2");
  click(kCmdApply);
  ASSERT_EQ(messages.texts().size(), 1u);
  EXPECT_EQ(messages.texts()[0], "Please enter an integer.");
  EXPECT_EQ(active->selTimeBegin, 6);
  EXPECT_EQ(active->selFreqBegin, 0);
}

TEST_F(ManagerHandlersTest, DeleteOfActiveControlRowLeavesActiveCurrent) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 1, 1, 1, 1);
  addTrial(face, 1, 1, 1, 1, 1);
  addTrial(face, 2, 1, 1, 1, 1);
  face.actCtlOperation = 3;
  showManager();
  chooseTrialRow(2);
  ASSERT_EQ(face.currentClass, 2);
  click(kCmdDelete);
  EXPECT_EQ(face.trialByClass[2], nullptr);
  EXPECT_EQ(face.currentClass, 0);
  EXPECT_EQ(dlg().listPairs->shownTrial, active);
  EXPECT_EQ(dlg().listTrial->rowCount(), 2);
  EXPECT_EQ(dlg().windowTitle(), "Spectral CxC Manager-Active CxC");
  EXPECT_EQ(dlg().comboOperation->currentText(), "A/C");
}

TEST_F(ManagerHandlersTest, DeleteOfLastDatasetLeavesNothingShown) {
  addTrial(face, 1, 1, 1, 1, 1);
  face.currentClass = 1;
  showManager();
  click(kCmdDelete);
  EXPECT_EQ(face.getTotalSpctmDataSets(), 0);
  EXPECT_EQ(face.currentClass, -1);
  EXPECT_EQ(dlg().listPairs->shownTrial, nullptr);
  EXPECT_EQ(dlg().listTrial->rowCount(), 0);
  EXPECT_EQ(dlg().listPairs->rowCount(), 0);
}

TEST_F(ManagerHandlersTest, TimeAndFrequencySteppingWrapsToTheStart) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 1, 1, 10, 8);
  trial->selTimeBegin = 8;
  trial->selTimeEnd = 9;
  trial->selFreqBegin = trial->selFreqEnd = 7;
  showManager();
  click(kCmdStepTime);
  EXPECT_EQ(trial->selTimeBegin, 0);
  EXPECT_EQ(trial->selTimeEnd, 1);
  click(kCmdStepFreq);
  EXPECT_EQ(trial->selFreqBegin, 0);
  EXPECT_EQ(trial->selFreqEnd, 0);
  trial->selTimeBegin = trial->selTimeEnd = 3;
  click(kCmdStepTime);
  EXPECT_EQ(trial->selTimeBegin, 4);
  EXPECT_EQ(trial->selTimeEnd, 4);
  EXPECT_EQ(dlg().editTimeIndex->text(), "4");
  EXPECT_EQ(pairText(0, 5), "1004.000000");
}

// Dataset of 2 x 3 pairs, 4 time x 5 frequency points; the mean over time of
// cellValue is 1000 + 100 r + 10 c + 1.5 + 0.01 f.
TEST_F(ManagerHandlersTest, AccumulateButtonCollapsesTimeToItsMean) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 3, 4, 5);
  trial->selTimeBegin = trial->selTimeEnd = 2;
  showManager();
  click(kCmdZipTime);
  ASSERT_EQ(trial->timePt, 1);
  EXPECT_EQ(trial->selTimeBegin, 0);
  EXPECT_EQ(trial->selTimeEnd, 0);
  const CSpctmChnChnDatazq& pair = trial->pairMatrix[1][2];
  for (int64_t f = 0; f < 5; ++f) EXPECT_NEAR(pair.plane[0][0][f], 1121.5 + 0.01 * f, 1e-9) << f;
  EXPECT_EQ(dlg().editTimeIndex->text(), "0");
  EXPECT_EQ(pairText(0, 3), "1");
}

TEST_F(ManagerHandlersTest, ZipFrequencyCollapsesFrequencyToItsMean) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 3, 4, 5);
  showManager();
  trigger(kCmdZipFreq);
  ASSERT_EQ(trial->freqPt, 1);
  EXPECT_EQ(trial->selFreqBegin, 0);
  const CSpctmChnChnDatazq& pair = trial->pairMatrix[1][2];
  for (int64_t t = 0; t < 4; ++t) EXPECT_NEAR(pair.plane[1][t][0], 2120.0 + t + 0.02, 1e-9) << t;
  EXPECT_EQ(dlg().editFreqIndex->text(), "0");
  EXPECT_EQ(pairText(0, 4), "1");
}

TEST_F(ManagerHandlersTest, ZipTimeFrequencyCollapsesToOneCell) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 3, 4, 5);
  showManager();
  trigger(kCmdZipTimeFreq);
  ASSERT_EQ(trial->timePt, 1);
  ASSERT_EQ(trial->freqPt, 1);
  EXPECT_NEAR(trial->pairMatrix[1][2].plane[2][0][0], 3121.52, 1e-9);
  EXPECT_EQ(pairText(2, 7), "3021.520000");  // pair (0, 2)
}

TEST_F(ManagerHandlersTest, ZipTimeOnSingleTimeSliceShowsTheLibraryMessage) {
  addTrial(face, 0, 1, 1, 1, 3);
  showManager();
  click(kCmdZipTime);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time-slice!?");
}

// Active: 2 x 2 pairs, 3 time x 4 frequency points; control: 2 time points.
// After collapsing the control, A-C of cell [t][f] is
// cellValue(t) - (cellValue(0) + cellValue(1)) / 2 = t - 0.5.
TEST_F(ManagerHandlersTest, ActiveMinusControlAfterYesCollapsesControlAndFillsResult) {
  addTrial(face, 0, 2, 2, 3, 4);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 2, 4);
  showManager();
  messages.setAnswer(IDYES);
  click(kCmdActCtl);
  ASSERT_FALSE(messages.texts().empty());
  EXPECT_EQ(messages.texts()[0], "This operation requires Control dataset has 1 time-slice");
  EXPECT_EQ(messages.types()[0] & 0xF, MB_YESNO);
  EXPECT_EQ(control->timePt, 1);
  CSpctmTrlCCDatazq* result = face.trialByClass[2];
  ASSERT_NE(result, nullptr);
  for (int64_t t = 0; t < 3; ++t) {
    for (int64_t f = 0; f < 4; ++f) EXPECT_NEAR(result->pairMatrix[1][0].plane[0][t][f], t - 0.5, 1e-9);
  }
  EXPECT_EQ(dlg().listTrial->rowCount(), 3);
}

TEST_F(ManagerHandlersTest, ActiveMinusControlAfterNoChangesNothing) {
  addTrial(face, 0, 2, 2, 3, 4);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 2, 4);
  showManager();
  messages.setAnswer(IDNO);
  click(kCmdActCtl);
  EXPECT_EQ(messages.only(), "This operation requires Control dataset has 1 time-slice");
  EXPECT_EQ(control->timePt, 2);
  EXPECT_EQ(face.trialByClass[2], nullptr);
  EXPECT_EQ(dlg().listTrial->rowCount(), 2);
}

// One pair, one cell: real 2, imaginary -3, no power/phase plane. Per line the
// RMS is the square root of the per-row RMS (sqrt(2), sqrt(3)); an absent
// plane prints zeros.
TEST_F(ManagerHandlersTest, FrequencyReportShowsHeaderAndTheThreeSections) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 1, 1, 1, 1);
  trial->trialName = "T";
  trial->freqFirstHz = 5.0;
  trial->freqStepHz = 1.0;
  trial->freqAxisLog = 0;
  CSpctmChnChnDatazq& pair = trial->pairMatrix[0][0];
  pair.plane[0][0][0] = 2.0;
  pair.plane[1][0][0] = -3.0;
  CSpctmBasicx::freeBufferF2d(0, 0, pair.plane[2]);
  showManager();
  click(kCmdStatisticF);
  const QString expected =
      "Name         Freq         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n"
      "\n***Real***\n"
      "T: 5.000000   2.000000   2.000000   2.000000   2.000000   1.414214 \n"
      "All Time-Freq:2.000000   2.000000   2.000000   2.000000   1.414214 \n"
      "\n***Imaginary***\n"
      "T: 5.000000   -3.000000   -3.000000   -3.000000   3.000000   1.732051 \n"
      "All Time-Freq:-3.000000   -3.000000   -3.000000   3.000000   1.732051 \n"
      "\n***Power/Phase***\n"
      "T: 5.000000   0.000000   0.000000   0.000000   0.000000   0.000000 \n"
      "All Time-Freq:0.000000   0.000000   0.000000   0.000000   0.000000 \n";
  ASSERT_NE(richInfo.window(), nullptr);
  EXPECT_EQ(richInfo.shownText(), expected);
  EXPECT_TRUE(richInfo.window()->windowTitle().contains("T"));
  EXPECT_TRUE(richInfo.window()->isVisible());
}

TEST_F(ManagerHandlersTest, TimeReportUsesTimeHeaderAndSameSectionOrder) {
  addTrial(face, 0, 1, 1, 2, 1);
  showManager();
  trigger(kCmdStatisticT);
  const QString text = richInfo.shownText();
  EXPECT_TRUE(text.startsWith("Name         Time         Minimum      Mean         Maximum      Absolute-Sum    "
                              "RMS-Sum \n\n***Real***\n"));
  const auto real = text.indexOf("***Real***");
  const auto imag = text.indexOf("***Imaginary***");
  const auto power = text.indexOf("***Power/Phase***");
  EXPECT_LT(real, imag);
  EXPECT_LT(imag, power);
  EXPECT_EQ(text.count("All Time-Freq:"), 3);
}

TEST_F(ManagerHandlersTest, SetNameRenamesCurrentDatasetOnOk) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 1, 1, 1, 1);
  showManager();
  whenModalOpens([](QWidget* modal) {
    auto* input = qobject_cast<CDlgInputString*>(modal);
    ASSERT_NE(input, nullptr);
    EXPECT_EQ(input->edit->text(), "Active CxC");
    input->edit->setText("Left hemisphere");
    input->accept();
  });
  trigger(kCmdSetName);
  EXPECT_EQ(trial->trialName, "Left hemisphere");
  EXPECT_EQ(trialText(0, 0), "Left hemisphere");
}

TEST_F(ManagerHandlersTest, SetNameKeepsNameOnCancel) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 1, 1, 1, 1);
  showManager();
  whenModalOpens([](QWidget* modal) {
    auto* input = qobject_cast<CDlgInputString*>(modal);
    ASSERT_NE(input, nullptr);
    input->edit->setText("Other");
    input->reject();
  });
  trigger(kCmdSetName);
  EXPECT_EQ(trial->trialName, "Active CxC");
}

TEST_F(ManagerHandlersTest, ComputeMagnitudeRunsOnEveryDataset) {
  addTrial(face, 0, 2, 2, 1, 2);
  addTrial(face, 1, 2, 2, 1, 2);
  showManager();
  trigger(kCmdComputeMagnitude);
  for (int c = 0; c < 2; ++c) {
    const double re = cellValue(1, 0, 0, 1, 0);
    const double im = cellValue(1, 0, 0, 1, 1);
    EXPECT_NEAR(face.trialByClass[c]->pairMatrix[1][0].plane[2][0][1], std::sqrt(re * re + im * im), 1e-9) << c;
  }
}

TEST_F(ManagerHandlersTest, ZeroDiagonalClearsOnlyDiagonalPairs) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 2, 1, 1);
  showManager();
  trigger(kCmdZeroDiagonal);
  for (int dt = 0; dt < 3; ++dt) {
    EXPECT_EQ(trial->pairMatrix[1][1].plane[dt][0][0], 0.0);
    EXPECT_EQ(trial->pairMatrix[0][1].plane[dt][0][0], cellValue(0, 1, 0, 0, dt));
  }
  EXPECT_EQ(pairText(0, 5), "0.000000");
}

TEST_F(ManagerHandlersTest, HandlersWithoutDatasetOnlyExchangeData) {
  showManager();
  for (int id : {kCmdApply, kCmdDelete, kCmdStepTime, kCmdStepFreq, kCmdZipTime, kCmdStatisticF, kCmdSetName,
                 kCmdComputePhase, kCmdShowPairs}) {
    dlg().runCommand(id);
  }
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(face.getTotalSpctmDataSets(), 0);
  EXPECT_FALSE(dlg().logic.wantsPairContextMenu());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace megcxc::test
