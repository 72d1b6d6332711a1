// The dataset list and the channel-pair list of the manager window: row texts,
// images, listItemId, clamping of the active sensor, marking pairs.
#include <QMenu>

#include "ui/manager_logic.h"
#include "ui_test_support.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

class ManagerListsTest : public ManagerFixture {};

TEST_F(ManagerListsTest, DatasetRowShowsUnknownTypesMatrixGridAndWholeDelay) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 30, 30, 5, 40);
  ASSERT_NE(trial, nullptr);
  trial->cmptType = 7;
  trial->storeType = 5;
  trial->cxcType = "Coh";
  trial->delay = -3.7;
  trial->iconFlag = false;
  showManager();
  ASSERT_EQ(dlg().listTrial->rowCount(), 1);
  EXPECT_EQ(trialText(0, 0), "Active CxC");
  EXPECT_EQ(trialText(0, 1), "Cmp?");
  EXPECT_EQ(trialText(0, 2), "Store?");
  EXPECT_EQ(trialText(0, 3), "Coh");
  EXPECT_EQ(trialText(0, 4), "30x30");
  EXPECT_EQ(trialText(0, 5), "5x40");
  EXPECT_EQ(trialText(0, 6), "-3");
  EXPECT_EQ(dlg().listTrial->itemImage(0), kImagePlain);
}

TEST_F(ManagerListsTest, DatasetRowsNameEveryKnownTypeInClassOrder) {
  const int cmpt[3] = {0, 1, 0};
  const int store[3] = {0, 1, 2};
  for (int c = 0; c < 3; ++c) {
    CSpctmTrlCCDatazq* trial = addTrial(face, c, 1, 1, 1, 1);
    trial->cmptType = cmpt[c];
    trial->storeType = store[c];
    trial->delay = 12.9;
    trial->iconFlag = c == 1;
  }
  showManager();
  ASSERT_EQ(dlg().listTrial->rowCount(), 3);
  EXPECT_EQ(trialText(0, 0), "Active CxC");
  EXPECT_EQ(trialText(1, 0), "Control CxC");
  EXPECT_EQ(trialText(2, 0), "Act-Ctl CxC");
  EXPECT_EQ(trialText(0, 1), "CWT");
  EXPECT_EQ(trialText(1, 1), "GBT");
  EXPECT_EQ(trialText(0, 2), "Real Time");
  EXPECT_EQ(trialText(1, 2), "Accumulate");
  EXPECT_EQ(trialText(2, 2), "Wave-Cross");
  EXPECT_EQ(trialText(2, 6), "12");
  EXPECT_EQ(dlg().listTrial->itemImage(0), kImagePlain);
  EXPECT_EQ(dlg().listTrial->itemImage(1), kImageMarked);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(face.trialByClass[c]->listItemId, c);
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

TEST_F(ManagerListsTest, InsertClassRowRefusesMissingOrInvalidClass) {
  addTrial(face, 0, 1, 1, 1, 1);
  showManager();
  EXPECT_EQ(dlg().listTrial->insertClassRow(1), 0);
  EXPECT_EQ(dlg().listTrial->insertClassRow(3), 0);
  dlg().listTrial->collection = nullptr;
  EXPECT_EQ(dlg().listTrial->insertClassRow(0), 0);
}

TEST_F(ManagerListsTest, PairRowsShowSensorsGridAndValuesAtSelectionCorner) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 3, 4, 5, 6);
  trial->curActSns = 2;
  trial->selTimeBegin = 3;
  trial->selTimeEnd = 4;
  trial->selFreqBegin = 4;
  trial->selFreqEnd = 5;
  showManager();
  ASSERT_EQ(dlg().listPairs->rowCount(), 4);
  EXPECT_EQ(pairText(1, 0), "2");
  EXPECT_EQ(pairText(1, 1), "C2");
  EXPECT_EQ(pairText(1, 2), "xC1");
  EXPECT_EQ(pairText(1, 3), "5");
  EXPECT_EQ(pairText(1, 4), "6");
  // 1000 * (type + 1) + 100 * row 2 + 10 * column 1 + time 3 + 0.01 * freq 4
  EXPECT_EQ(pairText(1, 5), "1213.040000");
  EXPECT_EQ(pairText(1, 6), "2213.040000");
  EXPECT_EQ(pairText(1, 7), "3213.040000");
  EXPECT_EQ(dlg().listPairs->itemImage(1), kImagePlain);
}

