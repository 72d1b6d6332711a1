// The host window with its pictures of the demo collection, looked at as a
// user would: the strongest pair of the matrix in the extreme colour at its
// place, a click that makes a pair current in the manager too, the selection
// box drawn where the selection is and drawn anew by a drag; the unsaved-work
// questions and the undo of Delete.
#include <cmath>
#include <fstream>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QFocusEvent>
#include <QLayout>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include "host/small_demo.h"
#include "host/views.h"
#include "support/message_recorder.h"
#include "ui/app/host_window.h"
#include "ui/colour_maps.h"
#include "ui/dataset_views.h"
#include "ui/dlg_input_string.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"
#include "ui/list_spctm_coh_ccd_trialzq.h"
#include "ui/pair_image_view.h"
#include "ui/pair_matrix_view.h"
#include "ui/statistics_plot.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;
namespace demo = megcxc::host::smalldemo;

void click(QWidget* widget, const QPointF& at, QEvent::Type type = QEvent::MouseButtonPress) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
  QMouseEvent event(type, at, widget->mapToGlobal(at), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

bool near(QRgb a, QRgb b, int tolerance = 2) {
  return std::abs(qRed(a) - qRed(b)) <= tolerance && std::abs(qGreen(a) - qGreen(b)) <= tolerance &&
         std::abs(qBlue(a) - qBlue(b)) <= tolerance;
}

class HostViewsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(1200, 900);
    ASSERT_TRUE(host.newDemoCollection());
    host.show();
    views().resize(1100, 620);
    views().matrix->resize(520, 480);
    views().image->resize(520, 300);
  }
  CDatasetViews& views() { return *host.views(); }
  CDlgSpctmCCDataManager& manager() { return *host.manager(); }
  CSpctmTrlCCDatazq* active() { return face.trialByClass[0]; }

  MessageRecorder messages{IDOK};
  QTemporaryDir dir;
  CManagerHostWindow host;
  CMEGSpctmCCDataFacezq& face = host.collection();
};

// The demo shows the active magnitudes at time 5, 10 Hz. The strongest
// off-diagonal pair there, found from the demo's formula, is drawn in the
// brightest colour of the sequential map, the weakest in the darkest; the
// diagonal is left out (grey).
TEST_F(HostViewsWindowTest, MatrixShowsTheStrongestPairInTheExtremeColourAtItsPlace) {
  int64_t strongR = -1, strongC = -1, weakR = -1, weakC = -1;
  double strong = -1.0, weak = 1e9;
  for (int64_t r = 0; r < demo::kSensors; ++r) {
    for (int64_t c = 0; c < demo::kSensors; ++c) {
      if (r == c) continue;
      double re = 0.0, im = 0.0;
      demo::demoValue(true, r, c, demo::kPeakTime, 4, re, im);
      const double m = std::hypot(re, im);
      if (m > strong) strong = m, strongR = r, strongC = c;
      if (m < weak) weak = m, weakR = r, weakC = c;
    }
  }
  ASSERT_EQ(views().dataset(), active());
  CPairMatrixView& matrix = *views().matrix;
  EXPECT_FALSE(matrix.scale().diverging);
  const QImage shot = matrix.grab().toImage();
  auto pixel = [&](int64_t r, int64_t c) { return shot.pixel(matrix.cellRect(r, c).center().toPoint()); };
  EXPECT_TRUE(near(pixel(strongR, strongC), viridisTable()[255])) << strongR << " x " << strongC;
  EXPECT_TRUE(near(pixel(weakR, weakC), viridisTable()[0])) << weakR << " x " << weakC;
  EXPECT_TRUE(near(pixel(3, 3), kNoDataColour));
  // The tooltip names the pair and its value.
  EXPECT_EQ(matrix.toolTipAt(matrix.cellRect(strongR, strongC).center()),
            QString("row %1 \xC3\x97 column %2\nPower/Phase: %3").arg(strongR).arg(strongC).arg(strong, 0, 'g', 4));

  // A signed plane gets the diverging map (its centring: ColourScaleTest).
  views().comboPlane->setCurrentIndex(1);
  EXPECT_TRUE(matrix.scale().diverging);
}

