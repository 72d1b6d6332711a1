// The handlers of the manager window, driven through its real buttons, menus,
// edits, combo boxes and lists.
#include <cmath>
#include <stdexcept>

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
  press(kCmdStepTime);
  EXPECT_EQ(dlg().comboOperation->currentText(), "A/C");
}

TEST_F(ManagerHandlersTest, ExitHidesTheWindowShowReusesItAndTheCollectionDeletesIt) {
  auto owner = std::make_unique<CMEGSpctmCCDataFacezq>();
  ASSERT_EQ(owner->showDlgSpctmCohManager(nullptr), 1);
  QPointer<QDialog> first = owner->managerDlg;
  owner->managerDlg->button(kCmdExit)->click();
  EXPECT_FALSE(first->isVisible());
  ASSERT_EQ(owner->showDlgSpctmCohManager(nullptr), 1);
  EXPECT_EQ(owner->managerDlg, first.data());
  EXPECT_TRUE(first->isVisible());
  owner.reset();
  EXPECT_TRUE(first.isNull());
}

TEST_F(ManagerHandlersTest, CombosSetOperationAndActiveSensor) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 2, 1, 1);
  showManager();
  pick(dlg().comboOperation, 2);
  EXPECT_EQ(face.actCtlOperation, 2);
  ASSERT_EQ(dlg().comboActSns->count(), 3);
  EXPECT_EQ(dlg().comboActSns->itemText(2), "2->2");
  pick(dlg().comboActSns, 2);
  EXPECT_EQ(trial->curActSns, 2);
  EXPECT_EQ(pairText(1, 1), "C2");
  dlg().listPairs->setCurrentCell(1, 0);
  EXPECT_EQ(trial->curCxcSns, 1);
}

// Apply makes the active dataset current and sets its selection to the typed
// indices clamped into the grid; -1 keeps the stored bounds, only clamped.
TEST_F(ManagerHandlersTest, ApplyReselectsActiveAndClampsTypedOrStoredIndices) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 2, 2, 10, 8);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 10, 8);
  active->selTimeBegin = 4;
  active->selTimeEnd = 12;
  active->selFreqBegin = -2;
  active->selFreqEnd = 5;
  showManager();
  chooseTrialRow(1);
  ASSERT_EQ(face.currentClass, 1);
  typeIndices("-1", "-1");
  press(kCmdApply);
  EXPECT_EQ(face.currentClass, 0);
  EXPECT_EQ(dlg().listPairs->shownTrial, active);
  EXPECT_EQ(selection(*active), Selection({4, 9, 0, 5}));
  typeIndices("25", "3");
  press(kCmdApply);
  EXPECT_EQ(selection(*active), Selection({9, 9, 3, 3}));
  EXPECT_EQ(selection(*control), Selection({0, 0, 0, 0}));
  EXPECT_EQ(pairText(0, 5), "1009.030000");
  typeIndices("abc", "2");  // the prompt; both indices keep 25 and 3
  press(kCmdApply);
  EXPECT_EQ(messages.only(), "Please enter an integer.");
  EXPECT_EQ(selection(*active), Selection({9, 9, 3, 3}));
}

TEST_F(ManagerHandlersTest, DeleteMovesToTheFirstRemainingDatasetUntilNoneIsLeft) {
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 1, 1, 1, 1);
  for (int c : {0, 2}) addTrial(face, c, 1, 1, 1, 1);
  showManager();
  chooseTrialRow(2);
  ASSERT_EQ(face.currentClass, 2);
  press(kCmdDelete);
  EXPECT_EQ(face.trialByClass[2], nullptr);
  EXPECT_EQ(face.currentClass, 0);
  EXPECT_EQ(dlg().listTrial->rowCount(), 2);
  EXPECT_EQ(dlg().windowTitle(), "Spectral CxC Manager-Active CxC");
  press(kCmdDelete);
  EXPECT_EQ(face.currentClass, 1);
  EXPECT_EQ(dlg().listPairs->shownTrial, control);
  press(kCmdDelete);
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
  press(kCmdStepTime);
  press(kCmdStepFreq);
  EXPECT_EQ(selection(*trial), Selection({0, 1, 0, 0}));
  press(kCmdStepTime);
  EXPECT_EQ(dlg().editTimeIndex->text(), "1");
  EXPECT_EQ(pairText(0, 5), "1001.000000");
}

// Every class holds 2 x 3 pairs of 4 time x 5 frequency points. The mean of
// cellValue over time replaces t by 1.5 (mean of 0..3), over frequency f by 2
// (mean of 0..4); pair (1, 2) then holds 1000 (type + 1) + 120 + t + 0.01 f.
TEST_F(ManagerHandlersTest, ZipCommandsCollapseTheirAxesToTheMean) {
  const int commands[3] = {kCmdZipTime, kCmdZipFreq, kCmdZipTimeFreq};
  for (int c = 0; c < 3; ++c) addTrial(face, c, 2, 3, 4, 5)->selTimeBegin = 2;
  showManager();
  for (int c = 0; c < 3; ++c) {
    const bool time = c != 1;
    const bool freq = c != 0;
    const CSpctmTrlCCDatazq& trial = *face.trialByClass[c];
    chooseTrialRow(c);
    press(commands[c]);
    ASSERT_EQ(trial.timePt, time ? 1 : 4) << c;
    ASSERT_EQ(trial.freqPt, freq ? 1 : 5) << c;
    for (int dt = 0; dt < 3; ++dt) {
      for (int64_t t = 0; t < trial.timePt; ++t) {
        for (int64_t f = 0; f < trial.freqPt; ++f) {
          const double mean = 1000.0 * (dt + 1) + 120.0 + (time ? 1.5 : t) + 0.01 * (freq ? 2.0 : f);
          EXPECT_NEAR(trial.pairMatrix[1][2].plane[dt][t][f], mean, 1e-9) << c << dt << t << f;
        }
      }
    }
    EXPECT_EQ(trial.selTimeBegin, time ? 0 : 2) << c;
    EXPECT_EQ(dlg().editTimeIndex->text(), time ? "0" : "2") << c;
    EXPECT_EQ(pairText(0, 4), freq ? "1" : "5") << c;
  }
  chooseTrialRow(0);
  press(kCmdZipTime);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time-slice!?");
}

