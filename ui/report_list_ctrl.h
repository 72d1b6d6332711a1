// CReportListCtrl: a list control in report form (columns under a header,
// one row per item, an image in the first column, grid lines, whole-row
// selection), the common base of the manager's two lists.
//
// It is a QTableWidget with a small item-oriented surface that the lists use:
// insert a row at a position, set a cell text, delete all rows, ask whether a
// row is selected. Rows are always rebuilt, never edited in place, and a
// rebuild emits no change signals, so a handler never sees the half-built
// list.
#pragma once

#include <QIcon>
#include <QList>
#include <QTableWidget>

#include "platform/cstring.h"

namespace megcxc::ui {
struct RowTexts;
}

class CReportListCtrl : public QTableWidget {
  Q_OBJECT

 public:
  explicit CReportListCtrl(QWidget* parent = nullptr);

  // Deletes the existing columns, then creates `count` left-aligned columns
  // of `width` pixels titled by `titles`.
  void setReportColumns(const char* const* titles, int count, int width);
  // The image lists: index 0 and 1 each at 16 x 16 (small, used by the
  // report rows) and 32 x 32 (large). Also sets the grid-line, hover-track
  // and full-row selection styles. Returns 1.
  int initImageLists();

  // Inserts a row at `position` (a position beyond the end, or a negative
  // one, appends) showing `text` and image `image` in its first column.
  // Returns the row's index.
  int insertItem(int position, const CString& text, int image);
  // Sets the text of a cell; false for a row or column outside the list.
  bool setItemText(int row, int column, const CString& text);
  // Inserts a row at `position` with all `count` texts and the image of
  // `row`; returns its index.
  int insertRowTexts(int position, const megcxc::ui::RowTexts& row, int count);
  void deleteAllItems();
  bool isItemSelected(int row) const;
  // Text of a cell; empty outside the list.
  QString itemText(int row, int column) const;
  // Image index shown by a row (0 or 1), or -1 outside the list.
  int itemImage(int row) const;

  // Makes `row` the current row without any change signal (none for a row
  // outside the list); `select` also selects it alone. After a rebuild this
  // keeps the list's current row on what the window shows, so that focus
  // arriving later (Tab, a closed dialog) has no reason to choose row 0.
  void restoreCurrentRow(int row, bool select);
  // Widens every column to its header and cell texts, never below
  // `minimumWidth`.
  void fitColumns(int minimumWidth);
  // True while the list takes the focus: a current row Qt chooses then is
  // not the user's choice.
  bool takingFocus() const { return takingFocus_; }

  QList<QIcon> largeImageList;
  QList<QIcon> smallImageList;

 protected:
  void focusInEvent(QFocusEvent* event) override;

 private:
  bool takingFocus_ = false;
  static constexpr int kImageRole = Qt::UserRole + 1;
};
