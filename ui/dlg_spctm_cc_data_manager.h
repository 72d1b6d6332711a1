// CDlgSpctmCCDataManager: the modeless manager window of a collection.
//
// The window lists the collection's class datasets and the channel pairs of
// one sensor of the shown dataset, and runs the collection's operations from
// its buttons, menus and combo boxes. Every signal is forwarded in one line to
// CManagerLogic, which does the work; the dialog only implements the view
// interface the logic drives (edits, caption, combo boxes, list rebuilds,
// wait cursor, the name prompt and the report window).
//
// The collection creates the dialog on its first showDlgSpctmCohManager, keeps
// it in managerDlg and deletes it with itself. "Exit" (or closing the window)
// only hides it.
//
// A host that shows more of the collection listens to `handled`, which the
// window emits after every handler, and moves the window's current pair or
// selection with followCurrentPair / followSelection. The lists keep their
// current row on the shown dataset and pair through every rebuild, so focus
// arriving in a list never picks a row by itself.
#pragma once

#include <functional>
#include <map>

#include <QDialog>

#include "ui/manager_logic.h"

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class CListSpctmCohCCDTrialzq;
class CListSpctmCohCCDatasetzq;
class CMEGSpctmCCDataFacezq;

class CDlgSpctmCCDataManager : public QDialog, private megcxc::ui::CManagerView {
  Q_OBJECT

 public:
  // Id of the window, shared with its resources.
  static constexpr int IDD = 40032;
  // Title before any dataset was chosen.
  static constexpr const char* kTemplateTitle = "Spectral Coherence Manager";

  // Builds the window: controls, menus, columns and images of both lists and
  // the operation combo box (at "A-C": no collection is set yet).
  explicit CDlgSpctmCCDataManager(QWidget* parent = nullptr);
  ~CDlgSpctmCCDataManager() override;

  // The collection side of showing the window: points the dialog at
  // `collection`, makes its current class dataset the shown one, shows the
  // window and refreshes the combo box and both lists. Returns 1.
  int showFor(CMEGSpctmCCDataFacezq* collection);

  // Runs the handler of a button or menu command, as its click would. An
  // exception that leaves the handler is shown as a message instead of
  // passing into the event loop.
  void runCommand(int id);
  // After the host changed the current pair (curActSns, curCxcSns) of the
  // shown dataset: the sensor combo box and the pair list follow.
  void followCurrentPair();
  // After the host changed the shown dataset's selection box: the edits and
  // the lists follow (as "Update" does).
  void followSelection();
  // Brings the caption, the sensor combo box, the dataset rows and the status
  // line in line with the collection after command `commandId` (0: after
  // the host replaced datasets). Commands that leave the datasets as they
  // were change nothing here.
  void syncWithCollection(int commandId);

  // Given the dataset Delete is about to remove; returning true takes it
  // over (to bring it back later) instead of letting it be destroyed.
  std::function<bool(int spctmClass, CSpctmTrlCCDatazq* dataset)> deletedDatasetKeeper;

  // The button or menu item of a command, or null.
  QPushButton* button(int id) const;
  QAction* menuAction(int id) const;
  // Builds the channel-pair popup ("COHPM": "Edit", "Show", "Hide"), owned
  // by the caller.
  QMenu* createPairContextMenu();

  CListSpctmCohCCDTrialzq* listTrial = nullptr;
  CListSpctmCohCCDatasetzq* listPairs = nullptr;
  QSplitter* splitter = nullptr;
  QComboBox* comboOperation = nullptr;
  QComboBox* comboActSns = nullptr;
  QLineEdit* editTimeIndex = nullptr;
  QLineEdit* editFreqIndex = nullptr;
  QMenuBar* menuBar = nullptr;
  // Which dataset, sensor and selection the channel-pair list shows.
  QLabel* statusLine = nullptr;
  // Holds collection, timeIndex, freqIndex and caption.
  megcxc::ui::CManagerLogic logic;

 signals:
  // A handler ran to its end: command `commandId`, or 0 for a row, combo box
  // or show. The host refreshes its own views of the collection then.
  void handled(int commandId);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // CManagerView
  bool exchangeFromControls(int64_t& timeIndex, int64_t& freqIndex) override;
  void exchangeToControls(int64_t timeIndex, int64_t freqIndex) override;
  void setWindowText(const CString& text) override;
  void selectOperation(int index) override;
  void setActSnsEntries(const std::vector<CString>& entries, int64_t selected) override;
  void setTrialListCollection(CMEGSpctmCCDataFacezq* collection) override;
  void deleteAllTrialRows() override;
  int insertClassRow(int spctmClass) override;
  CSpctmTrlCCDatazq* shownTrial() const override;
  void setShownTrial(CSpctmTrlCCDatazq* trial) override;
  int fillPairRows() override;
  int markSelectedPairs(bool mark) override;
  bool keepDeletedDataset(int spctmClass, CSpctmTrlCCDatazq* dataset) override;
  bool promptForString(CString& text) override;
  void showReport(const CString& text, const CString& name) override;
  void setWaitCursor(bool on) override;

  void buildMenus();
  QWidget* buildCommandBar();
  QPushButton* addButton(int id, const char* text, const char* tip);
  QAction* addMenuAction(QMenu* menu, int id, const char* text);
  void showPairContextMenu(const QPoint& pos);
  void refreshStatusLine();
  // Runs `handler`, showing an exception that leaves it as a message, then
  // announces it (handled).
  template <typename Handler>
  void guarded(Handler&& handler, int commandId = 0);
  // Makes the row of the dataset's curCxcSns the pair list's current row.
  void restorePairRow();

  std::map<int, QPushButton*> buttons_;
  std::map<int, QAction*> menuActions_;
};