TEST_F(ManagerListsTest, ValuesReadNoneOutsideGridOrWithoutPlane) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 2, 2, 5, 3);
  trial->selTimeBegin = 7;
  showManager();
  for (int column = 5; column < 8; ++column) EXPECT_EQ(pairText(0, column), "None") << column;

  trial->selTimeBegin = 1;
  CSpctmBasicx::freeBufferF2d(0, 0, trial->pairMatrix[0][0].plane[1]);
  dlg().listPairs->fillPairRows();
  EXPECT_EQ(pairText(0, 5), "1001.000000");
  EXPECT_EQ(pairText(0, 6), "None");
  EXPECT_EQ(pairText(0, 7), "3001.000000");
}

TEST_F(ManagerListsTest, ActiveSensorBeyondRowsIsStoredBackAsLastRow) {
  CSpctmTrlCCDatazq* trial = addTrial(face, 0, 30, 2, 1, 1);
  trial->curActSns = 99;
  showManager();
  EXPECT_EQ(trial->curActSns, 29);
  EXPECT_EQ(pairText(0, 1), "C29");
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
  menu->actions()[1]->trigger();  // "Show"
  for (int k = 0; k < 6; ++k) {
    const bool marked = k == 0 || k == 2 || k == 5;
    EXPECT_EQ(trial->pairMatrix[1][k].isSelected, marked) << k;
    EXPECT_EQ(list->itemImage(k), marked ? kImageMarked : kImagePlain) << k;
    EXPECT_FALSE(trial->pairMatrix[0][k].isSelected) << k;
  }
}

TEST_F(ManagerListsTest, MarkSelectedPairsReportsMissingDatasetOrMatrix) {
  CListSpctmCohCCDatasetzq list;
  EXPECT_EQ(list.markSelectedPairs(), 0);
  EXPECT_EQ(list.fillPairRows(), 0);
  CSpctmTrlCCDatazq empty;
  list.shownTrial = &empty;
  EXPECT_EQ(list.markSelectedPairs(), -1);
  EXPECT_EQ(list.insertPairRow(0), 0);
}

TEST_F(ManagerListsTest, ColumnsAndPopupCarryTheirTitles) {
  showManager();
  const char* trialTitles[] = {"Class", "Spectral Type", "Store Type", "CxC Type", "CxC Channels", "Time-Freq",
                               "Delay"};
  const char* pairTitles[] = {"Name", "Chn A", "Chn B", "Time", "Freq", "Real", "Imag", "Power/Phase"};
  ASSERT_EQ(dlg().listTrial->columnCount(), 7);
  ASSERT_EQ(dlg().listPairs->columnCount(), 8);
  for (int c = 0; c < 7; ++c) {
    EXPECT_EQ(dlg().listTrial->horizontalHeaderItem(c)->text(), trialTitles[c]);
    EXPECT_EQ(dlg().listTrial->columnWidth(c), 90);
  }
  for (int c = 0; c < 8; ++c) EXPECT_EQ(dlg().listPairs->horizontalHeaderItem(c)->text(), pairTitles[c]);
  std::unique_ptr<QMenu> menu(dlg().createPairContextMenu());
  EXPECT_EQ(menu->title(), "COHPM");
  QStringList texts;
  for (QAction* a : menu->actions()) texts << a->text();
  EXPECT_EQ(texts, QStringList({"Edit", "Show", "Hide"}));
}

}  // namespace
}  // namespace megcxc::test
