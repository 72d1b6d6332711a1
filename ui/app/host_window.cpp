#include "ui/app/host_window.h"

#include <QApplication>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "host/collection_file.h"
#include "host/small_demo.h"
#include "platform/message_box.h"
#include "platform/refused.h"
#include "ui/dlg_spctm_cc_data_manager.h"
#include "ui/qt_text.h"
#include "ui/ui_resources.h"

using megcxc::ui::toQString;

namespace {

constexpr const char* kFileFilter = "CxC collections (*.cxc);;All files (*)";
constexpr const char* kClassNames[3] = {"Active", "Control", "Active-Control"};

}  // namespace

CManagerHostWindow::CManagerHostWindow(QWidget* parent) : QMainWindow(parent), hostWnd_(this) {
  setObjectName("CManagerHostWindow");
  setWindowIcon(megcxc::ui::managerIcon());

  header_ = new QLabel;
  header_->setTextFormat(Qt::RichText);
  overview_ = new QTableWidget(3, 5);
  overview_->setHorizontalHeaderLabels({"Class", "Name", "Sensors", "Time x Freq", "Planes"});
  overview_->verticalHeader()->setVisible(false);
  overview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  overview_->setSelectionMode(QAbstractItemView::NoSelection);
  overview_->setFocusPolicy(Qt::NoFocus);
  overview_->horizontalHeader()->setStretchLastSection(true);
  overview_->setWordWrap(false);
  overview_->setColumnWidth(0, 110);
  overview_->setColumnWidth(1, 170);
  overview_->setColumnWidth(2, 80);
  overview_->setColumnWidth(3, 90);
  auto* hint = new QLabel("View \xE2\x96\xB8 Manager (Ctrl+M) opens the manager window, where the datasets "
                          "are browsed and processed.");
  hint->setWordWrap(true);
  hint->setStyleSheet("color: palette(mid);");

  auto* central = new QWidget;
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(header_);
  layout->addWidget(overview_, 1);
  layout->addWidget(hint);
  setCentralWidget(central);

  statusText_ = new QLabel;
  progressBar_ = new QProgressBar;
  progressBar_->setMaximumWidth(240);
  progressBar_->setTextVisible(false);
  progressBar_->hide();
  statusBar()->addWidget(statusText_, 1);
  statusBar()->addPermanentWidget(progressBar_);
  progress_ = std::make_unique<CProgressBridge>(progressBar_, statusText_);

  buildMenus();
  resize(760, 260);
  refreshOverview();
  updateTitle();
}

CManagerHostWindow::~CManagerHostWindow() = default;

void CManagerHostWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->addAction("&Open...", QKeySequence::Open, this, &CManagerHostWindow::onOpen);
  file->addAction("&Save", QKeySequence::Save, this, &CManagerHostWindow::onSave);
  file->addAction("Save &As...", QKeySequence::SaveAs, this, &CManagerHostWindow::onSaveAs);
  file->addSeparator();
  file->addAction("&New demo collection", QKeySequence::New, this, [this] { newDemoCollection(); });
  file->addSeparator();
  file->addAction("&Quit", QKeySequence::Quit, this, &QWidget::close);
  QMenu* view = menuBar()->addMenu("&View");
  view->addAction("&Manager", QKeySequence("Ctrl+M"), this, &CManagerHostWindow::showManager);
}

QWidget* CManagerHostWindow::managerWindow() const {
  return collection_.managerDlg;
}

void CManagerHostWindow::closeEvent(QCloseEvent* event) {
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
  showManager();
}

bool CManagerHostWindow::newDemoCollection() {
  CMEGSpctmCCDataFacezq demo;
  progress_->begin("Building the demo collection...");
  const int ok = megcxc::host::smalldemo::buildDemoCollection(demo, progress_.get(), &progress_->progressText);
  progress_->end();
  if (ok != 1) return false;
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
    megcxc::host::loadCollectionFile(path.toStdString(), collection_, true);
  } catch (const megcxc::Refused& e) {
    failure = e.what();
  }
  progress_->end();
  if (!failure.empty()) {
    AfxMessageBox(CString(failure), MB_OK);
    statusText_->setText(QString("%1 was not loaded.").arg(QFileInfo(path).fileName()));
    return false;
  }
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
    megcxc::host::saveCollectionFile(path.toStdString(), collection_);
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
  updateTitle();
  statusText_->setText(QString("Saved %1.").arg(QFileInfo(path).fileName()));
  return true;
}

void CManagerHostWindow::onOpen() {
  const QString path = QFileDialog::getOpenFileName(this, "Open Collection", QFileInfo(path_).path(), kFileFilter);
  if (!path.isEmpty()) openFile(path);
}

void CManagerHostWindow::onSave() {
  if (path_.isEmpty()) {
    onSaveAs();
  } else {
    saveFile(path_);
  }
}

void CManagerHostWindow::onSaveAs() {
  QString path = QFileDialog::getSaveFileName(this, "Save Collection As", path_, kFileFilter);
  if (path.isEmpty()) return;
  if (QFileInfo(path).suffix().isEmpty()) path += ".cxc";
  saveFile(path);
}

void CManagerHostWindow::showManager() { collection_.showDlgSpctmCohManager(&hostWnd_); }

void CManagerHostWindow::updateTitle() {
  const QString name = path_.isEmpty() ? QString("Untitled") : QFileInfo(path_).fileName();
  setWindowTitle(QString("%1 - CxC Manager").arg(name));
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
    if (trial->hasPowerPhasePlane) planes << "power/phase";
    set(4, planes.join(", "));
  }
}
