// CRichInfozq: the library-wide report window for statistics reports.
//
// One object, richInfo, serves the whole library. It creates its window on
// the first report and reuses it for every later one: a read-only monospace
// text view with "Copy", "Save As Text..." and "Close". The window is deleted
// while the application object is still alive (a post routine of the
// application), so no widget outlives it.
#pragma once

#include <QPointer>
#include <QString>

#include "platform/cstring.h"

class QDialog;
class QPlainTextEdit;

class CRichInfozq {
 public:
  CRichInfozq() = default;
  ~CRichInfozq();
  CRichInfozq(const CRichInfozq&) = delete;
  CRichInfozq& operator=(const CRichInfozq&) = delete;

  // Shows `text` in the report window titled after `name` and brings the
  // window up. Returns 1; 0 when no application object exists (nothing is
  // shown).
  int showRichInfo02(CString text, CString name);

  // The window (null before the first report) and the text it shows.
  QDialog* window() const;
  QString shownText() const;
  // Writes the shown text to `path` as UTF-8; false when it cannot.
  bool saveText(const QString& path) const;
  // Deletes the window (the next report creates a new one).
  void releaseWindow();

 private:
  void createWindow();

  QPointer<QDialog> window_;
  QPointer<QPlainTextEdit> view_;
  bool postRoutineAdded_ = false;
};

// The library's report window object.
extern CRichInfozq richInfo;