TEST_F(HostViewsWindowTest, ClickingACellMakesThatPairCurrentInTheManagerAndTheImage) {
  CPairMatrixView& matrix = *views().matrix;
  click(&matrix, matrix.cellRect(9, 10).center());
  EXPECT_EQ(active()->curActSns, 9);
  EXPECT_EQ(active()->curCxcSns, 10);
  EXPECT_EQ(manager().comboActSns->currentIndex(), 9);
  EXPECT_EQ(manager().listPairs->currentRow(), 10);
  EXPECT_EQ(manager().listPairs->itemText(10, 2), "xC10");
  const megcxc::host::ValueGrid& image = views().image->image();
  ASSERT_EQ(image.rows, demo::kTimePoints);
  double re = 0.0, im = 0.0;
  demo::demoValue(true, 9, 10, 2, 7, re, im);
  EXPECT_NEAR(image.at(2, 7), std::hypot(re, im), 1e-12);

  // The other way: a pair row chosen in the manager is outlined in the matrix
  // and shown in the image.
  manager().listPairs->setCurrentCell(4, 0);
  EXPECT_EQ(active()->curCxcSns, 4);
  demo::demoValue(true, 9, 4, 2, 7, re, im);
  EXPECT_NEAR(views().image->image().at(2, 7), std::hypot(re, im), 1e-12);
}

// The box is drawn around the selected cells: white just outside its edge,
// cell colours inside and one cell further out. A drag from one cell to
// another selects the box between them in the dataset and the manager.
TEST_F(HostViewsWindowTest, SelectionBoxIsDrawnAtTheSelectionAndADragSetsIt) {
  CPairImageView& image = *views().image;
  const megcxc::host::GridBox demoBox{demo::kPeakTime, demo::kPeakTime, 4, 4};
  ASSERT_EQ(image.selection(), demoBox);
  auto checkOutline = [&](const megcxc::host::GridBox& box) {
    const QImage shot = image.grab().toImage();
    const QRectF drawn = image.boxRect(box);
    const QRectF cell = image.boxRect({box.timeBegin, box.timeBegin, box.freqBegin, box.freqBegin});
    const int midY = static_cast<int>(drawn.center().y());
    EXPECT_EQ(shot.pixel(static_cast<int>(drawn.left()) - 1, midY), qRgb(255, 255, 255));
    EXPECT_EQ(shot.pixel(static_cast<int>(drawn.right()) + 1, midY), qRgb(255, 255, 255));
    EXPECT_NE(shot.pixel(drawn.center().toPoint()), qRgb(255, 255, 255));
    EXPECT_NE(shot.pixel(static_cast<int>(drawn.left() - cell.width() / 2), midY), qRgb(255, 255, 255));
  };
  checkOutline(demoBox);

  click(&image, image.boxRect({2, 2, 3, 3}).center());
  QMouseEvent move(QEvent::MouseMove, image.boxRect({4, 4, 6, 6}).center(), QPointF(), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&image, &move);
  click(&image, image.boxRect({4, 4, 6, 6}).center(), QEvent::MouseButtonRelease);
  const megcxc::host::GridBox dragged{2, 4, 3, 6};
  EXPECT_EQ(megcxc::host::selectionBox(*active()), dragged);
  EXPECT_EQ(manager().editTimeIndex->text(), "2");
  EXPECT_EQ(manager().editFreqIndex->text(), "3");
  EXPECT_EQ(image.selection(), dragged);
  checkOutline(dragged);
  // The manager's stepping moves the drawn box too.
  manager().runCommand(kCmdStepTime);
  EXPECT_EQ(image.selection(), (megcxc::host::GridBox{3, 5, 3, 6}));
}

