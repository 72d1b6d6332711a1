#include "ui/list_spctm_coh_cc_datasetzq.h"

#include <QHeaderView>

#include "trial/spctm_trl_cc_datazq.h"
#include "ui/manager_logic.h"
#include "ui/wait_cursor.h"

using namespace megcxc::ui;

CListSpctmCohCCDatasetzq::CListSpctmCohCCDatasetzq(QWidget* parent) : CListSpctmCohCCDataset(parent) {
  connect(horizontalHeader(), &QHeaderView::sectionClicked, this,
          &CListSpctmCohCCDatasetzq::onColumnClick);
}

void CListSpctmCohCCDatasetzq::setupColumns() {
  setReportColumns(kPairColumnTitles, kPairColumnCount, kListColumnWidth);
}

int CListSpctmCohCCDatasetzq::insertPairRow(int64_t k) {
  RowTexts row;
  if (!describePairRow(shownTrial, k, row)) return 0;
  const int index = insertItem(static_cast<int>(k), row.text[0], row.image);
  if (index < 0) return 0;
  for (int column = 1; column < kPairColumnCount; ++column) {
    if (!setItemText(index, column, row.text[column])) return 0;
  }
  return 1;
}

int CListSpctmCohCCDatasetzq::fillPairRows() {
  deleteAllItems();
  CWaitCursor wait;
  if (shownTrial == nullptr) return 0;
  setUpdatesEnabled(false);
  // Every insertion fails alike without a matrix, so the first failure ends
  // the loop instead of walking a column count that no matrix backs.
  for (int64_t k = 0; k < shownTrial->colSnsCount; ++k) {
    if (insertPairRow(k) == 0 && (shownTrial->pairMatrix == nullptr || shownTrial->rowSnsCount < 1)) break;
  }
  setUpdatesEnabled(true);
  return 1;
}

int CListSpctmCohCCDatasetzq::markSelectedPairs(bool mark) {
  if (shownTrial == nullptr) return 0;
  if (shownTrial->pairMatrix == nullptr) return -1;
  if (shownTrial->curActSns > shownTrial->rowSnsCount - 1) shownTrial->curActSns = shownTrial->rowSnsCount - 1;
  if (shownTrial->curActSns < 0) shownTrial->curActSns = 0;
  if (shownTrial->rowSnsCount < 1) return -1;
  CSpctmChnChnDatazq* pairs = shownTrial->pairMatrix[shownTrial->curActSns];
  if (pairs != nullptr) {
    for (int64_t k = 0; k < shownTrial->colSnsCount && k < rowCount(); ++k) {
      if (isItemSelected(static_cast<int>(k))) pairs[k].isSelected = mark;
    }
  }
  return fillPairRows();
}

void CListSpctmCohCCDatasetzq::onColumnClick(int) {
  if (shownTrial == nullptr) return;
  CWaitCursor wait;
  fillPairRows();
}
