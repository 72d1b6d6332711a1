#include "ui/dlg_spctm_cc_data_manager.h"

#include "host/names.h"

#include <exception>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSplitter>
#include <QSplitterHandle>
#include <QVBoxLayout>

#include "face/meg_spctm_cc_data_facezq.h"
#include "platform/message_box.h"
#include "ui/dlg_input_string.h"
#include "ui/flow_layout.h"
#include "ui/list_spctm_coh_cc_datasetzq.h"
#include "ui/list_spctm_coh_ccd_trialzq.h"
#include "ui/qt_text.h"
#include "ui/rich_infozq.h"
#include "ui/ui_resources.h"

using namespace megcxc::ui;

namespace {

// Smallest width of each list when the bar between them is dragged.
constexpr int kMinListWidth = 30;
// Margin between the lists and the window's right and bottom edges.
constexpr int kEdgeMargin = 10;

}  // namespace

CDlgSpctmCCDataManager::CDlgSpctmCCDataManager(QWidget* parent)
    : QDialog(parent), logic(static_cast<CManagerView&>(*this)) {
  setObjectName("CDlgSpctmCCDataManager");
  setWindowTitle(kTemplateTitle);
  setWindowIcon(managerIcon());
  setModal(false);
  setSizeGripEnabled(true);
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);

  listTrial = new CListSpctmCohCCDTrialzq;
  listPairs = new CListSpctmCohCCDatasetzq;
  listTrial->setMinimumWidth(kMinListWidth);
  listPairs->setMinimumWidth(kMinListWidth);

  splitter = new QSplitter(Qt::Horizontal);
  splitter->setObjectName("splitter");
  splitter->setChildrenCollapsible(false);
  splitter->setHandleWidth(7);
  splitter->addWidget(listTrial);
  splitter->addWidget(listPairs);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 5);
  splitter->handle(1)->setCursor(splitterCursor());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kEdgeMargin, 6, kEdgeMargin, kEdgeMargin);
  layout->setSpacing(6);
  buildMenus();
  layout->setMenuBar(menuBar);
  layout->addWidget(buildCommandBar());
  layout->addWidget(splitter, 1);
  statusLine = new QLabel;
  statusLine->setObjectName("statusLine");
  statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
  // A long line wraps rather than setting the window's smallest width.
  statusLine->setWordWrap(true);
  layout->addWidget(statusLine);

  // Window initialisation: columns and images of both lists, the operation
  // entries, then the edits.
  listPairs->setupColumns();
  listTrial->setupColumns();
  listPairs->initImageLists();
  listTrial->initImageLists();
  // Space a wide window gives the lists goes to their last columns.
  listPairs->horizontalHeader()->setStretchLastSection(true);
  listTrial->horizontalHeader()->setStretchLastSection(true);
  for (int k = 0; k < kOperationCount; ++k) comboOperation->addItem(QString::fromUtf8(megcxc::host::actCtlOperationName(k)));
  logic.initDialog();

  // A row becomes the chosen one by a click, the keys or a program; the row
  // Qt makes current when focus arrives in a list without a current row is
  // nobody's choice and must not switch the dataset.
  connect(listTrial, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
    if (row >= 0 && row != previous && !listTrial->takingFocus()) guarded([&] { logic.onTrialRowChosen(row); });
  });
  connect(listPairs, &QTableWidget::currentCellChanged, this, [this](int row, int, int previous, int) {
    if (row >= 0 && row != previous && !listPairs->takingFocus()) guarded([&] { logic.onPairRowChosen(row); });
  });
  connect(comboOperation, &QComboBox::activated, this,
          [this](int index) { guarded([&] { logic.onOperationChosen(index); }); });
  connect(comboActSns, &QComboBox::activated, this,
          [this](int index) { guarded([&] { logic.onActSnsChosen(index); }); });
  connect(listPairs, &QWidget::customContextMenuRequested, this, &CDlgSpctmCCDataManager::showPairContextMenu);

  const int rowHeight = listPairs->verticalHeader()->defaultSectionSize();
  resize(1180, 170 + 17 * rowHeight);
  refreshStatusLine();
  splitter->setSizes({2 * kListColumnWidth + 150, 8 * kListColumnWidth + 40});
}

CDlgSpctmCCDataManager::~CDlgSpctmCCDataManager() = default;