// The demo's coupling lies in the 8-12 Hz band: the mean curve is drawn and
// peaks there (the series' figures: host_views_test).
TEST_F(HostViewsWindowTest, StatisticsPlotDrawsTheMeanWithItsBand) {
  CStatisticsPlot& plot = *views().plot;
  plot.resize(500, 260);
  ASSERT_EQ(static_cast<int64_t>(plot.series().mean.size()), demo::kFreqPoints);
  const QImage shot = plot.grab().toImage();
  const QRgb line = shot.pixel(plot.meanPoint(4).toPoint());
  EXPECT_TRUE(near(line, qRgb(20, 90, 140), 40)) << std::hex << line;
  views().comboReport->setCurrentIndex(1);
  EXPECT_EQ(static_cast<int64_t>(plot.series().mean.size()), demo::kTimePoints);
}

// Focus coming into the dataset list (Tab, or back from the Set Name
// dialog) after its rows were rebuilt leaves the chosen dataset chosen.
TEST_F(HostViewsWindowTest, FocusArrivingInTheDatasetListKeepsTheChosenDataset) {
  manager().listTrial->setCurrentCell(1, 0);
  ASSERT_EQ(face.currentClass, 1);
  CSpctmTrlCCDatazq* control = face.trialByClass[1];
  QTimer::singleShot(0, [] {
    auto* input = qobject_cast<CDlgInputString*>(QApplication::activeModalWidget());
    ASSERT_NE(input, nullptr);
    input->edit->setText("Baseline");
    input->accept();
  });
  manager().runCommand(kCmdSetName);
  ASSERT_EQ(control->trialName, "Baseline");
  for (const Qt::FocusReason reason : {Qt::OtherFocusReason, Qt::TabFocusReason}) {
    QFocusEvent focusIn(QEvent::FocusIn, reason);
    QApplication::sendEvent(manager().listTrial, &focusIn);
    EXPECT_EQ(face.currentClass, 1) << reason;
    EXPECT_EQ(manager().listPairs->shownTrial, control) << reason;
    EXPECT_EQ(manager().listTrial->currentRow(), 1) << reason;
    manager().runCommand(kCmdUpdate);
  }
  EXPECT_EQ(views().dataset(), control);
}

