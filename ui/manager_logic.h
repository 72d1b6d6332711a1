// The toolkit-free side of the manager dialog.
//
// CManagerLogic holds the dialog's own state (the collection it shows, the
// typed time and frequency indices, the caption) and runs every handler of
// the dialog against the collection and its datasets. It reaches the widgets
// only through CManagerView, an interface of the few things a handler does to
// the window (data exchange of the two edits, the caption, the combo boxes,
// the list rebuilds, the wait cursor, the two helper windows). The Qt dialog
// implements that interface and forwards each signal in one line, so a test
// can drive the same handlers with a plain fake view and no toolkit at all.
//
// The row texts of both lists are computed here as well, for the same reason.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cstring.h"

class CMEGSpctmCCDataFacezq;
class CSpctmTrlCCData;
class CSpctmTrlCCDatazq;

namespace megcxc::ui {

// Command ids of the buttons and menu items (the resource ids of the dialog).
enum ManagerCommand : int {
  kCmdExit = 1,
  kCmdComputeMagnitude = 32777,
  kCmdComputePhase = 32778,
  kCmdComputeMagnitudeRS = 32779,
  kCmdComputeMagnitudeIS = 32780,
  kCmdZeroDiagonal = 32781,
  kCmdStatisticT = 32783,
  kCmdApply = 40020,
  kCmdUpdate = 40021,
  kCmdDelete = 40023,
  kCmdStepTime = 40025,
  kCmdActCtl = 40026,
  kCmdStatisticF = 40028,
  kCmdStepFreq = 40029,
  kCmdEditPair = 40034,
  kCmdSetName = 40035,
  kCmdZipTime = 40036,
  kCmdShowPairs = 40037,
  kCmdZipFreq = 40038,
  kCmdHidePairs = 40039,
  kCmdZipTimeFreq = 40040,
};

inline constexpr int kTrialColumnCount = 7;
inline constexpr int kPairColumnCount = 8;
// Width of every list column in pixels.
inline constexpr int kListColumnWidth = 90;
// Image indices of both lists.
inline constexpr int kImagePlain = 0;
inline constexpr int kImageMarked = 1;
inline constexpr int kOperationCount = 4;

extern const char* const kTrialColumnTitles[kTrialColumnCount];
extern const char* const kPairColumnTitles[kPairColumnCount];
// Caption after construction, and the prefix of "Spectral CxC Manager-<name>".
extern const char* const kManagerCaption;
// Prompt shown when an index edit does not hold an integer.
extern const char* const kEnterIntegerPrompt;

// Texts (column 0 first) and image index of one list row.
struct RowTexts {
  CString text[kPairColumnCount];
  int image = kImagePlain;
};

// The seven texts and the image of the dataset row of `trial`.
RowTexts describeTrialRow(const CSpctmTrlCCData& trial);

// The eight texts and the image of pair row k of `trial` (pair k of the row
// curActSns). Clamps curActSns into the rows and stores it back first. False
// (nothing described) without a dataset, matrix or rows, for k outside
// 0 .. colSnsCount - 1, or when the pair's row is absent.
bool describePairRow(CSpctmTrlCCData* trial, int64_t k, RowTexts& row);

// Entries "r->chnA" of the active-sensor combo box, one per matrix row; empty
// without a matrix. A row without pairs reads "r->?".
std::vector<CString> actSnsEntries(const CSpctmTrlCCData& trial);

// Moves the inclusive box begin .. end of an axis of n points one index up,
// keeping its width and wrapping to the start when it runs past the end
// ("Time>>" / "Freq>>").
void stepSelectionUp(int64_t& begin, int64_t& end, int64_t n);

// The frequency (timeReport false) or time statistics report of `trial` over
// the three data types, with its header line.
CString buildStatisticsReport(CSpctmTrlCCDatazq& trial, bool timeReport);

// One line telling which dataset, sensor row and selection the channel-pair
// list shows, e.g. "Active CxC | sensor row 5 (C5) | time 5..5 of 10 (sample
// 125) | frequency 4..4 of 20 (10.00 Hz)"; empty without a dataset.
CString describeShownSelection(CSpctmTrlCCDatazq* trial);

// Reads "(Channel::total->done)" out of a dataset progress notice; false when
// the text has no such part.
bool parseProgressText(const CString& text, int64_t& total, int64_t& done);

// The first class (0, 1, 2) whose slot holds a dataset, or -1.
int firstClassWithDataset(const CMEGSpctmCCDataFacezq& collection);

// What a handler does to the window. Implemented by the Qt dialog and by test
// fakes.
class CManagerView {
 public:
  virtual ~CManagerView() = default;

