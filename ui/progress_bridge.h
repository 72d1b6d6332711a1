// CProgressBridge: the host's progress window as the library sees it.
//
// Dataset initialisation writes a progress text into the host's string and
// posts WM_APP + 9 to the host's dialog. This stand-in dialog turns each
// notice into a progress bar value and label text and lets the window paint
// at once (the work runs on the UI thread, so nothing would be drawn until it
// ends). It is "visible" only while a long operation is announced (begin ..
// end), so notices outside that span are not even formatted.
#pragma once

#include <QPointer>
#include <QString>

#include "platform/cdialog.h"
#include "platform/cstring.h"

class QLabel;
class QProgressBar;

class CProgressBridge : public CDialog {
 public:
  // Drives `bar` and `label` (either may be null); neither is owned.
  CProgressBridge(QProgressBar* bar, QLabel* label);

  // The string the library writes its notices into.
  CString progressText;

  // Shows the bar with `what` and a busy indicator until the first notice.
  void begin(const QString& what);
  // Hides the bar again.
  void end();

  bool PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;

 private:
  QPointer<QProgressBar> bar_;
  QPointer<QLabel> label_;
};
