#include "ui/report_list_ctrl.h"

#include <algorithm>

#include <QFocusEvent>
#include <QHeaderView>
#include <QSignalBlocker>

#include "ui/manager_logic.h"
#include "ui/qt_text.h"
#include "ui/ui_resources.h"

using megcxc::ui::toQString;

CReportListCtrl::CReportListCtrl(QWidget* parent) : QTableWidget(parent) {
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setWordWrap(false);
  setSortingEnabled(false);
  setTextElideMode(Qt::ElideRight);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  verticalHeader()->setVisible(false);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setStretchLastSection(false);
  setIconSize(QSize(16, 16));
}

void CReportListCtrl::setReportColumns(const char* const* titles, int count, int width) {
  setColumnCount(0);
  setColumnCount(count);
  for (int c = 0; c < count; ++c) {
    auto* header = new QTableWidgetItem(QString::fromUtf8(titles[c]));
    header->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setHorizontalHeaderItem(c, header);
    setColumnWidth(c, width);
  }
}

int CReportListCtrl::initImageLists() {
  largeImageList.clear();
  smallImageList.clear();
  for (int i = 0; i < 2; ++i) {
    largeImageList.append(QIcon(megcxc::ui::listImage(i, 32)));
    smallImageList.append(QIcon(megcxc::ui::listImage(i, 16)));
  }
  setShowGrid(true);
  setMouseTracking(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  return 1;
}

int CReportListCtrl::insertItem(int position, const CString& text, int image) {
  const QSignalBlocker block(this);
  const int count = rowCount();
  const int row = (position < 0 || position > count) ? count : position;
  insertRow(row);
  auto* item = new QTableWidgetItem(toQString(text));
  item->setToolTip(item->text());
  item->setData(kImageRole, image);
  if (image >= 0 && image < smallImageList.size()) item->setIcon(smallImageList[image]);
  setItem(row, 0, item);
  return row;
}

bool CReportListCtrl::setItemText(int row, int column, const CString& text) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return false;
  const QSignalBlocker block(this);
  QTableWidgetItem* cell = item(row, column);
  if (cell == nullptr) {
    cell = new QTableWidgetItem;
    setItem(row, column, cell);
  }
  cell->setText(toQString(text));
  // Columns are narrow; the whole text shows on hover.
  cell->setToolTip(cell->text());
  return true;
}

int CReportListCtrl::insertRowTexts(int position, const megcxc::ui::RowTexts& row, int count) {
  const int index = insertItem(position, row.text[0], row.image);
  for (int c = 1; c < count; ++c) setItemText(index, c, row.text[c]);
  return index;
}

void CReportListCtrl::deleteAllItems() {
  const QSignalBlocker block(this);
  clearSelection();
  setRowCount(0);
}

bool CReportListCtrl::isItemSelected(int row) const {
  if (row < 0 || row >= rowCount() || selectionModel() == nullptr) return false;
  return selectionModel()->isRowSelected(row, QModelIndex());
}

QString CReportListCtrl::itemText(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell != nullptr ? cell->text() : QString();
}

int CReportListCtrl::itemImage(int row) const {
  const QTableWidgetItem* cell = item(row, 0);
  if (cell == nullptr) return -1;
  return cell->data(kImageRole).toInt();
}

void CReportListCtrl::restoreCurrentRow(int row, bool select) {
  if (row < 0 || row >= rowCount() || selectionModel() == nullptr) return;
  const QSignalBlocker block(this);
  const QModelIndex index = model()->index(row, 0);
  selectionModel()->setCurrentIndex(index, select ? QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows
                                                  : QItemSelectionModel::NoUpdate);
}

void CReportListCtrl::fitColumns(int minimumWidth) {
  for (int c = 0; c < columnCount(); ++c) {
    const int contents = std::max(sizeHintForColumn(c), horizontalHeader()->sectionSizeHint(c));
    setColumnWidth(c, std::max(minimumWidth, contents + 8));
  }
}

void CReportListCtrl::focusInEvent(QFocusEvent* event) {
  takingFocus_ = true;
  QTableWidget::focusInEvent(event);
  takingFocus_ = false;
}
