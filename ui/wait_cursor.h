// CWaitCursor: shows the wait cursor for the lifetime of the object and
// restores the previous cursor when it goes, also when an exception leaves
// the scope. Nests: each object pushes and pops one override cursor.
#pragma once

#include <QApplication>
#include <QCursor>

class CWaitCursor {
 public:
  CWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
  ~CWaitCursor() { QApplication::restoreOverrideCursor(); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;
};
