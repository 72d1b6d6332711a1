// CQtWnd: hands a Qt widget to library calls that take a parent window
// (CWnd*), such as showDlgSpctmCohManager.
#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/cdialog.h"

class CQtWnd : public CWnd {
 public:
  explicit CQtWnd(QWidget* widget = nullptr) : widget_(widget) {}
  // The widget, or null when none was given or it was deleted.
  QWidget* widget() const { return widget_.data(); }

 private:
  QPointer<QWidget> widget_;
};
