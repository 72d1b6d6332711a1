// The dataset list and the channel-pair list of the manager window: row texts,
// images, listItemId, clamping of the active sensor, marking pairs.
#include <QMenu>

#include "ui/manager_logic.h"
#include "ui_test_support.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

class ManagerListsTest : public ManagerFixture {};

TEST_F(ManagerListsTest, DatasetRowsDescribeEachClassInOrder) {
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

TEST_F(ManagerListsTest, OnlyControlDatasetTakesRowZero) {
  CSpctmTrlCCDatazq* control = addTrial(face, 1, 2, 2, 1, 1);
  control->listItemId = 5;
  face.currentClass = 1;
  showManager();
  ASSERT_EQ(dlg().listTrial->rowCount(), 1);
  EXPECT_EQ(trialText(0, 0), "Control CxC");
  EXPECT_EQ(control->listItemId, 0);
}

// Pair rows show pair k of row curActSns and the three planes' values at the
// corner (selTimeBegin, selFreqBegin) of the selection.
TEST_F(ManagerListsTest, PairRowsShowSensorsGridAndValuesAtSelectionCorner) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 4, 5, 6);
  trial->curActSns = 99;  // beyond the rows: clamped to the last and stored back
  trial->selTimeBegin = 3;
  trial->selTimeEnd = 4;
  trial->selFreqBegin = 4;
  trial->selFreqEnd = 5;
  showManager();
  EXPECT_EQ(trial->curActSns, 2);
  ASSERT_EQ(dlg().listPairs->rowCount(), 4);
  // Pair (2, 1): 1000 * (type + 1) + 100 * 2 + 10 * 1 + time 3 + 0.01 * freq 4.
  const char* pair21[kPairColumnCount] = {"2", "C2", "xC1", "5", "6", "1213.040000", "2213.040000", "3213.040000"};
  for (int k = 0; k < kPairColumnCount; ++k) EXPECT_EQ(pairText(1, k), pair21[k]) << k;
  EXPECT_EQ(dlg().listPairs->itemImage(1), kImagePlain);

  trial->selTimeBegin = 5;  // outside the grid
  dlg().listPairs->fillPairRows();
  for (int column = 5; column < 8; ++column) EXPECT_EQ(pairText(0, column), "None") << column;
  trial->selTimeBegin = 1;
  CSpctmBasicx::freeBufferF2d(0, 0, trial->pairMatrix[2][0].plane[1]);
  dlg().listPairs->fillPairRows();
  EXPECT_EQ(pairText(0, 5), "1201.040000");
  EXPECT_EQ(pairText(0, 6), "None");
  EXPECT_EQ(pairText(0, 7), "3201.040000");
}

TEST_F(ManagerListsTest, ShowMarksChosenPairsAndLeavesOthers) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 6, 1, 1);
  trial->curActSns = 1;
  trial->pairMatrix[1][0].isSelected = true;
  showManager();
  auto* list = dlg().listPairs;
  for (int row : {2, 5}) {
    list->selectionModel()->select(list->model()->index(row, 0),
                                   QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  std::unique_ptr<QMenu> menu(dlg().createPairContextMenu());
  ASSERT_EQ(menu->actions().size(), 3);
  ASSERT_EQ(menu->actions()[1]->text(), "Show");
  menu->actions()[1]->trigger();
  for (int k = 0; k < 6; ++k) {
    const bool marked = k == 0 || k == 2 || k == 5;
    EXPECT_EQ(trial->pairMatrix[1][k].isSelected, marked) << k;
    EXPECT_EQ(list->itemImage(k), marked ? kImageMarked : kImagePlain) << k;
    EXPECT_FALSE(trial->pairMatrix[0][k].isSelected) << k;
  }
}

TEST_F(ManagerListsTest, ListsRefuseMissingClassDatasetOrMatrix) {
  addTrial(face, 0, 1, 1, 1, 1);
  CListSpctmCohCCDTrialzq trials;
  trials.collection = &face;
  EXPECT_EQ(trials.insertClassRow(1), 0);
  EXPECT_EQ(trials.insertClassRow(3), 0);
  trials.collection = nullptr;
  EXPECT_EQ(trials.insertClassRow(0), 0);
  CListSpctmCohCCDatasetzq pairs;
  EXPECT_EQ(pairs.markSelectedPairs(), 0);
  EXPECT_EQ(pairs.fillPairRows(), 0);
  CSpctmTrlCCDatazq empty;
  pairs.shownTrial = &empty;
  EXPECT_EQ(pairs.markSelectedPairs(), -1);
}

}  // namespace
}  // namespace megcxc::test
