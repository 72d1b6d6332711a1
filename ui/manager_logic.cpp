#include "ui/manager_logic.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "face/meg_spctm_cc_data_facezq.h"
#include "host/describe.h"
#include "host/names.h"
#include "host/steps.h"
#include "host/views.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::ui {

namespace host = megcxc::host;

const char* const kTrialColumnTitles[kTrialColumnCount] = {
    "Class", "Spectral Type", "Store Type", "CxC Type", "CxC Channels", "Time-Freq", "Delay"};
const char* const kPairColumnTitles[kPairColumnCount] = {
    "Name", "Chn A", "Chn B", "Time", "Freq", "Real", "Imag", "Power/Phase"};
const char* const kManagerCaption = "Spectral CxC Manager";
const char* const kEnterIntegerPrompt = "Please enter an integer.";

namespace {

// Stored indices come from files and hosts; keeping the stepping arithmetic
// inside this bound means no sum or difference can overflow, while every
// selection of a real grid is far below it.
constexpr int64_t kIndexBound = int64_t{1} << 60;

int64_t bounded(int64_t v) { return v > kIndexBound ? kIndexBound : (v < -kIndexBound ? -kIndexBound : v); }

// v lowered to n - 1, then raised to 0 (so 0 for an empty axis).
int64_t clampIndex(int64_t v, int64_t n) {
  if (v > n - 1) v = n - 1;
  if (v < 0) v = 0;
  return v;
}

// The delay as a whole number: truncated toward zero, NaN as 0, saturated at
// the 64-bit limits rather than converting an unrepresentable value.
int64_t wholeNumber(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 9.2e18) return std::numeric_limits<int64_t>::max();
  if (v <= -9.2e18) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(v);
}

CString formatI64(const char* fmt, int64_t v) {
  CString s;
  s.Format(fmt, v);
  return s;
}

CString formatI64x2(int64_t a, int64_t b) {
  CString s;
  s.Format("%I64dx%I64d", a, b);
  return s;
}

// "%f" of a plane's cell [t][f], or "None" when the plane is absent or the
// cell lies outside the pair's grid. The cell is read from the plane's block
// so that an absent row reads as its stored cells, never through a null row.
CString cellText(const CSpctmChnChnDatazq& pair, int dataType, int64_t t, int64_t f) {
  double** plane = pair.plane[dataType];
  if (plane == nullptr || t < 0 || f < 0 || t >= pair.timePt || f >= pair.freqPt) return "None";
  const double* cells = megcxc::planeData(plane, pair.timePt);
  if (cells == nullptr) return "None";
  CString s;
  s.Format("%f", cells[t * pair.freqPt + f]);
  return s;
}

}  // namespace

RowTexts describeTrialRow(const CSpctmTrlCCData& trial) {
  RowTexts row;
  row.text[0] = trial.trialName;
  row.text[1] = host::computationName(trial.cmptType);
  row.text[2] = host::storeTypeName(trial.storeType);
  row.text[3] = trial.cxcType;
  row.text[4] = formatI64x2(trial.rowSnsCount, trial.colSnsCount);
  row.text[5] = formatI64x2(trial.timePt, trial.freqPt);
  row.text[6] = formatI64("%I64d", wholeNumber(trial.delay));
  row.image = trial.iconFlag ? kImageMarked : kImagePlain;
  return row;
}

bool describePairRow(CSpctmTrlCCData* trial, int64_t k, RowTexts& row) {
  if (trial == nullptr || trial->pairMatrix == nullptr) return false;
  trial->curActSns = clampIndex(trial->curActSns, trial->rowSnsCount);
  if (trial->rowSnsCount < 1) return false;
  if (k < 0 || k >= trial->colSnsCount) return false;
  const CSpctmChnChnDatazq* rowPairs = trial->pairMatrix[trial->curActSns];
  if (rowPairs == nullptr) return false;
  const CSpctmChnChnDatazq& pair = rowPairs[k];
  const int64_t bT = trial->selTimeBegin;
  const int64_t bF = trial->selFreqBegin;
  row.text[0] = formatI64("%I64d", k + 1);
  row.text[1] = formatI64("C%I64d", pair.chnA);
  row.text[2] = formatI64("xC%I64d", pair.chnB);
  row.text[3] = formatI64("%I64d", pair.timePt);
  row.text[4] = formatI64("%I64d", pair.freqPt);
  for (int dt = 0; dt < 3; ++dt) row.text[5 + dt] = cellText(pair, dt, bT, bF);
  row.image = pair.isSelected ? kImageMarked : kImagePlain;
  return true;
}

