#include "ui/list_spctm_coh_ccd_trialzq.h"

#include "face/meg_spctm_cc_data_facezq.h"
#include "ui/manager_logic.h"

using namespace megcxc::ui;

CListSpctmCohCCDTrialzq::CListSpctmCohCCDTrialzq(QWidget* parent) : CListSpctmCohCCDTrial(parent) {}

void CListSpctmCohCCDTrialzq::setupColumns() {
  setReportColumns(kTrialColumnTitles, kTrialColumnCount, kListColumnWidth);
}

int CListSpctmCohCCDTrialzq::insertClassRow(int spctmClass) {
  if (collection == nullptr) return 0;
  const int c = spctmClass == -1 ? collection->currentClass : spctmClass;
  if (c < 0 || c > 2) return 0;
  CSpctmTrlCCDatazq* trial = collection->trialByClass[c];
  if (trial == nullptr) return 0;
  const RowTexts row = describeTrialRow(*trial);
  const int index = insertItem(spctmClass, row.text[0], row.image);
  if (index < 0) return 0;
  trial->listItemId = index;
  for (int column = 1; column < kTrialColumnCount; ++column) {
    if (!setItemText(index, column, row.text[column])) return 0;
  }
  return 1;
}
