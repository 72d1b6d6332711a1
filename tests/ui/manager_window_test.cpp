// The manager window driven through its real buttons, menus, edits, combo
// boxes and lists: the dataset and channel-pair lists (row texts, images,
// listItemId, clamping of the active sensor, marking pairs) and the handlers.
#include <cmath>
#include <stdexcept>

#include <QMenu>
#include <QPointer>

#include "ui/manager_logic.h"
#include "ui/rich_infozq.h"
#include "ui_test_support.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

class ManagerWindowTest : public ManagerFixture {};

TEST_F(ManagerWindowTest, DatasetRowsDescribeEachClassInOrder) {
  // Unknown types read "Cmp?" / "Store?"; the delay is truncated toward zero.
  const int cmpt[3] = {0, 1, 7};
  const double delay[3] = {12.9, -3.7, 0.0};
  const char* texts[3][kTrialColumnCount] = {{"Active CxC", "CWT", "Real Time", "Coh", "1x2", "2x3", "12"},
                                             {"Control CxC", "GBT", "Accumulate", "Coh", "2x3", "2x4", "-3"},
                                             {"Act-Ctl CxC", "Cmp?", "Wave-Cross", "Coh", "3x4", "2x5", "0"}};
  for (int c = 0; c < 3; ++c) {
    CSpctmTrlCCDatazq* trial = addTrial(face, c, c + 1, c + 2, 2, c + 3);
    ASSERT_NE(trial, nullptr);
    trial->cmptType = cmpt[c];
    trial->storeType = c;
    trial->delay = delay[c];
    trial->iconFlag = c == 1;
    trial->cxcType = "Coh";
  }
  showManager();
  ASSERT_EQ(dlg().listTrial->rowCount(), 3);
  for (int c = 0; c < 3; ++c) {
    for (int k = 0; k < kTrialColumnCount; ++k) EXPECT_EQ(trialText(c, k), texts[c][k]) << c << ", " << k;
    EXPECT_EQ(dlg().listTrial->itemImage(c), c == 1 ? kImageMarked : kImagePlain) << c;
    EXPECT_EQ(face.trialByClass[c]->listItemId, c);
  }
  face.trialByClass[0]->storeType = 5;
  dlg().logic.refreshLists();
  EXPECT_EQ(trialText(0, 2), "Store?");
}

// Pair rows show pair k of row curActSns and the three planes' values at the
// corner (selTimeBegin, selFreqBegin) of the selection; Show marks the chosen
// pairs and leaves the others.
TEST_F(ManagerWindowTest, PairRowsShowSensorsGridAndValuesAtSelectionCornerAndShowMarksChosenPairs) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 4, 5, 6);
  trial->curActSns = 99;  // beyond the rows: clamped to the last and stored back
  trial->pairMatrix[2][0].isSelected = true;
  setSelection(*trial, {3, 4, 4, 5});
  showManager();
  EXPECT_EQ(trial->curActSns, 2);
  auto* list = dlg().listPairs;
  ASSERT_EQ(list->rowCount(), 4);
  // Pair (2, 1): 1000 * (type + 1) + 100 * 2 + 10 * 1 + time 3 + 0.01 * freq 4.
  const char* pair21[kPairColumnCount] = {"2", "C2", "xC1", "5", "6", "1213.040000", "2213.040000", "3213.040000"};
  for (int k = 0; k < kPairColumnCount; ++k) EXPECT_EQ(pairText(1, k), pair21[k]) << k;

  trial->selTimeBegin = 5;  // outside the grid
  list->fillPairRows();
  for (int column = 5; column < 8; ++column) EXPECT_EQ(pairText(0, column), "None") << column;

  for (int row : {2, 3}) {
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::unique_ptr<QMenu> menu(dlg().createPairContextMenu());
  ASSERT_EQ(menu->actions().size(), 3);
  ASSERT_EQ(menu->actions()[1]->text(), "Show");
  menu->actions()[1]->trigger();
  for (int k = 0; k < 4; ++k) {
    const bool marked = k != 1;
    EXPECT_EQ(trial->pairMatrix[2][k].isSelected, marked) << k;
    EXPECT_EQ(list->itemImage(k), marked ? kImageMarked : kImagePlain) << k;
    EXPECT_FALSE(trial->pairMatrix[1][k].isSelected) << k;
  }
}

// The first show displays A-C whatever the operation until a refresh; the
// step commands move the box one up and wrap to the start; the combo boxes
// set the operation and the active sensor.
TEST_F(ManagerWindowTest, FirstShowSteppingAndCombos) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 2, 10, 8);
  setSelection(*trial, {8, 9, 7, 7});
  face.actCtlOperation = 3;
  showManager();
  EXPECT_EQ(dlg().comboOperation->currentText(), "A-C");
  EXPECT_EQ(dlg().windowTitle(), "Spectral Coherence Manager");
  press(kCmdStepTime);
  press(kCmdStepFreq);
  EXPECT_EQ(dlg().comboOperation->currentText(), "A/C");
  EXPECT_EQ(selection(*trial), Selection({0, 1, 0, 0}));
  press(kCmdStepTime);
  EXPECT_EQ(dlg().editTimeIndex->text(), "1");
  EXPECT_EQ(pairText(0, 5), "1001.000000");

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
TEST_F(ManagerWindowTest, ApplyReselectsActiveAndClampsTypedOrStoredIndices) {
  CSpctmTrlCCDatazq* active = addTrial(face, 0, 2, 2, 10, 8);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 10, 8);
  setSelection(*active, {4, 12, -2, 5});
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

