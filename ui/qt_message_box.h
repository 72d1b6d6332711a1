// The GUI's presentation of the library's messages: while a Qt application
// runs, AfxMessageBox shows a QMessageBox (OK, or Yes/No for a question).
#pragma once

#include "platform/message_box.h"

namespace megcxc::ui {

// Shows `text` in a modal QMessageBox over the active window and returns
// IDOK, or IDYES / IDNO for MB_YESNO. The wait cursor (if any) is replaced by
// the arrow while the box is open.
int qtMessageBox(const CString& text, unsigned type);

// Installs qtMessageBox as the message handler for its lifetime and restores
// the previous handler afterwards.
class CQtMessageBoxScope {
 public:
  CQtMessageBoxScope() : previous_(setMessageBoxHandler(qtMessageBox)) {}
  ~CQtMessageBoxScope() { setMessageBoxHandler(previous_); }
  CQtMessageBoxScope(const CQtMessageBoxScope&) = delete;
  CQtMessageBoxScope& operator=(const CQtMessageBoxScope&) = delete;

 private:
  MessageBoxHandler previous_;
};

}  // namespace megcxc::ui