std::vector<CString> actSnsEntries(const CSpctmTrlCCData& trial) {
  std::vector<CString> entries;
  if (trial.pairMatrix == nullptr) return entries;
  for (int64_t r = 0; r < trial.rowSnsCount; ++r) {
    const CSpctmChnChnDatazq* rowPairs = trial.pairMatrix[r];
    CString s;
    if (rowPairs != nullptr && trial.colSnsCount >= 1) {
      s.Format("%I64d->%I64d", r, rowPairs[0].chnA);
    } else {
      s.Format("%I64d->?", r);
    }
    entries.push_back(s);
  }
  return entries;
}

void stepSelectionUp(int64_t& begin, int64_t& end, int64_t n) {
  n = bounded(n);
  int64_t b = bounded(begin);
  int64_t e = bounded(end);
  if (e < b) e = b;
  const int64_t w = e - b;
  int64_t nb = b + 1;
  int64_t ne = e + 1;
  if (nb < 0) {
    ne = n - 1;
    nb = n - w - 1;
  }
  if (ne >= n) {
    nb = 0;
    ne = w;
  }
  if (ne < nb) ne = nb;
  begin = nb;
  end = ne;
}

CString buildStatisticsReport(CSpctmTrlCCDatazq& trial, bool timeReport) {
  return host::statisticsReport(trial, timeReport, -1, true);
}

CString describeShownSelection(CSpctmTrlCCDatazq* trial) {
  if (trial == nullptr) return CString();
  CString line = trial->trialName;
  CString part;
  if (trial->pairMatrix != nullptr && trial->curActSns >= 0 && trial->curActSns < trial->rowSnsCount &&
      trial->colSnsCount >= 1 && trial->pairMatrix[trial->curActSns] != nullptr) {
    part.Format("   |   sensor row %I64d (C%I64d)", trial->curActSns, trial->pairMatrix[trial->curActSns][0].chnA);
  } else {
    part = "   |   no channel pairs";
  }
  line += part;
  part.Format("   |   time %I64d..%I64d of %I64d", trial->selTimeBegin, trial->selTimeEnd, trial->timePt);
  line += part;
  if (trial->selTimeBegin >= 0 && trial->selTimeBegin < trial->timePt) {
    part.Format(" (sample %.0f)", host::timeAt(*trial, trial->selTimeBegin, host::AxisLabelSource{}));
    line += part;
  }
  part.Format("   |   frequency %I64d..%I64d of %I64d", trial->selFreqBegin, trial->selFreqEnd, trial->freqPt);
  line += part;
  const double hz = trial->getSpctmFreq4FreqIndex(trial->selFreqBegin);
  if (hz >= 0.0 && trial->selFreqBegin >= 0 && trial->selFreqBegin < trial->freqPt) {
    part.Format(" (%.2f Hz)", hz);
    line += part;
  }
  return line;
}

bool parseProgressText(const CString& text, int64_t& total, int64_t& done) {
  const std::string s = text.toUtf8();
  const std::string key = "(Channel::";
  const std::size_t at = s.find(key);
  if (at == std::string::npos) return false;
  long long a = 0;
  long long b = 0;
  int used = 0;
  if (std::sscanf(s.c_str() + at + key.size(), "%lld->%lld)%n", &a, &b, &used) != 2 || used == 0) {
    return false;
  }
  total = a;
  done = b;
  return true;
}

int firstClassWithDataset(const CMEGSpctmCCDataFacezq& collection) {
  for (int c = 0; c < 3; ++c) {
    if (collection.trialByClass[c] != nullptr) return c;
  }
  return -1;
}

void CManagerLogic::initDialog() {
  view_.selectOperation(collection != nullptr ? collection->actCtlOperation : 0);
  exchangeTo();
}

void CManagerLogic::attach(CMEGSpctmCCDataFacezq* face) {
  collection = face;
  view_.setTrialListCollection(face);
  view_.setShownTrial(currentClassTrial());
}

void CManagerLogic::refreshAfterShow() {
  fillActSnsCombo();
  reloadView();
  refreshLists();
}

CSpctmTrlCCDatazq* CManagerLogic::currentTrial() {
  CSpctmTrlCCDatazq* shown = view_.shownTrial();
  if (shown == nullptr || collection == nullptr) return shown;
  for (CSpctmTrlCCDatazq* slot : collection->trialByClass) {
    if (slot == shown) return shown;
  }
  view_.setShownTrial(nullptr);
  return nullptr;
}

CSpctmTrlCCDatazq* CManagerLogic::currentClassTrial() const {
  if (collection == nullptr) return nullptr;
  const int c = collection->currentClass;
  if (c < 0 || c > 2) return nullptr;
  return collection->trialByClass[c];
}

