#include "ui/dataset_views.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

#include "host/names.h"
#include "trial/spctm_trl_cc_datazq.h"
#include "ui/pair_image_view.h"
#include "ui/pair_matrix_view.h"
#include "ui/qt_text.h"
#include "ui/statistics_plot.h"

namespace host = megcxc::host;

CDatasetViews::CDatasetViews(QWidget* parent) : QWidget(parent) {
  setObjectName("datasetViews");
  comboPlane = new QComboBox;
  comboPlane->setObjectName("comboPlane");
  for (int k = 0; k < host::kDataTypeCount; ++k) comboPlane->addItem(QString::fromUtf8(host::dataTypeTitle(k)));
  comboPlane->setCurrentIndex(2);
  comboPlane->setToolTip("The plane the pictures show");
  comboReduction = new QComboBox;
  comboReduction->setObjectName("comboReduction");
  comboReduction->addItems({"at the selected point", "mean over the selected box"});
  comboReduction->setToolTip("Matrix value of each pair: the cell at the box's first corner (as the pair list "
                             "shows it) or the mean over the box");
  comboReport = new QComboBox;
  comboReport->setObjectName("comboReport");
  comboReport->addItems({"per frequency", "per time point"});
  comboReport->setToolTip("Axis of the statistics plot (the StatisticF / Statistic T report)");
  checkDiagonal = new QCheckBox("leave out the diagonal");
  checkDiagonal->setObjectName("checkDiagonal");
  checkDiagonal->setChecked(true);
  checkDiagonal->setToolTip("Pairs of a sensor with itself are drawn grey and kept out of the colour scale");
  planeNote = new QLabel;
  planeNote->setObjectName("planeNote");

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Plane:"));
  controls->addWidget(comboPlane);
  controls->addWidget(new QLabel("Matrix:"));
  controls->addWidget(comboReduction);
  controls->addWidget(checkDiagonal);
  controls->addWidget(new QLabel("Report:"));
  controls->addWidget(comboReport);
  controls->addStretch(1);
  controls->addWidget(planeNote);

  matrix = new CPairMatrixView;
  image = new CPairImageView;
  plot = new CStatisticsPlot;
  auto* right = new QSplitter(Qt::Vertical);
  right->addWidget(image);
  right->addWidget(plot);
  right->setChildrenCollapsible(false);
  auto* split = new QSplitter(Qt::Horizontal);
  split->addWidget(matrix);
  split->addWidget(right);
  split->setChildrenCollapsible(false);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(controls);
  layout->addWidget(split, 1);

  connect(comboPlane, &QComboBox::currentIndexChanged, this, [this] { refresh(true); });
  connect(comboReduction, &QComboBox::currentIndexChanged, this, [this] { refreshMatrix(); });
  connect(checkDiagonal, &QCheckBox::toggled, this, [this] { refreshMatrix(); });
  connect(comboReport, &QComboBox::currentIndexChanged, this, [this] { refreshStatistics(); });
  connect(matrix, &CPairMatrixView::pairClicked, this, &CDatasetViews::pairChosen);
  connect(image, &CPairImageView::selectionChosen, this, &CDatasetViews::selectionChosen);
  showDataset(nullptr, third_);
}

void CDatasetViews::showDataset(CSpctmTrlCCDatazq* dataset, host::ThirdPlane third) {
  dataset_ = dataset;
  third_ = third;
  refresh(true);
}

void CDatasetViews::setLabels(const host::AxisLabelSource& labels) {
  labels_ = labels;
  matrix->setLabels(labels);
  refresh(false);
}

int CDatasetViews::dataType() const { return comboPlane->currentIndex(); }

QString CDatasetViews::planeName(int type) const {
  if (type == 2) return QString("Power/Phase (%1)").arg(QString::fromUtf8(host::thirdPlaneWords(third_)));
  return QString::fromUtf8(host::dataTypeTitle(type));
}

