#include "ui/qt_message_box.h"

#include <QApplication>
#include <QCursor>
#include <QMessageBox>

#include "ui/qt_text.h"

namespace megcxc::ui {

int qtMessageBox(const CString& text, unsigned type) {
  const bool question = (type & 0x000F) == MB_YESNO;
  QMessageBox box(question ? QMessageBox::Question : QMessageBox::Warning,
                  QApplication::applicationDisplayName().isEmpty() ? QString("Spectral CxC")
                                                                   : QApplication::applicationDisplayName(),
                  toQString(text).trimmed(),
                  question ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok,
                  QApplication::activeWindow());
  if (question) box.setDefaultButton(QMessageBox::No);
  QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
  const int answer = box.exec();
  QApplication::restoreOverrideCursor();
  if (!question) return IDOK;
  return answer == QMessageBox::Yes ? IDYES : IDNO;
}

}  // namespace megcxc::ui
