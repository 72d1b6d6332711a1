// CDlgSpctmCohDatasetEditor: "Spectral Coherence Dataset Editor", a modal
// dialog a host can open to edit two X, Y, Z triples, a coefficient, a name
// and a "Show" flag of a dataset. The library itself never opens it; what the
// values mean is the host's business.
#pragma once

#include <QDialog>

#include "platform/cstring.h"

class QCheckBox;
class QLineEdit;

class CDlgSpctmCohDatasetEditor : public QDialog {
  Q_OBJECT

 public:
  static constexpr int IDD = 40031;

  explicit CDlgSpctmCohDatasetEditor(QWidget* parent = nullptr);

  // Shows the dialog with the values below; IDOK after OK (the edited values
  // are then stored back), IDCANCEL otherwise (values kept). OK is refused
  // with a message while a number edit does not hold a number.
  int DoModal();

  double firstXYZ[3] = {0.0, 0.0, 0.0};
  double secondXYZ[3] = {0.0, 0.0, 0.0};
  double coefficient = 0.0;
  CString name;
  // State of the "Show" check box.
  bool showChecked = false;

  QLineEdit* editFirst[3] = {nullptr, nullptr, nullptr};
  QLineEdit* editSecond[3] = {nullptr, nullptr, nullptr};
  QLineEdit* editCoefficient = nullptr;
  QLineEdit* editName = nullptr;
  QCheckBox* checkShow = nullptr;

 protected:
  void accept() override;

 private:
  // Parses every number edit; false (after a message) at the first that does
  // not hold a number.
  bool readNumbers(double first[3], double second[3], double& coeff);
};
