#include "ui/progress_bridge.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>

#include "ui/manager_logic.h"
#include "ui/qt_text.h"

CProgressBridge::CProgressBridge(QProgressBar* bar, QLabel* label)
    : CDialog(false), bar_(bar), label_(label) {}

void CProgressBridge::begin(const QString& what) {
  setVisible(true);
  if (bar_) {
    bar_->setRange(0, 0);
    bar_->show();
  }
  if (label_) label_->setText(what);
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CProgressBridge::end() {
  setVisible(false);
  if (bar_) bar_->hide();
  if (label_) label_->clear();
}

bool CProgressBridge::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  (void)wParam;
  (void)lParam;
  if (message != WM_SPCTM_PROGRESS) return true;
  int64_t total = 0;
  int64_t done = 0;
  if (bar_ && megcxc::ui::parseProgressText(progressText, total, done) && total > 0) {
    constexpr int kSteps = 1000;
    const double share = done < 0 ? 0.0 : (done > total ? 1.0 : static_cast<double>(done) / static_cast<double>(total));
    bar_->setRange(0, kSteps);
    bar_->setValue(static_cast<int>(share * kSteps));
  }
  if (label_) label_->setText(megcxc::ui::toQString(progressText));
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  return true;
}