void CDlgSpctmCCDataManager::buildMenus() {
  menuBar = new QMenuBar(this);
  QMenu* file = menuBar->addMenu("&File");
  addMenuAction(file, kCmdExit, "Exit");
  QMenu* edit = menuBar->addMenu("&Edit");
  addMenuAction(edit, kCmdSetName, "Set Name");
  edit->addSeparator();
  addMenuAction(edit, kCmdZipTime, "Zip Time");
  addMenuAction(edit, kCmdZipFreq, "Zip Frequency");
  addMenuAction(edit, kCmdZipTimeFreq, "Zip Time-Frequency");
  edit->addSeparator();
  addMenuAction(edit, kCmdComputeMagnitude, "Compute Magnitude...");
  addMenuAction(edit, kCmdComputePhase, "Compute Phase...");
  addMenuAction(edit, kCmdComputeMagnitudeRS, "Compute Magnitude RS...");
  addMenuAction(edit, kCmdComputeMagnitudeIS, "Compute Magnitude IS...");
  edit->addSeparator();
  addMenuAction(edit, kCmdZeroDiagonal, "Zero Diagonal...");
  edit->addSeparator();
  addMenuAction(edit, kCmdStatisticF, "Statistic F");
  addMenuAction(edit, kCmdStatisticT, "Statistic T");
}

QWidget* CDlgSpctmCCDataManager::buildCommandBar() {
  auto* bar = new QWidget;
  // The bar wraps onto more lines in a narrow window.
  auto* row = new CFlowLayout(bar, 4);

  comboOperation = new QComboBox;
  comboOperation->setObjectName("comboOperation");
  comboOperation->setToolTip("Operation of \"A-C=X\": active minus, plus, times or over control");
  comboOperation->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  comboActSns = new QComboBox;
  comboActSns->setObjectName("comboActSns");
  comboActSns->setToolTip("Active sensor whose channel pairs are listed (row->sensor)");
  comboActSns->setMinimumContentsLength(7);
  comboActSns->setMaxVisibleItems(20);

  auto* integerOnly = new QRegularExpressionValidator(QRegularExpression("-?[0-9]{0,18}"), this);
  auto makeEdit = [&](const char* name, const char* tip) {
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    edit->setValidator(integerOnly);
    edit->setAlignment(Qt::AlignRight);
    edit->setFixedWidth(fontMetrics().horizontalAdvance("0000000") + 12);
    edit->setToolTip(tip);
    edit->installEventFilter(this);
    return edit;
  };
  editTimeIndex = makeEdit("editTimeIndex", "Time index for \"Apply\" (-1 keeps the time selection)");
  editFreqIndex = makeEdit("editFreqIndex", "Frequency index for \"Apply\" (-1 keeps the frequency selection)");

  row->addWidget(comboOperation);
  row->addWidget(addButton(kCmdActCtl, "A-C=X", "Combine active and control datasets into the active-control dataset"));
  row->addWidget(addButton(kCmdZipTime, "Accumulate", "Collapse the current dataset over time"));
  row->addWidget(addButton(kCmdDelete, "Delete", "Delete the current dataset"));
  row->addWidget(comboActSns);
  row->addWidget(addButton(kCmdStepTime, "Time>>", "Move the time selection one point on (wraps to the start)"));
  row->addWidget(editTimeIndex);
  row->addWidget(addButton(kCmdStepFreq, "Freq>>", "Move the frequency selection one point on (wraps to the start)"));
  row->addWidget(editFreqIndex);
  row->addWidget(addButton(kCmdStatisticF, "StatisticF", "Statistics report per frequency"));
  row->addWidget(addButton(kCmdApply, "Apply", "Select the typed time and frequency point in the first dataset"));
  row->addWidget(addButton(kCmdUpdate, "Update", "Reload both lists"));
  QPushButton* exitButton = addButton(kCmdExit, "Exit", "Hide the manager");
  exitButton->setDefault(true);
  row->addWidget(exitButton);
  return bar;
}

QPushButton* CDlgSpctmCCDataManager::addButton(int id, const char* text, const char* tip) {
  auto* b = new QPushButton(QString::fromUtf8(text));
  b->setObjectName(QString("button%1").arg(id));
  b->setToolTip(QString::fromUtf8(tip));
  b->setAutoDefault(false);
  connect(b, &QPushButton::clicked, this, [this, id] { runCommand(id); });
  buttons_[id] = b;
  return b;
}

QAction* CDlgSpctmCCDataManager::addMenuAction(QMenu* menu, int id, const char* text) {
  QAction* action = menu->addAction(QString::fromUtf8(text));
  connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
  menuActions_[id] = action;
  return action;
}

