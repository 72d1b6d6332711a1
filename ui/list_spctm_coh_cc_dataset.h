// CListSpctmCohCCDataset: the channel-pair list of the manager in report
// form, one row per pair of the shown sensor; several rows can be chosen at
// once (for "Show" / "Hide").
#pragma once

#include "ui/report_list_ctrl.h"

class CListSpctmCohCCDataset : public CReportListCtrl {
  Q_OBJECT

 public:
  explicit CListSpctmCohCCDataset(QWidget* parent = nullptr);
};
