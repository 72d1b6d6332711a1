#include "ui/rich_infozq.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/message_box.h"
#include "ui/qt_text.h"
#include "ui/ui_resources.h"

CRichInfozq richInfo;

namespace {

// Runs from the application's destructor, while widgets may still be
// deleted.
void releaseLibraryReportWindow() { richInfo.releaseWindow(); }

}  // namespace

CRichInfozq::~CRichInfozq() { releaseWindow(); }

void CRichInfozq::releaseWindow() {
  // Deleting a widget needs the application object; without one the window
  // cannot be deleted safely and is left to the process exit.
  if (window_ != nullptr && QApplication::instance() != nullptr) delete window_.data();
  window_ = nullptr;
  view_ = nullptr;
  if (postRoutineAdded_) {
    qRemovePostRoutine(releaseLibraryReportWindow);
    postRoutineAdded_ = false;
  }
}

void CRichInfozq::createWindow() {
  auto* dialog = new QDialog(nullptr);
  dialog->setObjectName("CRichInfozq");
  dialog->setWindowIcon(megcxc::ui::managerIcon());
  dialog->setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  dialog->setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  dialog->setSizeGripEnabled(true);

  auto* view = new QPlainTextEdit;
  view->setReadOnly(true);
  view->setLineWrapMode(QPlainTextEdit::NoWrap);
  view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  auto* copy = new QPushButton("Copy");
  auto* save = new QPushButton("Save As Text...");
  auto* close = new QPushButton("Close");
  QObject::connect(copy, &QPushButton::clicked, view, [view] {
    QString selected = view->textCursor().selectedText();
    // A selection uses U+2029 between paragraphs; the clipboard wants lines.
    QApplication::clipboard()->setText(selected.isEmpty() ? view->toPlainText()
                                                          : selected.replace(QChar(0x2029), '\n'));
  });
  QObject::connect(save, &QPushButton::clicked, dialog, [this, dialog] {
    const QString path = QFileDialog::getSaveFileName(dialog, "Save Report As Text", QString(),
                                                      "Text files (*.txt);;All files (*)");
    if (!path.isEmpty() && !saveText(path)) AfxMessageBox("The report could not be saved.", MB_OK);
  });
  QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::hide);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(save);
  buttons->addStretch(1);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(view, 1);
  layout->addLayout(buttons);
  dialog->resize(900, 560);

  window_ = dialog;
  view_ = view;
  if (!postRoutineAdded_) {
    qAddPostRoutine(releaseLibraryReportWindow);
    postRoutineAdded_ = true;
  }
}

int CRichInfozq::showRichInfo02(CString text, CString name) {
  if (QApplication::instance() == nullptr) return 0;
  if (window_ == nullptr) createWindow();
  const QString title = name.IsEmpty() ? QString("Statistics") : megcxc::ui::toQString(name);
  window_->setWindowTitle(QString("Statistics - %1").arg(title));
  view_->setPlainText(megcxc::ui::toQString(text));
  window_->show();
  window_->raise();
  window_->activateWindow();
  return 1;
}

QDialog* CRichInfozq::window() const { return window_.data(); }

QString CRichInfozq::shownText() const { return view_ != nullptr ? view_->toPlainText() : QString(); }

bool CRichInfozq::saveText(const QString& path) const {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return false;
  const QByteArray bytes = shownText().toUtf8();
  return file.write(bytes) == bytes.size();
}