void CManagerLogic::refreshLists() {
  currentTrial();
  view_.deleteAllTrialRows();
  if (collection != nullptr) {
    for (int c = 0; c < 3; ++c) view_.insertClassRow(c);
  }
  view_.fillPairRows();
}

void CManagerLogic::reloadView() {
  if (CSpctmTrlCCDatazq* trial = currentTrial()) {
    timeIndex = trial->selTimeBegin;
    freqIndex = trial->selFreqBegin;
  }
  refreshLists();
  exchangeTo();
}

void CManagerLogic::setCaptionFor(const CSpctmTrlCCDatazq& trial) {
  timeIndex = trial.selTimeBegin;
  freqIndex = trial.selFreqBegin;
  caption = CString(kManagerCaption) + CString("-") + trial.trialName;
  view_.setWindowText(caption);
}

void CManagerLogic::refreshCaption() {
  if (CSpctmTrlCCDatazq* trial = currentTrial()) setCaptionFor(*trial);
  if (collection != nullptr) view_.selectOperation(collection->actCtlOperation);
  exchangeTo();
}

void CManagerLogic::fillActSnsCombo() {
  CSpctmTrlCCDatazq* trial = currentTrial();
  if (trial == nullptr) {
    view_.setActSnsEntries({}, -1);
  } else {
    view_.setActSnsEntries(actSnsEntries(*trial), trial->curActSns);
  }
  exchangeTo();
}

bool CManagerLogic::onCommand(int id) {
  switch (id) {
    case kCmdExit: return exchangeFrom();
    case kCmdApply: onApply(); break;
    case kCmdUpdate: reloadView(); break;
    case kCmdDelete: onDelete(); break;
    case kCmdActCtl: onActCtl(); break;
    case kCmdZipTime: onAccumulate(0); break;
    case kCmdZipFreq: onAccumulate(1); break;
    case kCmdZipTimeFreq: onAccumulate(2); break;
    case kCmdStepTime: onStepSelection(0); break;
    case kCmdStepFreq: onStepSelection(1); break;
    case kCmdStatisticF: onStatistics(false); break;
    case kCmdStatisticT: onStatistics(true); break;
    case kCmdSetName: onSetName(); break;
    case kCmdComputeMagnitude:
    case kCmdComputePhase:
    case kCmdComputeMagnitudeRS:
    case kCmdComputeMagnitudeIS:
    case kCmdZeroDiagonal: onComputeAll(id); break;
    case kCmdShowPairs:
    case kCmdHidePairs:
      currentTrial();
      view_.markSelectedPairs(id == kCmdShowPairs);
      break;
    default: break;  // kCmdEditPair has no effect.
  }
  return true;
}

void CManagerLogic::onTrialRowChosen(int item) {
  CWaitCursorScope wait(view_);
  exchangeFrom();
  CSpctmTrlCCDatazq* found = nullptr;
  if (collection != nullptr) {
    for (int c = 0; c < 3; ++c) {
      CSpctmTrlCCDatazq* trial = collection->trialByClass[c];
      if (trial != nullptr && trial->listItemId == item) {
        collection->currentClass = c;
        setCaptionFor(*trial);
        exchangeTo();
        found = trial;
        break;
      }
    }
  }
  view_.setShownTrial(found);
  view_.fillPairRows();
  fillActSnsCombo();
}

void CManagerLogic::onPairRowChosen(int item) {
  exchangeFrom();
  if (CSpctmTrlCCDatazq* trial = currentTrial()) trial->curCxcSns = clampIndex(item, trial->colSnsCount);
}

void CManagerLogic::onOperationChosen(int selection) {
  exchangeFrom();
  if (selection >= 0 && collection != nullptr) collection->actCtlOperation = selection;
}

void CManagerLogic::onActSnsChosen(int selection) {
  CSpctmTrlCCDatazq* trial = currentTrial();
  if (selection >= 0 && trial != nullptr) trial->curActSns = selection;
  view_.fillPairRows();
}

bool CManagerLogic::wantsPairContextMenu() { return currentTrial() != nullptr; }

void CManagerLogic::onApply() {
  exchangeFrom();
  if (collection == nullptr) return;
  const int c = firstClassWithDataset(*collection);
  collection->currentClass = c;
  CSpctmTrlCCDatazq* trial = c >= 0 ? collection->trialByClass[c] : nullptr;
  view_.setShownTrial(trial);
  if (trial == nullptr) {
    refreshLists();
    return;
  }
  if (timeIndex != -1) trial->selTimeBegin = trial->selTimeEnd = timeIndex;
  trial->selTimeBegin = clampIndex(trial->selTimeBegin, trial->timePt);
  trial->selTimeEnd = clampIndex(trial->selTimeEnd, trial->timePt);
  if (freqIndex != -1) trial->selFreqBegin = trial->selFreqEnd = freqIndex;
  trial->selFreqBegin = clampIndex(trial->selFreqBegin, trial->freqPt);
  trial->selFreqEnd = clampIndex(trial->selFreqEnd, trial->freqPt);
  refreshLists();
}

