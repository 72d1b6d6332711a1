#include "ui/dlg_spctm_coh_dataset_editor.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "ui/qt_text.h"

namespace {

QLineEdit* numberEdit(QWidget* owner) {
  auto* edit = new QLineEdit;
  auto* validator = new QDoubleValidator(owner);
  validator->setLocale(QLocale::c());
  edit->setValidator(validator);
  edit->setAlignment(Qt::AlignRight);
  edit->setMinimumWidth(90);
  return edit;
}

}  // namespace

CDlgSpctmCohDatasetEditor::CDlgSpctmCohDatasetEditor(QWidget* parent) : QDialog(parent) {
  setObjectName("CDlgSpctmCohDatasetEditor");
  setWindowTitle("Spectral Coherence Dataset Editor");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  auto* grid = new QGridLayout;
  const char* axes[3] = {"X", "Y", "Z"};
  for (int i = 0; i < 3; ++i) {
    editFirst[i] = numberEdit(this);
    editSecond[i] = numberEdit(this);
    grid->addWidget(new QLabel(axes[i]), 0, 2 * i);
    grid->addWidget(editFirst[i], 0, 2 * i + 1);
    grid->addWidget(new QLabel(axes[i]), 1, 2 * i);
    grid->addWidget(editSecond[i], 1, 2 * i + 1);
  }
  editCoefficient = numberEdit(this);
  editName = new QLineEdit;
  checkShow = new QCheckBox("Show");
  grid->addWidget(new QLabel("Coefficient"), 2, 0, 1, 2);
  grid->addWidget(editCoefficient, 2, 2, 1, 2);
  grid->addWidget(new QLabel("Name"), 3, 0, 1, 2);
  grid->addWidget(editName, 3, 2, 1, 4);
  grid->addWidget(checkShow, 4, 2, 1, 2);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &CDlgSpctmCohDatasetEditor::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(buttons);
}

int CDlgSpctmCohDatasetEditor::DoModal() {
  const QLocale c = QLocale::c();
  for (int i = 0; i < 3; ++i) {
    editFirst[i]->setText(c.toString(firstXYZ[i], 'g', 15));
    editSecond[i]->setText(c.toString(secondXYZ[i], 'g', 15));
  }
  editCoefficient->setText(c.toString(coefficient, 'g', 15));
  editName->setText(megcxc::ui::toQString(name));
  checkShow->setChecked(showChecked);
  if (exec() != QDialog::Accepted) return IDCANCEL;
  readNumbers(firstXYZ, secondXYZ, coefficient);
  name = megcxc::ui::toCString(editName->text());
  showChecked = checkShow->isChecked();
  return IDOK;
}

bool CDlgSpctmCohDatasetEditor::readNumbers(double first[3], double second[3], double& coeff) {
  const QLocale c = QLocale::c();
  auto read = [&](QLineEdit* edit, double& out) {
    bool ok = false;
    const double v = c.toDouble(edit->text().trimmed(), &ok);
    if (ok) out = v;
    return ok;
  };
  double f[3];
  double s[3];
  double k = 0.0;
  for (int i = 0; i < 3; ++i) {
    if (!read(editFirst[i], f[i]) || !read(editSecond[i], s[i])) {
      AfxMessageBox("Please enter a number.", MB_OK);
      return false;
    }
  }
  if (!read(editCoefficient, k)) {
    AfxMessageBox("Please enter a number.", MB_OK);
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    first[i] = f[i];
    second[i] = s[i];
  }
  coeff = k;
  return true;
}

void CDlgSpctmCohDatasetEditor::accept() {
  double f[3];
  double s[3];
  double k = 0.0;
  if (!readNumbers(f, s, k)) return;
  QDialog::accept();
}