QPushButton* CDlgSpctmCCDataManager::button(int id) const {
  auto it = buttons_.find(id);
  return it != buttons_.end() ? it->second : nullptr;
}

QAction* CDlgSpctmCCDataManager::menuAction(int id) const {
  auto it = menuActions_.find(id);
  return it != menuActions_.end() ? it->second : nullptr;
}

template <typename Handler>
void CDlgSpctmCCDataManager::guarded(Handler&& handler, int commandId) {
  try {
    handler();
    refreshStatusLine();
    emit handled(commandId);
  } catch (const std::exception& e) {
    AfxMessageBox(CString(e.what()), MB_OK);
  } catch (...) {
    AfxMessageBox("The operation stopped with an unexpected error.", MB_OK);
  }
}

void CDlgSpctmCCDataManager::runCommand(int id) {
  guarded(
      [&] {
        if (logic.onCommand(id) && id == kCmdExit) hide();
        if (id != kCmdExit) syncWithCollection(id);
      },
      id);
}

void CDlgSpctmCCDataManager::syncWithCollection(int commandId) {
  // What the handlers leave as it was although the operation changed it.
  CSpctmTrlCCDatazq* trial = logic.currentTrial();
  const bool datasetsChanged = commandId == 0 || commandId == kCmdApply || commandId == kCmdDelete ||
                               commandId == kCmdActCtl || commandId == kCmdZipTime || commandId == kCmdZipFreq ||
                               commandId == kCmdZipTimeFreq || commandId == kCmdUpdate;
  if (!datasetsChanged) return;
  if (trial != nullptr) {
    logic.caption = CString(kManagerCaption) + CString("-") + trial->trialName;
  } else {
    logic.caption = kManagerCaption;
  }
  setWindowTitle(toQString(logic.caption));
  setActSnsEntries(trial != nullptr ? actSnsEntries(*trial) : std::vector<CString>{},
                   trial != nullptr ? trial->curActSns : -1);
  if (logic.collection != nullptr) {
    deleteAllTrialRows();
    for (int c = 0; c < 3; ++c) insertClassRow(c);
  }
  restorePairRow();
  refreshStatusLine();
}

void CDlgSpctmCCDataManager::followCurrentPair() {
  guarded([&] {
    CSpctmTrlCCDatazq* trial = logic.currentTrial();
    if (trial == nullptr) return;
    setActSnsEntries(actSnsEntries(*trial), trial->curActSns);
    fillPairRows();
  });
}

void CDlgSpctmCCDataManager::followSelection() {
  guarded([&] { logic.reloadView(); });
}

void CDlgSpctmCCDataManager::restorePairRow() {
  CSpctmTrlCCDatazq* trial = listPairs->shownTrial;
  if (trial != nullptr && trial->curCxcSns >= 0 && trial->curCxcSns < listPairs->rowCount()) {
    listPairs->restoreCurrentRow(static_cast<int>(trial->curCxcSns), false);
    listPairs->scrollTo(listPairs->model()->index(static_cast<int>(trial->curCxcSns), 0));
  }
}

int CDlgSpctmCCDataManager::showFor(CMEGSpctmCCDataFacezq* collection) {
  guarded([&] {
    logic.attach(collection);
    showNormal();
    raise();
    activateWindow();
    logic.refreshAfterShow();
  });
  return 1;
}

void CDlgSpctmCCDataManager::refreshStatusLine() {
  const CString line = describeShownSelection(logic.currentTrial());
  statusLine->setText(line.IsEmpty() ? QString("No dataset shown.") : toQString(line));
}

QMenu* CDlgSpctmCCDataManager::createPairContextMenu() {
  auto* menu = new QMenu("COHPM", this);
  const struct {
    int id;
    const char* text;
  } items[] = {{kCmdEditPair, "Edit"}, {kCmdShowPairs, "Show"}, {kCmdHidePairs, "Hide"}};
  for (const auto& item : items) {
    QAction* action = menu->addAction(QString::fromUtf8(item.text));
    const int id = item.id;
    connect(action, &QAction::triggered, this, [this, id] { runCommand(id); });
  }
  return menu;
}

bool CDlgSpctmCCDataManager::keepDeletedDataset(int spctmClass, CSpctmTrlCCDatazq* dataset) {
  return deletedDatasetKeeper ? deletedDatasetKeeper(spctmClass, dataset) : false;
}