TEST_F(ManagerWindowTest, DeleteMovesToTheFirstRemainingDatasetUntilNoneIsLeft) {
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 1, 1, 1, 1);
  for (int c : {0, 2}) addTrial(face, c, 1, 1, 1, 1);
  showManager();
  chooseTrialRow(2);
  ASSERT_EQ(face.currentClass, 2);
  press(kCmdDelete);
  EXPECT_EQ(face.currentClass, 0);
  EXPECT_EQ(dlg().windowTitle(), "Spectral CxC Manager-Active CxC");
  press(kCmdDelete);
  EXPECT_EQ(dlg().listPairs->shownTrial, control);
  EXPECT_EQ(control->listItemId, 0);  // the control alone takes row 0
  press(kCmdDelete);
  EXPECT_EQ(face.currentClass, -1);
  EXPECT_EQ(dlg().listPairs->rowCount(), 0);
}

// Every class holds 2 x 3 pairs of 4 time x 5 frequency points; each command
// collapses its axes of the chosen dataset.
TEST_F(ManagerWindowTest, ZipCommandsCollapseTheirAxes) {
  const int commands[3] = {kCmdZipTime, kCmdZipFreq, kCmdZipTimeFreq};
  for (int c = 0; c < 3; ++c) addTrial(face, c, 2, 3, 4, 5)->selTimeBegin = 2;
  showManager();
  for (int c = 0; c < 3; ++c) {
    const bool time = c != 1;
    const bool freq = c != 0;
    const CSpctmTrlCCDatazq& trial = *face.trialByClass[c];
    chooseTrialRow(c);
    press(commands[c]);
    EXPECT_EQ(trial.timePt, time ? 1 : 4) << c;
    EXPECT_EQ(trial.freqPt, freq ? 1 : 5) << c;
    EXPECT_EQ(trial.selTimeBegin, time ? 0 : 2) << c;
    EXPECT_EQ(dlg().editTimeIndex->text(), time ? "0" : "2") << c;
    EXPECT_EQ(pairText(0, 4), freq ? "1" : "5") << c;
  }
  chooseTrialRow(0);
  press(kCmdZipTime);
  EXPECT_EQ(messages.only(), "Spectral data have only 1 time-slice!?");
}

// Active: 2 x 2 pairs, 3 time x 4 frequency points; control: 2 time points.
// The compute menu runs on every dataset. After collapsing the control, A-C
// of cell [t][f] is cellValue(t) - (cellValue(0) + cellValue(1)) / 2 = t - 0.5.
TEST_F(ManagerWindowTest, ComputeMenuRunsOnEveryDatasetAndActiveMinusControlAsksToCollapseControl) {
  addTrial(face, 0, 2, 2, 3, 4);
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 2, 4);
  showManager();
  press(kCmdComputeMagnitude);
  press(kCmdZeroDiagonal);
  const double re = cellValue(1, 0, 0, 1, 0), im = cellValue(1, 0, 0, 1, 1);
  for (int c = 0; c < 2; ++c) {
    const CSpctmTrlCCDatazq& trial = *face.trialByClass[c];
    EXPECT_NEAR(trial.pairMatrix[1][0].plane[2][0][1], std::sqrt(re * re + im * im), 1e-9) << c;
    for (int dt = 0; dt < 3; ++dt) EXPECT_EQ(trial.pairMatrix[1][1].plane[dt][0][1], 0.0) << c << dt;
  }
  EXPECT_EQ(pairText(0, 5), "0.000000");

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

// A manager window whose report window fails while the wait cursor is shown.
class FailingReportDialog : public CDlgSpctmCCDataManager {
  void showReport(const CString&, const CString&) override {
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    throw std::runtime_error("report window failed");
  }
};

// One pair, one cell: real 2, imaginary -3, no power/phase plane. Per line the
// RMS is the square root of the per-row RMS (sqrt(2), sqrt(3)); an absent
// plane prints zeros. The wait cursor is restored when a report fails.
TEST_F(ManagerWindowTest, StatisticsReportsShowHeaderAndTheThreeSectionsAndFailuresRestoreTheCursor) {
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
  const QString text = richInfo.shownText();
  EXPECT_TRUE(text.startsWith("Name         Freq ")) << text.toStdString();
  EXPECT_TRUE(text.contains("T: 5.000000   -3.000000   -3.000000   -3.000000   3.000000   1.732051 \n"));
  EXPECT_TRUE(text.endsWith("All Time-Freq:0.000000   0.000000   0.000000   0.000000   0.000000 \n"));
  EXPECT_TRUE(richInfo.window()->isVisible());
  press(kCmdStatisticT);
  EXPECT_TRUE(richInfo.shownText().startsWith("Name         Time "));

  FailingReportDialog window;
  window.showFor(&face);
  window.runCommand(kCmdStatisticF);
  EXPECT_EQ(messages.only(), "report window failed");
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Without a dataset the handlers only exchange data. Exit hides the window,
// showing again reuses it and deleting the collection deletes it.
TEST_F(ManagerWindowTest, WindowWithoutDatasetsAndItsLifetime) {
  showManager();
  for (int id : {kCmdApply, kCmdDelete, kCmdStepTime, kCmdStepFreq, kCmdZipTime, kCmdStatisticF, kCmdSetName,
                 kCmdComputePhase, kCmdShowPairs}) {
    dlg().runCommand(id);
  }
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(face.getTotalSpctmDataSets(), 0);
  EXPECT_FALSE(dlg().logic.wantsPairContextMenu());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

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

}  // namespace
}  // namespace megcxc::test