void CManagerLogic::onDelete() {
  if (collection != nullptr) {
    const int c = collection->currentClass;
    if (c >= 0 && c <= 2) {
      // The list must not keep a pointer to the dataset about to go.
      CSpctmTrlCCDatazq* doomed = collection->trialByClass[c];
      if (view_.shownTrial() == doomed) view_.setShownTrial(nullptr);
      // A view that keeps the dataset (for an undo) takes it out of its slot;
      // the collection then only empties the slot and moves currentClass.
      if (doomed != nullptr && view_.keepDeletedDataset(c, doomed)) collection->trialByClass[c] = nullptr;
      collection->deleteSpctmTrlData(c);
    }
    const int first = firstClassWithDataset(*collection);
    view_.setShownTrial(first >= 0 ? collection->trialByClass[first] : nullptr);
    if (first >= 0) collection->currentClass = first;
  }
  refreshCaption();
  refreshLists();
}

void CManagerLogic::onActCtl() {
  exchangeFrom();
  if (collection == nullptr) return;
  // The library asks about collapsing the control itself; the host step
  // completes the description of the dataset it produces.
  host::applyStep(*collection, host::actCtlStep(collection->actCtlOperation, host::Consent::ask));
  refreshLists();
}

void CManagerLogic::onAccumulate(int axis) {
  CWaitCursorScope wait(view_);
  exchangeFrom();
  CSpctmTrlCCDatazq* trial = currentClassTrial();
  if (trial != nullptr) {
    if (axis == 0 || axis == 2) timeIndex = 0;
    if (axis == 1 || axis == 2) freqIndex = 0;
    host::applyStep(*collection, host::accumulateStep(axis, collection->currentClass));
    if (axis == 0 || axis == 2) trial->selTimeBegin = trial->selTimeEnd = trial->timePt >= 1 ? 0 : trial->timePt - 1;
    if (axis == 1 || axis == 2) trial->selFreqBegin = trial->selFreqEnd = trial->freqPt >= 1 ? 0 : trial->freqPt - 1;
    view_.setShownTrial(trial);
    view_.fillPairRows();
  }
  exchangeTo();
}

void CManagerLogic::onStepSelection(int axis) {
  exchangeFrom();
  if (CSpctmTrlCCDatazq* trial = currentTrial()) {
    if (axis == 0) {
      stepSelectionUp(trial->selTimeBegin, trial->selTimeEnd, trial->timePt);
    } else {
      stepSelectionUp(trial->selFreqBegin, trial->selFreqEnd, trial->freqPt);
    }
  }
  view_.fillPairRows();
  refreshCaption();
}

void CManagerLogic::onStatistics(bool timeReport) {
  CWaitCursorScope wait(view_);
  exchangeFrom();
  if (CSpctmTrlCCDatazq* trial = currentTrial()) {
    view_.showReport(buildStatisticsReport(*trial, timeReport), trial->trialName);
  }
}

void CManagerLogic::onSetName() {
  exchangeFrom();
  CSpctmTrlCCDatazq* trial = currentClassTrial();
  if (trial != nullptr) {
    CString name = trial->trialName;
    if (view_.promptForString(name)) {
      trial->trialName = name;
      view_.deleteAllTrialRows();
      for (int c = 0; c < 3; ++c) view_.insertClassRow(c);
    }
  }
  exchangeTo();
}

void CManagerLogic::onComputeAll(int id) {
  exchangeFrom();
  if (collection == nullptr) return;
  // Each class dataset on its own, so that one without pairs does not keep
  // the others from being computed.
  for (int c = 0; c < host::kClassCount; ++c) {
    if (collection->trialByClass[c] == nullptr) continue;
    switch (id) {
      case kCmdComputeMagnitude: host::applyStep(*collection, host::magnitudeStep(0, c)); break;
      case kCmdComputeMagnitudeRS: host::applyStep(*collection, host::magnitudeStep(1, c)); break;
      case kCmdComputeMagnitudeIS: host::applyStep(*collection, host::magnitudeStep(2, c)); break;
      case kCmdComputePhase: host::applyStep(*collection, host::phaseStep(c)); break;
      case kCmdZeroDiagonal: host::applyStep(*collection, host::zeroDiagonalStep(c)); break;
      default: break;
    }
  }
  view_.fillPairRows();
}

}  // namespace megcxc::ui
