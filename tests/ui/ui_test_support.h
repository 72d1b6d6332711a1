// Builders of small collections with known values, and a fixture that shows
// the real manager window of a collection and drives its widgets.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <tuple>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "face/meg_spctm_cc_data_facezq.h"
#include "spectral/spctm_basicx.h"
#include "support/message_recorder.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"
#include "ui/list_spctm_coh_ccd_trialzq.h"

namespace megcxc::test {

// Value of plane dt of pair (r, c) at [t][f] used by the builders: distinct
// for every coordinate so that each cell can be checked.
inline double cellValue(int64_t r, int64_t c, int64_t t, int64_t f, int dt) {
  return 1000.0 * (dt + 1) + 100.0 * r + 10.0 * c + t + 0.01 * f;
}

// Puts a dataset of rows x cols pairs with planes of timePt x freqPt (all
// three planes, cells from cellValue, chnA = r, chnB = c) into `cls`.
inline CSpctmTrlCCDatazq* addTrial(CMEGSpctmCCDataFacezq& face, int cls, int64_t rows, int64_t cols,
                                   int64_t timePt, int64_t freqPt) {
  CSpctmTrlCCDatazq* trial =
      face.checkInitSpctmCxCData4Class(cls, rows, cols, timePt, freqPt, true, 1, 1, nullptr, nullptr);
  if (trial == nullptr) return nullptr;
  for (int64_t r = 0; r < rows; ++r) {
    for (int64_t c = 0; c < cols; ++c) {
      CSpctmChnChnDatazq& pair = trial->pairMatrix[r][c];
      pair.chnA = r;
      pair.chnB = c;
      pair.isSelected = false;
      for (int dt = 0; dt < 3; ++dt) {
        double* cells = megcxc::planeData(pair.plane[dt], timePt);
        for (int64_t t = 0; t < timePt; ++t) {
          for (int64_t f = 0; f < freqPt; ++f) cells[t * freqPt + f] = cellValue(r, c, t, f, dt);
        }
      }
      pair.storeData2Backupfile();
    }
  }
  trial->setSpctmTimePtFreqPt(timePt, freqPt, 1);
  trial->hasRealPlane = trial->hasImagPlane = trial->hasPowerPhasePlane = 1;
  trial->selTimeBegin = trial->selTimeEnd = trial->selFreqBegin = trial->selFreqEnd = 0;
  return trial;
}

// selTimeBegin, selTimeEnd, selFreqBegin and selFreqEnd of a dataset.
using Selection = std::array<int64_t, 4>;
inline Selection selection(const CSpctmTrlCCDatazq& t) { return {t.selTimeBegin, t.selTimeEnd, t.selFreqBegin, t.selFreqEnd}; }
inline void setSelection(CSpctmTrlCCDatazq& t, const Selection& s) {
  std::tie(t.selTimeBegin, t.selTimeEnd, t.selFreqBegin, t.selFreqEnd) = std::tie(s[0], s[1], s[2], s[3]);
}

// A collection, its manager window and the messages shown meanwhile.
class ManagerFixture : public ::testing::Test {
 protected:
  void showManager() {
    ASSERT_EQ(face.showDlgSpctmCohManager(nullptr), 1);
    ASSERT_NE(face.managerDlg, nullptr);
  }
  CDlgSpctmCCDataManager& dlg() { return *face.managerDlg; }
  // Clicks the button of command `id`, or triggers its menu item.
  void press(int id) {
    if (QPushButton* b = dlg().button(id)) return b->click();
    QAction* a = dlg().menuAction(id);
    ASSERT_NE(a, nullptr) << id;
    a->trigger();
  }
  void typeIndices(const QString& time, const QString& freq) {
    dlg().editTimeIndex->setText(time);
    dlg().editFreqIndex->setText(freq);
  }
  void chooseTrialRow(int row) { dlg().listTrial->setCurrentCell(row, 0); }
  void pick(QComboBox* box, int index) {
    box->setCurrentIndex(index);
    emit box->activated(index);
  }
  QString pairText(int row, int column) { return dlg().listPairs->itemText(row, column); }
  QString trialText(int row, int column) { return dlg().listTrial->itemText(row, column); }

  MessageRecorder messages{IDOK};
  CMEGSpctmCCDataFacezq face;
};

}  // namespace megcxc::test
