#include "ui/app/host_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "host/collection_file.h"
#include "host/names.h"
#include "host/small_demo.h"
#include "platform/message_box.h"
#include "platform/refused.h"
#include "ui/dataset_views.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"
#include "ui/manager_logic.h"
#include "ui/qt_text.h"
#include "ui/ui_resources.h"

using megcxc::ui::toQString;
using megcxc::host::ThirdPlane;
using namespace megcxc::ui;

namespace {

constexpr const char* kFileFilter = "CxC collections (*.cxc);;All files (*)";
constexpr const char* kClassNames[3] = {"Active", "Control", "Active-Control"};

// Commands of the manager after which the collection differs from its file.
bool changesCollection(int id) {
  switch (id) {
    case kCmdActCtl:
    case kCmdDelete:
    case kCmdZipTime:
    case kCmdZipFreq:
    case kCmdZipTimeFreq:
    case kCmdComputeMagnitude:
    case kCmdComputePhase:
    case kCmdComputeMagnitudeRS:
    case kCmdComputeMagnitudeIS:
    case kCmdZeroDiagonal:
    case kCmdSetName:
    case kCmdShowPairs:
    case kCmdHidePairs: return true;
    default: return false;
  }
}

// Commands after which the values of the planes differ.
bool changesValues(int id) {
  return id != kCmdSetName && id != kCmdShowPairs && id != kCmdHidePairs && changesCollection(id);
}

}  // namespace

CManagerHostWindow::CManagerHostWindow(QWidget* parent) : QMainWindow(parent), hostWnd_(this) {
  setObjectName("CManagerHostWindow");
  setWindowIcon(megcxc::ui::managerIcon());

  header_ = new QLabel;
  header_->setTextFormat(Qt::RichText);
  overview_ = new QTableWidget(3, 5);
  overview_->setObjectName("overview");
  overview_->setHorizontalHeaderLabels({"Class", "Name", "Sensors", "Time x Freq", "Planes"});
  overview_->verticalHeader()->setVisible(false);
  overview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  overview_->setSelectionMode(QAbstractItemView::NoSelection);
  overview_->setFocusPolicy(Qt::NoFocus);
  overview_->horizontalHeader()->setStretchLastSection(true);
  overview_->setWordWrap(false);
  overview_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  overview_->setMaximumHeight(overview_->horizontalHeader()->sizeHint().height() +
                              3 * overview_->verticalHeader()->defaultSectionSize() + 6);
  auto* hint = new QLabel("View \xE2\x96\xB8 Manager (Ctrl+M) opens the manager window, where the datasets "
                          "are browsed and processed. Click a matrix cell to choose a pair; drag on the image "
                          "to choose the selection box.");
  hint->setWordWrap(true);
  hint->setStyleSheet("color: palette(mid);");

  views_ = new CDatasetViews;
  connect(views_, &CDatasetViews::pairChosen, this, &CManagerHostWindow::onPairChosen);
  connect(views_, &CDatasetViews::selectionChosen, this, &CManagerHostWindow::onSelectionChosen);

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(header_);
  layout->addWidget(overview_);
  layout->addWidget(hint);
  layout->addWidget(views_, 1);
  setCentralWidget(central);

  statusText_ = new QLabel;
  progressBar_ = new QProgressBar;
  progressBar_->setMaximumWidth(240);
  progressBar_->setTextVisible(false);
  progressBar_->hide();
  statusBar()->addWidget(statusText_, 1);
  statusBar()->addPermanentWidget(progressBar_);
  progress_ = std::make_unique<CProgressBridge>(progressBar_, statusText_);

  unsavedChangesPrompt = [this] {
    return QMessageBox::question(this, "Unsaved changes",
                                 "The collection has changes that are not saved. Save them first?",
                                 QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
  };
  fileChooser = [this](bool forSave) {
    return forSave ? QFileDialog::getSaveFileName(this, "Save Collection As", path_, kFileFilter)
                   : QFileDialog::getOpenFileName(this, "Open Collection", QFileInfo(path_).path(), kFileFilter);
  };

  buildMenus();
  resize(1100, 860);
  refreshOverview();
  updateTitle();
}

CManagerHostWindow::~CManagerHostWindow() = default;

void CManagerHostWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&Open...", QKeySequence::Open, this, [this] { requestOpen(); })->setObjectName("actionOpen");
  file->addAction("&Save", QKeySequence::Save, this, &CManagerHostWindow::onSave)->setObjectName("actionSave");
  // Not every platform theme binds QKeySequence::SaveAs; the usual keys are.
  file->addAction("Save &As...", QKeySequence("Ctrl+Shift+S"), this, [this] { requestSaveAs(); })
      ->setObjectName("actionSaveAs");
  file->addSeparator();
  file->addAction("&New demo collection", QKeySequence::New, this, [this] { requestNew(); })
      ->setObjectName("actionNew");
  file->addSeparator();
  file->addAction("&Quit", QKeySequence::Quit, this, &QWidget::close)->setObjectName("actionQuit");
  QMenu* edit = menuBar()->addMenu("&Edit");
  undoDelete_ = edit->addAction("&Undo Delete", QKeySequence::Undo, this, [this] { undoDelete(); });
  undoDelete_->setObjectName("actionUndoDelete");
  undoDelete_->setEnabled(false);
  QMenu* view = menuBar()->addMenu("&View");
  view->addAction("&Manager", QKeySequence("Ctrl+M"), this, &CManagerHostWindow::showManager);
}