// Active: 2 x 2 pairs, 3 time x 4 frequency points; control: 2 time points.
// After collapsing the control, A-C of cell [t][f] is
// cellValue(t) - (cellValue(0) + cellValue(1)) / 2 = t - 0.5.
TEST_F(ManagerHandlersTest, ActiveMinusControlAsksToCollapseControlAndRunsOnlyOnYes) {
  addTrial(face, 0, 2, 2, 3, 4);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 2, 4);
  showManager();
  messages.setAnswer(IDNO);
  press(kCmdActCtl);
  EXPECT_EQ(messages.only(), "This operation requires Control dataset has 1 time-slice");
  EXPECT_EQ(messages.types()[0] & 0xF, MB_YESNO);
  EXPECT_EQ(control->timePt, 2);
  EXPECT_EQ(face.trialByClass[2], nullptr);

  messages.clear();
  messages.setAnswer(IDYES);
  press(kCmdActCtl);
  EXPECT_EQ(control->timePt, 1);
  const CSpctmTrlCCDatazq* result = face.trialByClass[2];
  ASSERT_NE(result, nullptr);
  for (int64_t t = 0; t < 3; ++t) {
    for (int64_t f = 0; f < 4; ++f) EXPECT_NEAR(result->pairMatrix[1][0].plane[0][t][f], t - 0.5, 1e-9);
  }
  EXPECT_EQ(dlg().listTrial->rowCount(), 3);
}

// One pair, one cell: real 2, imaginary -3, no power/phase plane. Per line the
// RMS is the square root of the per-row RMS (sqrt(2), sqrt(3)); an absent
// plane prints zeros.
TEST_F(ManagerHandlersTest, StatisticsReportsShowHeaderAndTheThreeSections) {
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
  press(kCmdStatisticF);
  ASSERT_NE(richInfo.window(), nullptr);
  EXPECT_EQ(richInfo.shownText(),
            "Name         Freq         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n"
            "\n***Real***\n"
            "T: 5.000000   2.000000   2.000000   2.000000   2.000000   1.414214 \n"
            "All Time-Freq:2.000000   2.000000   2.000000   2.000000   1.414214 \n"
            "\n***Imaginary***\n"
            "T: 5.000000   -3.000000   -3.000000   -3.000000   3.000000   1.732051 \n"
            "All Time-Freq:-3.000000   -3.000000   -3.000000   3.000000   1.732051 \n"
            "\n***Power/Phase***\n"
            "T: 5.000000   0.000000   0.000000   0.000000   0.000000   0.000000 \n"
            "All Time-Freq:0.000000   0.000000   0.000000   0.000000   0.000000 \n");
  EXPECT_TRUE(richInfo.window()->isVisible());
  press(kCmdStatisticT);
  EXPECT_TRUE(richInfo.shownText().startsWith(
      "Name         Time         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n\n***Real***\n"));
}

TEST_F(ManagerHandlersTest, SetNameKeepsTheNameOnCancelAndRenamesOnOk) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 1, 1, 1, 1);
  showManager();
  for (const bool ok : {false, true}) {
    QTimer::singleShot(0, [ok] {
      auto* input = qobject_cast<CDlgInputString*>(QApplication::activeModalWidget());
      ASSERT_NE(input, nullptr);
      EXPECT_EQ(input->edit->text(), "Active CxC");
      input->edit->setText("Left hemisphere");
      ok ? input->accept() : input->reject();
    });
    press(kCmdSetName);
    EXPECT_EQ(trial->trialName, ok ? "Left hemisphere" : "Active CxC");
    EXPECT_EQ(trialText(0, 0), ok ? "Left hemisphere" : "Active CxC");
  }
}

TEST_F(ManagerHandlersTest, ComputeMenuRunsOnEveryDataset) {
  addTrial(face, 0, 2, 2, 1, 2);
  addTrial(face, 1, 2, 2, 1, 2);
  showManager();
  press(kCmdComputeMagnitude);
  press(kCmdZeroDiagonal);
  const double re = cellValue(1, 0, 0, 1, 0);
  const double im = cellValue(1, 0, 0, 1, 1);
  for (int c = 0; c < 2; ++c) {
    const CSpctmTrlCCDatazq& trial = *face.trialByClass[c];
    EXPECT_NEAR(trial.pairMatrix[1][0].plane[2][0][1], std::sqrt(re * re + im * im), 1e-9) << c;
    for (int dt = 0; dt < 3; ++dt) EXPECT_EQ(trial.pairMatrix[1][1].plane[dt][0][1], 0.0) << c << dt;
  }
  EXPECT_EQ(pairText(0, 5), "0.000000");
}

// A manager window whose report window fails while the wait cursor is shown.
class FailingReportDialog : public CDlgSpctmCCDataManager {
  void showReport(const CString&, const CString&) override {
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    throw std::runtime_error("report window failed");
  }
};

TEST_F(ManagerHandlersTest, WaitCursorIsRestoredWhenAHandlerThrows) {
  addTrial(face, 0, 1, 1, 1, 1);
  FailingReportDialog window;
  window.showFor(&face);
  window.runCommand(kCmdStatisticF);
  EXPECT_EQ(messages.only(), "report window failed");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
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
