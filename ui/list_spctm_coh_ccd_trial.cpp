#include "ui/list_spctm_coh_ccd_trial.h"

CListSpctmCohCCDTrial::CListSpctmCohCCDTrial(QWidget* parent) : CReportListCtrl(parent) {
  setSelectionMode(QAbstractItemView::SingleSelection);
  setObjectName("listTrial");
}