TEST_F(HostViewsWindowTest, RebuildsKeepTheCurrentPairRowAndHideClearsTheMark) {
  auto* list = manager().listPairs;
  list->setCurrentCell(3, 0);
  manager().runCommand(kCmdUpdate);
  EXPECT_EQ(list->currentRow(), 3);
  list->clearSelection();
  list->selectionModel()->select(list->model()->index(7, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  manager().runCommand(kCmdShowPairs);
  const int64_t row = active()->curActSns;
  EXPECT_TRUE(active()->pairMatrix[row][7].isSelected);
  EXPECT_EQ(list->itemImage(7), kImageMarked);
  list->selectionModel()->select(list->model()->index(7, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
  manager().runCommand(kCmdHidePairs);
  EXPECT_FALSE(active()->pairMatrix[row][7].isSelected);
  EXPECT_EQ(list->itemImage(7), kImagePlain);
  // Names fit their columns.
  const QFontMetrics metrics = manager().listTrial->fontMetrics();
  EXPECT_GT(manager().listTrial->columnWidth(0), metrics.horizontalAdvance("Control CxC") + 16);
}

// After an accumulation the dataset row, the overview and the pictures show
// the collapsed grid at once; a narrow manager wraps its command bar.
TEST_F(HostViewsWindowTest, ViewsFollowAnAccumulationAndTheManagerCanBeNarrow) {
  manager().runCommand(kCmdZipTime);
  ASSERT_EQ(active()->timePt, 1);
  EXPECT_EQ(host.findChild<QTableWidget*>("overview")->item(0, 3)->text(), "1 x 20");
  EXPECT_EQ(views().image->image().rows, 1);
  EXPECT_EQ(static_cast<int64_t>(views().plot->series().mean.size()), demo::kFreqPoints);

  manager().resize(560, 500);
  EXPECT_LE(manager().minimumSizeHint().width(), 560);
  QApplication::sendPostedEvents();
  manager().layout()->activate();
  QPushButton* exitButton = manager().button(kCmdExit);
  EXPECT_LE(exitButton->mapTo(&manager(), QPoint(exitButton->width(), 0)).x(), 560);
}

TEST_F(HostViewsWindowTest, UnsavedChangesAreMarkedAndNewOpenAndQuitAskFirst) {
  EXPECT_FALSE(host.isWindowModified());
  EXPECT_TRUE(host.windowTitle().contains("[*]"));
  int asked = 0;
  QMessageBox::StandardButton answer = QMessageBox::Cancel;
  host.unsavedChangesPrompt = [&] {
    ++asked;
    return answer;
  };
  const QString saved = dir.filePath("work.cxc");
  host.fileChooser = [&](bool) { return saved; };
  EXPECT_TRUE(host.requestNew());  // nothing to lose: no question
  EXPECT_EQ(asked, 0);

  manager().runCommand(kCmdZeroDiagonal);
  EXPECT_TRUE(host.isWindowModified());
  CSpctmTrlCCDatazq* before = active();
  EXPECT_FALSE(host.requestNew());
  EXPECT_FALSE(host.requestOpen());
  EXPECT_FALSE(host.close());
  EXPECT_EQ(asked, 3);
  EXPECT_EQ(active(), before);
  EXPECT_TRUE(host.isVisible());

  answer = QMessageBox::Save;  // no file yet: Save As, then the new collection
  EXPECT_TRUE(host.requestNew());
  EXPECT_TRUE(QFileInfo::exists(saved));
  EXPECT_FALSE(host.isWindowModified());
  manager().runCommand(kCmdComputePhase);
  answer = QMessageBox::Discard;
  EXPECT_TRUE(host.requestOpen());  // opens work.cxc, the zeroed diagonal
  EXPECT_EQ(asked, 5);
  EXPECT_EQ(active()->pairMatrix[2][2].plane[2][0][0], 0.0);
  EXPECT_FALSE(host.isWindowModified());
  EXPECT_EQ(host.findChild<QAction*>("actionSaveAs")->shortcut(), QKeySequence("Ctrl+Shift+S"));

  // Files that fail to load are reported and leave the collection and the manager as they were.
  CSpctmTrlCCDatazq* opened = active();
  std::ofstream(dir.filePath("bad.cxc").toStdString(), std::ios::binary) << "not a collection";
  for (const char* name : {"bad.cxc", "missing.cxc"}) {
    messages.clear();
    EXPECT_FALSE(host.openFile(dir.filePath(name))) << name;
    EXPECT_FALSE(messages.texts().empty()) << name;
    EXPECT_EQ(active(), opened) << name;
    EXPECT_EQ(face.getTotalSpctmDataSets(), 2) << name;
    EXPECT_EQ(manager().listPairs->shownTrial, opened) << name;
  }
}

TEST_F(HostViewsWindowTest, DeletedDatasetsComeBackWithUndo) {
  CSpctmTrlCCDatazq* activeBefore = active();
  CSpctmTrlCCDatazq* control = face.trialByClass[1];
  manager().runCommand(kCmdDelete);
  manager().runCommand(kCmdDelete);
  EXPECT_EQ(face.getTotalSpctmDataSets(), 0);
  EXPECT_TRUE(host.isWindowModified());
  EXPECT_EQ(manager().comboActSns->count(), 0);
  EXPECT_EQ(manager().windowTitle(), "Spectral CxC Manager");
  ASSERT_TRUE(host.undoDeleteAction()->isEnabled());
  EXPECT_TRUE(host.undoDelete());
  EXPECT_EQ(face.trialByClass[1], control);
  EXPECT_EQ(face.currentClass, 1);
  EXPECT_EQ(manager().listPairs->shownTrial, control);
  EXPECT_EQ(views().dataset(), control);
  EXPECT_TRUE(host.undoDelete());
  EXPECT_EQ(face.trialByClass[0], activeBefore);
  EXPECT_EQ(manager().listTrial->rowCount(), 2);
  EXPECT_FALSE(host.undoDeleteAction()->isEnabled());
  EXPECT_FALSE(host.undoDelete());
  EXPECT_EQ(host.thirdPlaneOf(activeBefore), megcxc::host::ThirdPlane::magnitude);
}

}  // namespace
}  // namespace megcxc::test
