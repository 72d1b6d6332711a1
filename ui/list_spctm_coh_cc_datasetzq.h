// CListSpctmCohCCDatasetzq: the channel-pair list bound to the shown dataset.
// It lists the pairs of the dataset's active sensor (row curActSns of its
// pair matrix) with their sensors, grid and the three values at the
// selection's first corner, marks chosen pairs, and rebuilds itself when a
// column header is clicked (no sorting).
#pragma once

#include "ui/list_spctm_coh_cc_dataset.h"

class CSpctmTrlCCDatazq;

class CListSpctmCohCCDatasetzq : public CListSpctmCohCCDataset {
  Q_OBJECT

 public:
  explicit CListSpctmCohCCDatasetzq(QWidget* parent = nullptr);

  // Creates the eight columns ("Name" ... "Power/Phase"), deleting existing
  // ones.
  void setupColumns();
  // Inserts the row of pair k of the shown sensor at position k. Clamps the
  // dataset's curActSns into its rows and stores it back first. Returns 1
  // when the row and all its texts were set; 0 without dataset, matrix or
  // rows, for k outside the columns, or when a text cannot be set.
  int insertPairRow(int64_t k);
  // Deletes all rows, then inserts one per column sensor under the wait
  // cursor. 1, or 0 without shownTrial (the list is then empty).
  int fillPairRows();
  // Sets isSelected of the pair of every chosen row to `mark` ("Show": true,
  // "Hide": false; unchosen rows leave their pair as it is), then rebuilds:
  // the result of fillPairRows; 0 without shownTrial; -1 without matrix or
  // rows.
  int markSelectedPairs(bool mark = true);

  // The dataset whose pairs are shown; not owned.
  CSpctmTrlCCDatazq* shownTrial = nullptr;

 private:
  // Header click: rebuild the rows under the wait cursor.
  void onColumnClick(int column);
};