  // Data exchange from the controls: parses the time edit, then the frequency
  // edit. At the first text that is not an integer it shows
  // kEnterIntegerPrompt and returns false; that index and the later one keep
  // their values.
  virtual bool exchangeFromControls(int64_t& timeIndex, int64_t& freqIndex) = 0;
  // Data exchange into the controls: writes both indices into the edits.
  virtual void exchangeToControls(int64_t timeIndex, int64_t freqIndex) = 0;
  virtual void setWindowText(const CString& text) = 0;
  // Selects entry `index` of the operation combo box (none when out of range).
  virtual void selectOperation(int index) = 0;
  // Replaces the entries of the active-sensor combo box and selects
  // `selected` (none when out of range).
  virtual void setActSnsEntries(const std::vector<CString>& entries, int64_t selected) = 0;

  // The dataset list.
  virtual void setTrialListCollection(CMEGSpctmCCDataFacezq* collection) = 0;
  virtual void deleteAllTrialRows() = 0;
  virtual int insertClassRow(int spctmClass) = 0;

  // The channel-pair list and its shown (current) dataset.
  virtual CSpctmTrlCCDatazq* shownTrial() const = 0;
  virtual void setShownTrial(CSpctmTrlCCDatazq* trial) = 0;
  virtual int fillPairRows() = 0;
  // Marks ("Show", mark true) or unmarks ("Hide") the chosen pairs.
  virtual int markSelectedPairs(bool mark) = 0;
  // Offered the dataset that Delete is about to destroy; true: the view took
  // it over (for an undo) and it must not be destroyed.
  virtual bool keepDeletedDataset(int /*spctmClass*/, CSpctmTrlCCDatazq* /*dataset*/) { return false; }

  // Runs the modal one-line input dialog preset with `text`; true (and the
  // new text in `text`) on OK.
  virtual bool promptForString(CString& text) = 0;
  // Shows a statistics report in the report window.
  virtual void showReport(const CString& text, const CString& name) = 0;
  // Pushes (true) or pops (false) the wait cursor.
  virtual void setWaitCursor(bool on) = 0;
};

// Shows the wait cursor for its lifetime, also when an exception leaves the
// scope.
class CWaitCursorScope {
 public:
  explicit CWaitCursorScope(CManagerView& view) : view_(view) { view_.setWaitCursor(true); }
  ~CWaitCursorScope() { view_.setWaitCursor(false); }
  CWaitCursorScope(const CWaitCursorScope&) = delete;
  CWaitCursorScope& operator=(const CWaitCursorScope&) = delete;

 private:
  CManagerView& view_;
};

class CManagerLogic {
 public:
  explicit CManagerLogic(CManagerView& view) : view_(view) {}

  // The owning collection; not owned, null until the collection shows the
  // dialog.
  CMEGSpctmCCDataFacezq* collection = nullptr;
  int64_t timeIndex = 0;
  int64_t freqIndex = 0;
  CString caption = kManagerCaption;

  // Window initialisation: fills nothing but selects the collection's
  // operation in the combo box (entry 0 while no collection is set) and
  // writes the indices into the edits.
  void initDialog();
  // The collection's part of showing the dialog, after the window exists:
  // points the dialog and the dataset list at `face`, makes the current class
  // dataset the shown dataset, then fills the sensor combo box and reloads
  // and rebuilds the lists. The caller shows the window in between.
  void attach(CMEGSpctmCCDataFacezq* face);
  void refreshAfterShow();

  // The shown dataset, re-resolved: when a collection is set, a shown dataset
  // that is no longer one of its slots (deleted or replaced by the host) is
  // dropped and null is returned.
  CSpctmTrlCCDatazq* currentTrial();
  // The dataset of the collection's currentClass, or null.
  CSpctmTrlCCDatazq* currentClassTrial() const;

  void refreshLists();
  void reloadView();
  void refreshCaption();
  void fillActSnsCombo();

  // Runs the handler of a button or menu command. Returns false only for
  // kCmdExit when the edits could not be read (the window then stays open);
  // true otherwise, also for unknown ids (nothing happens).
  bool onCommand(int id);
  // A row of the dataset list became the chosen one.
  void onTrialRowChosen(int item);
  // A row of the channel-pair list became the chosen one.
  void onPairRowChosen(int item);
  // The user picked entry `selection` of the operation combo (-1: none).
  void onOperationChosen(int selection);
  // The user picked entry `selection` of the active-sensor combo (-1: none).
  void onActSnsChosen(int selection);
  // Whether a right click in the channel-pair list opens its popup.
  bool wantsPairContextMenu();

  void onApply();
  void onDelete();
  void onActCtl();
  // axis: 0 time, 1 frequency, 2 both.
  void onAccumulate(int axis);
  // axis: 0 time, 1 frequency.
  void onStepSelection(int axis);
  void onStatistics(bool timeReport);
  void onSetName();
  // One of kCmdComputeMagnitude .. kCmdZeroDiagonal on every class dataset.
  void onComputeAll(int id);

 private:
  bool exchangeFrom() { return view_.exchangeFromControls(timeIndex, freqIndex); }
  void exchangeTo() { view_.exchangeToControls(timeIndex, freqIndex); }
  void setCaptionFor(const CSpctmTrlCCDatazq& trial);

  CManagerView& view_;
};

}  // namespace megcxc::ui
