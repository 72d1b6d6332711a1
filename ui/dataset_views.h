// CDatasetViews: the three linked pictures of the manager's current dataset,
// shown in the host window beside the manager window:
//   - the sensor x sensor matrix of one plane at the selection box,
//   - the time x frequency image of the current pair with the box,
//   - the statistics report of the plane as mean and min-max band.
// It follows the dataset's own fields (current pair curActSns x curCxcSns,
// selection box); a click in the matrix or a box drawn on the image is
// passed on as a request (pairChosen, selectionChosen) for the host to apply,
// so the manager and the pictures change together.
#pragma once

#include <cstdint>

#include <QWidget>

#include "host/views.h"

class QCheckBox;
class QComboBox;
class QLabel;
class CPairImageView;
class CPairMatrixView;
class CStatisticsPlot;
class CSpctmTrlCCDatazq;

class CDatasetViews : public QWidget {
  Q_OBJECT

 public:
  explicit CDatasetViews(QWidget* parent = nullptr);

  // Shows `dataset` (null: nothing) whose power/phase plane holds `third`.
  void showDataset(CSpctmTrlCCDatazq* dataset, megcxc::host::ThirdPlane third);
  CSpctmTrlCCDatazq* dataset() const { return dataset_; }
  // Redraws from the dataset's current fields. The statistics pass over every
  // cell, so they are recomputed only when `valuesChanged` (or the plane or
  // report axis changed).
  void refresh(bool valuesChanged);
  // Sensor names and sampling rate, where the host knows them.
  void setLabels(const megcxc::host::AxisLabelSource& labels);

  CPairMatrixView* matrix = nullptr;
  CPairImageView* image = nullptr;
  CStatisticsPlot* plot = nullptr;
  QComboBox* comboPlane = nullptr;
  QComboBox* comboReduction = nullptr;
  QComboBox* comboReport = nullptr;
  QCheckBox* checkDiagonal = nullptr;
  // Which quantity the power/phase plane holds.
  QLabel* planeNote = nullptr;

 signals:
  void pairChosen(qint64 row, qint64 column);
  void selectionChosen(qint64 timeBegin, qint64 timeEnd, qint64 freqBegin, qint64 freqEnd);

 private:
  int dataType() const;
  QString planeName(int dataType) const;
  void refreshMatrix();
  void refreshImage();
  void refreshStatistics();

  CSpctmTrlCCDatazq* dataset_ = nullptr;
  megcxc::host::ThirdPlane third_ = megcxc::host::ThirdPlane::unknown;
  megcxc::host::AxisLabelSource labels_;
};