QWidget* CManagerHostWindow::managerWindow() const { return collection_.managerDlg; }

CDlgSpctmCCDataManager* CManagerHostWindow::manager() const { return collection_.managerDlg; }

ThirdPlane CManagerHostWindow::thirdPlaneOf(const CSpctmTrlCCDatazq* dataset) const {
  auto it = thirdPlane_.find(dataset);
  return it != thirdPlane_.end() ? it->second : ThirdPlane::unknown;
}

void CManagerHostWindow::closeEvent(QCloseEvent* event) {
  if (!confirmDiscard()) {
    event->ignore();
    return;
  }
  // The manager window only hides on close; the host ends the application.
  QMainWindow::closeEvent(event);
  QApplication::quit();
}

bool CManagerHostWindow::event(QEvent* event) {
  // The manager changes datasets behind the host's back; coming back to the
  // host window shows their current state.
  if (event->type() == QEvent::WindowActivate) refreshOverview();
  return QMainWindow::event(event);
}

void CManagerHostWindow::adopt(CMEGSpctmCCDataFacezq& source) {
  for (int c = 0; c < 3; ++c) {
    collection_.addSpctmDataSet(source.trialByClass[c], c);
    source.trialByClass[c] = nullptr;
  }
  collection_.auxInt = source.auxInt;
  collection_.currentClass = source.currentClass;
  collection_.collectionName = source.collectionName;
  // A new collection: no names from the one it replaces.
  metadata_ = megcxc::host::Metadata();
  showManager();
}

void CManagerHostWindow::startAfresh() {
  deleted_.clear();
  undoDelete_->setEnabled(false);
  thirdPlane_.clear();
  setWindowModified(false);
}

bool CManagerHostWindow::newDemoCollection() {
  CMEGSpctmCCDataFacezq demo;
  progress_->begin("Building the demo collection...");
  const int ok = megcxc::host::smalldemo::buildDemoCollection(demo, progress_.get(), &progress_->progressText);
  progress_->end();
  if (ok != 1) return false;
  startAfresh();
  // The demo fills the power/phase plane with the magnitude.
  for (CSpctmTrlCCDatazq* trial : demo.trialByClass) {
    if (trial != nullptr) thirdPlane_[trial] = ThirdPlane::magnitude;
  }
  adopt(demo);
  path_.clear();
  updateTitle();
  refreshOverview();
  statusText_->setText("Demo collection: 16 sensors, 10 time x 20 frequency points (2-40 Hz).");
  return true;
}

bool CManagerHostWindow::openFile(const QString& path) {
  progress_->begin(QString("Loading %1...").arg(QFileInfo(path).fileName()));
  std::string failure;
  try {
    std::vector<std::string> warnings;
    megcxc::host::loadCollectionWithMetadata(path.toStdString(), collection_, metadata_, true, &warnings);
    for (const std::string& w : warnings) AfxMessageBox(CString(w), MB_OK);
  } catch (const megcxc::Refused& e) {
    failure = e.what();
  }
  progress_->end();
  if (!failure.empty()) {
    AfxMessageBox(CString(failure), MB_OK);
    statusText_->setText(QString("%1 was not loaded.").arg(QFileInfo(path).fileName()));
    return false;
  }
  startAfresh();
  path_ = path;
  updateTitle();
  refreshOverview();
  // The file replaced the datasets: the manager must let go of the old ones.
  showManager();
  statusText_->setText(QString("Loaded %1.").arg(QFileInfo(path).fileName()));
  return true;
}

