#include "ui/list_spctm_coh_cc_dataset.h"

CListSpctmCohCCDataset::CListSpctmCohCCDataset(QWidget* parent) : CReportListCtrl(parent) {
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setContextMenuPolicy(Qt::CustomContextMenu);
  setObjectName("listPairs");
}
