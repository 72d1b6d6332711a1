// CDlgInputString: a modal one-line text prompt ("Set Name").
//
// The caller presets inputText, runs DoModal and, on IDOK, reads the edited
// text back from inputText.
#pragma once

#include <QDialog>

#include "platform/cstring.h"

class QLabel;
class QLineEdit;

class CDlgInputString : public QDialog {
  Q_OBJECT

 public:
  explicit CDlgInputString(QWidget* parent = nullptr, const QString& title = "Set Name",
                           const QString& prompt = "Name:");

  // Shows the dialog modally with inputText in the edit. IDOK after OK (the
  // edit's text is then in inputText), IDCANCEL otherwise (inputText kept).
  int DoModal();

  CString inputText;
  QLineEdit* edit = nullptr;
  QLabel* label = nullptr;
};