bool CManagerHostWindow::saveFile(const QString& path) {
  progress_->begin(QString("Saving %1...").arg(QFileInfo(path).fileName()));
  std::string failure;
  try {
    megcxc::host::saveCollectionWithMetadata(path.toStdString(), collection_, metadata_);
  } catch (const megcxc::Refused& e) {
    failure = e.what();
  }
  progress_->end();
  if (!failure.empty()) {
    AfxMessageBox(CString(failure), MB_OK);
    statusText_->setText(QString("%1 was not saved.").arg(QFileInfo(path).fileName()));
    return false;
  }
  path_ = path;
  setWindowModified(false);
  updateTitle();
  statusText_->setText(QString("Saved %1.").arg(QFileInfo(path).fileName()));
  return true;
}

bool CManagerHostWindow::confirmDiscard() {
  if (!isWindowModified()) return true;
  switch (unsavedChangesPrompt()) {
    case QMessageBox::Save:
      if (path_.isEmpty()) return requestSaveAs();
      return saveFile(path_);
    case QMessageBox::Discard: return true;
    default: return false;
  }
}

bool CManagerHostWindow::requestNew() { return confirmDiscard() && newDemoCollection(); }

bool CManagerHostWindow::requestOpen() {
  if (!confirmDiscard()) return false;
  const QString path = fileChooser(false);
  return !path.isEmpty() && openFile(path);
}

bool CManagerHostWindow::requestSaveAs() {
  QString path = fileChooser(true);
  if (path.isEmpty()) return false;
  if (QFileInfo(path).suffix().isEmpty()) path += ".cxc";
  return saveFile(path);
}

void CManagerHostWindow::onSave() {
  if (path_.isEmpty()) {
    requestSaveAs();
  } else {
    saveFile(path_);
  }
}

void CManagerHostWindow::showManager() {
  collection_.showDlgSpctmCohManager(&hostWnd_);
  CDlgSpctmCCDataManager* dlg = manager();
  if (dlg == nullptr) return;
  if (!managerConnected_) {
    connect(dlg, &CDlgSpctmCCDataManager::handled, this, &CManagerHostWindow::onManagerHandled);
    dlg->deletedDatasetKeeper = [this](int c, CSpctmTrlCCDatazq* d) { return keepDeleted(c, d); };
    managerConnected_ = true;
  }
  dlg->syncWithCollection(0);
  refreshViews(true);
}

bool CManagerHostWindow::keepDeleted(int spctmClass, CSpctmTrlCCDatazq* dataset) {
  deleted_.emplace_back(spctmClass, std::unique_ptr<CSpctmTrlCCDatazq>(dataset));
  undoDelete_->setEnabled(true);
  statusText_->setText(QString("Deleted \"%1\". Edit \xE2\x96\xB8 Undo Delete (Ctrl+Z) brings it back.")
                           .arg(toQString(dataset->trialName)));
  return true;
}

bool CManagerHostWindow::undoDelete() {
  if (deleted_.empty()) return false;
  const int c = deleted_.back().first;
  if (collection_.trialByClass[c] != nullptr) {
    statusText_->setText(QString("The %1 slot holds a dataset again; delete it first to bring the old one back.")
                             .arg(kClassNames[c]));
    return false;
  }
  CSpctmTrlCCDatazq* trial = deleted_.back().second.release();
  deleted_.pop_back();
  undoDelete_->setEnabled(!deleted_.empty());
  collection_.addSpctmDataSet(trial, c);
  collection_.currentClass = c;
  setWindowModified(true);
  // Showing the manager again makes the current class dataset its shown one.
  showManager();
  refreshOverview();
  statusText_->setText(QString("\"%1\" is back.").arg(toQString(trial->trialName)));
  return true;
}

