#include "ui/dlg_coh_dataset_settings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "ui/qt_text.h"

CDlgCohDatasetSettings::CDlgCohDatasetSettings(QWidget* parent) : QDialog(parent) {
  setObjectName("CDlgCohDatasetSettings");
  setWindowTitle("Coherence Dataset Settings");
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  editName = new QLineEdit;
  editName->setMinimumWidth(280);
  auto* form = new QFormLayout;
  form->addRow("Name", editName);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

int CDlgCohDatasetSettings::DoModal() {
  editName->setText(megcxc::ui::toQString(datasetName));
  if (exec() != QDialog::Accepted) return IDCANCEL;
  datasetName = megcxc::ui::toCString(editName->text());
  return IDOK;
}
