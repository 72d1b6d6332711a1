#include "ui/dlg_input_string.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "ui/qt_text.h"

using megcxc::ui::toCString;
using megcxc::ui::toQString;

CDlgInputString::CDlgInputString(QWidget* parent, const QString& title, const QString& prompt)
    : QDialog(parent) {
  setObjectName("CDlgInputString");
  setWindowTitle(title);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  label = new QLabel(prompt);
  edit = new QLineEdit;
  edit->setMinimumWidth(320);
  label->setBuddy(edit);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(edit);
  layout->addWidget(buttons);
}

int CDlgInputString::DoModal() {
  edit->setText(toQString(inputText));
  edit->selectAll();
  edit->setFocus();
  if (exec() != QDialog::Accepted) return IDCANCEL;
  inputText = toCString(edit->text());
  return IDOK;
}
