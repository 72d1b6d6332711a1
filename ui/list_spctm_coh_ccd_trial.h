// CListSpctmCohCCDTrial: the dataset list of the manager in report form, one
// row per class dataset; a single row is chosen at a time.
#pragma once

#include "ui/report_list_ctrl.h"

class CListSpctmCohCCDTrial : public CReportListCtrl {
  Q_OBJECT

 public:
  explicit CListSpctmCohCCDTrial(QWidget* parent = nullptr);
};