void CManagerHostWindow::onManagerHandled(int commandId) {
  if (changesCollection(commandId)) setWindowModified(true);
  const ThirdPlane computed = commandId == kCmdComputePhase ? ThirdPlane::phase : ThirdPlane::magnitude;
  switch (commandId) {
    case kCmdComputeMagnitude:
    case kCmdComputeMagnitudeRS:
    case kCmdComputeMagnitudeIS:
    case kCmdComputePhase:
      for (CSpctmTrlCCDatazq* trial : collection_.trialByClass) {
        if (trial != nullptr) thirdPlane_[trial] = computed;
      }
      break;
    case kCmdActCtl:
      // The combination works plane by plane: its third plane holds what the
      // active one does.
      if (collection_.trialByClass[2] != nullptr)
        thirdPlane_[collection_.trialByClass[2]] = thirdPlaneOf(collection_.trialByClass[0]);
      break;
    default: break;
  }
  refreshOverview();
  refreshViews(changesValues(commandId) || commandId == kCmdUpdate);
}

void CManagerHostWindow::refreshViews(bool valuesChanged) {
  CDlgSpctmCCDataManager* dlg = manager();
  CSpctmTrlCCDatazq* shown = dlg != nullptr ? dlg->logic.currentTrial() : nullptr;
  if (shown != views_->dataset() || valuesChanged) {
    int shownClass = -1;
    for (int c = 0; c < 3; ++c) {
      if (shown != nullptr && collection_.trialByClass[c] == shown) shownClass = c;
    }
    if (shown != nullptr) views_->setLabels(megcxc::host::axisLabelsFor(*shown, metadata_, shownClass));
    views_->showDataset(shown, thirdPlaneOf(shown));
  } else {
    views_->refresh(false);
  }
}

void CManagerHostWindow::onPairChosen(qint64 row, qint64 column) {
  CSpctmTrlCCDatazq* trial = views_->dataset();
  CDlgSpctmCCDataManager* dlg = manager();
  if (trial == nullptr || dlg == nullptr) return;
  trial->setActSns(row);
  trial->setCxcSns(column);
  // The manager follows and announces it; the pictures redraw then.
  dlg->followCurrentPair();
}

void CManagerHostWindow::onSelectionChosen(qint64 timeBegin, qint64 timeEnd, qint64 freqBegin, qint64 freqEnd) {
  CSpctmTrlCCDatazq* trial = views_->dataset();
  CDlgSpctmCCDataManager* dlg = manager();
  if (trial == nullptr || dlg == nullptr) return;
  megcxc::host::setSelectionBox(*trial, {timeBegin, timeEnd, freqBegin, freqEnd});
  dlg->followSelection();
}

void CManagerHostWindow::setAxisLabels(const megcxc::host::AxisLabelSource& labels) { views_->setLabels(labels); }

void CManagerHostWindow::updateTitle() {
  const QString name = path_.isEmpty() ? QString("Untitled") : QFileInfo(path_).fileName();
  setWindowTitle(QString("%1[*] - CxC Manager").arg(name));
}

void CManagerHostWindow::refreshOverview() {
  header_->setText(QString("<b>Collection:</b> %1 &nbsp; <span style='color:gray'>(%2 dataset(s))</span>")
                       .arg(toQString(collection_.collectionName).toHtmlEscaped())
                       .arg(collection_.getTotalSpctmDataSets()));
  for (int c = 0; c < 3; ++c) {
    const CSpctmTrlCCDatazq* trial = collection_.trialByClass[c];
    auto set = [&](int column, const QString& text) { overview_->setItem(c, column, new QTableWidgetItem(text)); };
    set(0, kClassNames[c]);
    if (trial == nullptr) {
      set(1, "-");
      for (int column = 2; column < 5; ++column) set(column, QString());
      continue;
    }
    set(1, toQString(trial->trialName));
    set(2, QString("%1 x %2").arg(trial->rowSnsCount).arg(trial->colSnsCount));
    set(3, QString("%1 x %2").arg(trial->timePt).arg(trial->freqPt));
    QStringList planes;
    if (trial->hasRealPlane) planes << "real";
    if (trial->hasImagPlane) planes << "imaginary";
    if (trial->hasPowerPhasePlane)
      planes << QString("power/phase: %1").arg(QString::fromUtf8(megcxc::host::thirdPlaneWords(thirdPlaneOf(trial))));
    set(4, planes.join(", "));
  }
  overview_->resizeColumnsToContents();
}