void CDatasetViews::refresh(bool valuesChanged) {
  planeNote->setText(QString("Power/Phase plane holds: <b>%1</b>").arg(QString::fromUtf8(host::thirdPlaneWords(third_))));
  refreshMatrix();
  refreshImage();
  if (valuesChanged) refreshStatistics();
  if (dataset_ != nullptr) {
    const host::GridBox box = host::selectionBox(*dataset_);
    plot->setSelectedRange(comboReport->currentIndex() == 0 ? box.freqBegin : box.timeBegin,
                           comboReport->currentIndex() == 0 ? box.freqEnd : box.timeEnd);
  }
}

void CDatasetViews::refreshMatrix() {
  if (dataset_ == nullptr) {
    matrix->setValues({}, "No dataset", QString());
    return;
  }
  const host::GridBox box = host::selectionBox(*dataset_);
  const bool mean = comboReduction->currentIndex() == 1;
  host::ValueGrid grid = host::valuesAtSelection(*dataset_, dataType(), box,
                                                 mean ? host::BoxReduction::mean : host::BoxReduction::corner,
                                                 checkDiagonal->isChecked());
  const std::vector<double> hz = host::frequencyAxisHz(*dataset_);
  const std::vector<double> times = host::timeAxis(*dataset_, labels_);
  auto at = [](const std::vector<double>& axis, int64_t k) {
    return k >= 0 && k < static_cast<int64_t>(axis.size()) ? axis[static_cast<std::size_t>(k)] : 0.0;
  };
  QString where;
  if (mean) {
    where = QString("mean over time %1..%2 %3, %4..%5 Hz")
                .arg(at(times, box.timeBegin)).arg(at(times, box.timeEnd)).arg(host::timeUnit(labels_))
                .arg(at(hz, box.freqBegin), 0, 'f', 2).arg(at(hz, box.freqEnd), 0, 'f', 2);
  } else {
    where = QString("at time %1 %2, %3 Hz")
                .arg(at(times, box.timeBegin)).arg(host::timeUnit(labels_))
                .arg(at(hz, box.freqBegin), 0, 'f', 2);
  }
  matrix->setValues(std::move(grid),
                    QString("%1: %2, %3")
                        .arg(megcxc::ui::toQString(dataset_->trialName), planeName(dataType()), where),
                    QString::fromUtf8(host::dataTypeTitle(dataType())));
  matrix->setCurrentPair(dataset_->curActSns, dataset_->curCxcSns);
}

void CDatasetViews::refreshImage() {
  if (dataset_ == nullptr) {
    image->setImage({}, QString(), QString());
    return;
  }
  const int64_t r = dataset_->curActSns;
  const int64_t c = dataset_->curCxcSns;
  image->setImage(host::pairImage(*dataset_, dataType(), r, c),
                  QString("Pair %1 \xC3\x97 %2: %3")
                      .arg(QString::fromStdString(host::sensorLabel(labels_, r)),
                           QString::fromStdString(host::sensorLabel(labels_, c)), planeName(dataType())),
                  QString::fromUtf8(host::dataTypeTitle(dataType())));
  image->setAxes(host::timeAxis(*dataset_, labels_), QString::fromUtf8(host::timeUnit(labels_)),
                 host::frequencyAxisHz(*dataset_), dataset_->freqAxisLog != 0);
  image->setSelection(host::selectionBox(*dataset_));
}

void CDatasetViews::refreshStatistics() {
  if (dataset_ == nullptr) {
    plot->setSeries({}, {}, QString(), QString());
    return;
  }
  const bool timeReport = comboReport->currentIndex() == 1;
  std::vector<double> positions = timeReport ? host::timeAxis(*dataset_, labels_) : host::frequencyAxisHz(*dataset_);
  const QString axis = timeReport ? QString("time (%1)").arg(host::timeUnit(labels_))
                                  : QString(dataset_->freqAxisLog ? "frequency (Hz, geometric axis)" : "frequency (Hz)");
  plot->setSeries(host::statisticsSeries(*dataset_, dataType(), timeReport), std::move(positions), axis,
                  QString("Statistics %1 over all pairs: %2").arg(timeReport ? "per time point" : "per frequency",
                                                                  planeName(dataType())));
  const host::GridBox box = host::selectionBox(*dataset_);
  plot->setSelectedRange(timeReport ? box.timeBegin : box.freqBegin, timeReport ? box.timeEnd : box.freqEnd);
}