void CDlgSpctmCCDataManager::showPairContextMenu(const QPoint& pos) {
  if (!logic.wantsPairContextMenu()) return;
  QMenu* menu = createPairContextMenu();
  menu->exec(listPairs->viewport()->mapToGlobal(pos));
  delete menu;
}

bool CDlgSpctmCCDataManager::eventFilter(QObject* watched, QEvent* event) {
  // Enter in an index edit applies the typed indices instead of closing the
  // window through the default button.
  if ((watched == editTimeIndex || watched == editFreqIndex) && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      runCommand(kCmdApply);
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CDlgSpctmCCDataManager::closeEvent(QCloseEvent* event) {
  // Closing only hides the window; the collection keeps the dialog.
  hide();
  event->ignore();
}

bool CDlgSpctmCCDataManager::exchangeFromControls(int64_t& timeIndex, int64_t& freqIndex) {
  for (QLineEdit* edit : {editTimeIndex, editFreqIndex}) {
    bool ok = false;
    const qlonglong value = edit->text().trimmed().toLongLong(&ok);
    if (!ok) {
      AfxMessageBox(kEnterIntegerPrompt, MB_OK);
      edit->setFocus();
      edit->selectAll();
      return false;
    }
    (edit == editTimeIndex ? timeIndex : freqIndex) = value;
  }
  return true;
}

void CDlgSpctmCCDataManager::exchangeToControls(int64_t timeIndex, int64_t freqIndex) {
  editTimeIndex->setText(QString::number(static_cast<qlonglong>(timeIndex)));
  editFreqIndex->setText(QString::number(static_cast<qlonglong>(freqIndex)));
}

void CDlgSpctmCCDataManager::setWindowText(const CString& text) { setWindowTitle(toQString(text)); }

void CDlgSpctmCCDataManager::selectOperation(int index) {
  comboOperation->setCurrentIndex(index >= 0 && index < comboOperation->count() ? index : -1);
}

void CDlgSpctmCCDataManager::setActSnsEntries(const std::vector<CString>& entries, int64_t selected) {
  comboActSns->clear();
  for (const CString& entry : entries) comboActSns->addItem(toQString(entry));
  const bool valid = selected >= 0 && selected < static_cast<int64_t>(entries.size());
  comboActSns->setCurrentIndex(valid ? static_cast<int>(selected) : -1);
}

void CDlgSpctmCCDataManager::setTrialListCollection(CMEGSpctmCCDataFacezq* collection) {
  listTrial->collection = collection;
}

void CDlgSpctmCCDataManager::deleteAllTrialRows() { listTrial->deleteAllItems(); }

int CDlgSpctmCCDataManager::insertClassRow(int spctmClass) {
  const int ok = listTrial->insertClassRow(spctmClass);
  // The row of the shown dataset stays the current one through rebuilds.
  CSpctmTrlCCDatazq* trial = listTrial->collection != nullptr && spctmClass >= 0 && spctmClass < 3
                                 ? listTrial->collection->trialByClass[spctmClass]
                                 : nullptr;
  if (ok == 1 && trial != nullptr && trial == listPairs->shownTrial) listTrial->restoreCurrentRow(trial->listItemId, true);
  listTrial->fitColumns(kListColumnWidth);
  return ok;
}

CSpctmTrlCCDatazq* CDlgSpctmCCDataManager::shownTrial() const { return listPairs->shownTrial; }

void CDlgSpctmCCDataManager::setShownTrial(CSpctmTrlCCDatazq* trial) { listPairs->shownTrial = trial; }

int CDlgSpctmCCDataManager::fillPairRows() {
  const int result = listPairs->fillPairRows();
  restorePairRow();
  listPairs->fitColumns(kListColumnWidth);
  return result;
}

int CDlgSpctmCCDataManager::markSelectedPairs(bool mark) {
  const int result = listPairs->markSelectedPairs(mark);
  restorePairRow();
  return result;
}

bool CDlgSpctmCCDataManager::promptForString(CString& text) {
  CDlgInputString dialog(this);
  dialog.inputText = text;
  if (dialog.DoModal() != IDOK) return false;
  text = dialog.inputText;
  return true;
}

void CDlgSpctmCCDataManager::showReport(const CString& text, const CString& name) {
  richInfo.showRichInfo02(text, name);
}

void CDlgSpctmCCDataManager::setWaitCursor(bool on) {
  if (on) {
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
  } else {
    QApplication::restoreOverrideCursor();
  }
}
