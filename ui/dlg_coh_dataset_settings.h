// CDlgCohDatasetSettings: "Coherence Dataset Settings", a modal dialog a host
// can open to edit a dataset's name. The library itself never opens it.
#pragma once

#include <QDialog>

#include "platform/cstring.h"

class QLineEdit;

class CDlgCohDatasetSettings : public QDialog {
  Q_OBJECT

 public:
  static constexpr int IDD = 40030;

  explicit CDlgCohDatasetSettings(QWidget* parent = nullptr);

  // Shows the dialog with datasetName in the "Name" edit; IDOK after OK (the
  // edited name is then in datasetName), IDCANCEL otherwise.
  int DoModal();

  CString datasetName;
  QLineEdit* editName = nullptr;
};
