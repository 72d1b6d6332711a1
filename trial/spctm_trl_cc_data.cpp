#include "trial/spctm_trl_cc_data.h"
#include "trial/spctm_trl_pair_walk.h"

#include <cmath>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "spectral/spctm_basicx.h"

namespace {

constexpr unsigned kProgressMessage = WM_APP + 9;
constexpr const char* kProgressText = "Spectral CxC initialization(Channel::%I64d->%I64d)...";
constexpr const char* kProgressErrorText =
    "Spectral CxC initialization error at (Channel::%I64d->%I64d)...";

// Formats the progress text into the host's string and posts the notice.
// Silent (false) unless the dialog exists, is visible and a string was given.
bool postProgress(CDialog* dlg, CString* text, const char* fmt, int64_t a, int64_t b) {
  if (dlg == nullptr || text == nullptr || !dlg->IsWindowVisible()) return false;
  text->Format(fmt, a, b);
  return dlg->PostMessage(kProgressMessage, 0, 0);
}

// Releases `rows` row entries (each an array of pairs) and the table itself.
void releaseMatrix(CSpctmChnChnDatazq** table, int64_t rows) {
  if (table == nullptr) return;
  for (int64_t r = 0; r < rows; ++r) delete[] table[r];
  delete[] table;
}

// A table of `rows` null row entries, or null when it cannot be allocated.
CSpctmChnChnDatazq** newRowTable(int64_t rows) {
  CSpctmChnChnDatazq** table = megcxc::xnewArray<CSpctmChnChnDatazq*>(rows);
  if (table == nullptr) return nullptr;
  for (int64_t r = 0; r < rows; ++r) table[r] = nullptr;
  return table;
}

// The plane of dataType when it is present with extents of at least 1 x 1.
bool pairHasUsablePlane(const CSpctmChnChnDatazq& pair, int dataType) {
  if (dataType < 0 || dataType > 2) return false;
  return pair.plane[dataType] != nullptr && pair.timePt >= 1 && pair.freqPt >= 1;
}

// True when both pairs hold the same set of working and raw planes; used to
// notice that copying a pair ran out of memory.
bool samePlaneSet(const CSpctmChnChnDatazq& a, const CSpctmChnChnDatazq& b) {
  for (int d = 0; d < 3; ++d) {
    if ((a.plane[d] == nullptr) != (b.plane[d] == nullptr)) return false;
    if ((a.rawPlane[d] == nullptr) != (b.rawPlane[d] == nullptr)) return false;
  }
  return true;
}

// Running range of several pairs: the first contribution sets it, later ones
// widen it.
struct RangeAccumulator {
  bool any = false;
  double lo = 0.0;
  double hi = 0.0;
  void add(double mn, double mx) {
    if (!any) {
      lo = mn;
      hi = mx;
      any = true;
      return;
    }
    if (mn < lo) lo = mn;
    if (mx > hi) hi = mx;
  }
};

// Range of one pair's plane (signed scans update the pair's cache). False
// when the pair has no usable plane of dataType.
bool scanPair(CSpctmChnChnDatazq& pair, int dataType, bool absolute, double& mn, double& mx) {
  if (!pairHasUsablePlane(pair, dataType)) return false;
  return absolute ? pair.getSpctmRangeAbs(&mn, &mx, 1, dataType) == 1
                  : pair.getSpctmRange(&mn, &mx, 1, dataType) == 1;
}

// Combined range of columns 0 .. cols-1 of one row of pairs.
void scanRow(CSpctmChnChnDatazq* row, int64_t cols, int dataType, bool absolute,
             RangeAccumulator& acc) {
  if (row == nullptr) return;
  for (int64_t c = 0; c < cols; ++c) {
    double mn = 0.0, mx = 0.0;
    if (scanPair(row[c], dataType, absolute, mn, mx)) acc.add(mn, mx);
  }
}

// Range of a summary array of rows x cols cells. The array is one block, so
// the cells are walked contiguously from cell [0][0]. False when the array is
// absent or an extent is below 1.
bool scanArray(double** array, int64_t rows, int64_t cols, bool absolute, double& mn,
               double& mx) {
  const double* cells = megcxc::planeData(array, rows);
  if (cells == nullptr || rows < 1 || cols < 1) return false;
  const int64_t n = rows * cols;
  double lo = absolute ? std::fabs(cells[0]) : cells[0];
  double hi = lo;
  for (int64_t i = 1; i < n; ++i) {
    const double v = absolute ? std::fabs(cells[i]) : cells[i];
    if (v < lo) lo = v;
    if (v > hi) hi = v;
  }
  mn = lo;
  mx = hi;
  return true;
}

// Writes the starting values of a range operation; false when a pointer is
// null.
bool startRange(double* pMin, double* pMax, double lo, double hi) {
  if (pMin != nullptr) *pMin = lo;
  if (pMax != nullptr) *pMax = hi;
  return pMin != nullptr && pMax != nullptr;
}

// Deep copy of the matrix of `src` into `out` (null when src has none).
// False when an allocation failed; nothing is left allocated then. A failing
// table or row shows "Is memory enough?!"; a pair that cannot copy its planes
// has shown its own message.
bool copyMatrix(const CSpctmTrlCCData& src, CSpctmChnChnDatazq**& out) {
  out = nullptr;
  if (src.pairMatrix == nullptr || src.rowSnsCount < 1 || src.colSnsCount < 1) return true;
  const int64_t rows = src.rowSnsCount, cols = src.colSnsCount;
  CSpctmChnChnDatazq** table = newRowTable(rows);
  if (table == nullptr) {
    AfxMessageBox("Is memory enough?!", MB_OK);
    return false;
  }
  for (int64_t r = 0; r < rows; ++r) {
    const CSpctmChnChnDatazq* from = src.pairMatrix[r];
    if (from == nullptr) continue;
    CSpctmChnChnDatazq* row = megcxc::xnewArray<CSpctmChnChnDatazq>(cols);
    if (row == nullptr) {
      releaseMatrix(table, rows);
      AfxMessageBox("Is memory enough?!", MB_OK);
      return false;
    }
    table[r] = row;
    for (int64_t c = 0; c < cols; ++c) {
      row[c] = from[c];
      if (!samePlaneSet(row[c], from[c])) {
        releaseMatrix(table, rows);
        return false;
      }
    }
  }
  out = table;
  return true;
}

int64_t clampIndex(int64_t value, int64_t count) {
  if (value < 0) return 0;
  if (value >= count) return count - 1;
  return value;
}

}  // namespace

CSpctmTrlCCData::CSpctmTrlCCData()
    : auxInt1(0),
      cmptType(1),
      storeType(0),
      auxInt2(1),
      timeDataLength(0),
      timeDataBegin(0),
      timeDataEnd(0),
      timePtOffset(0),
      auxLong1(0),
      timeStep(1),
      auxValue1(0.0),
      auxValue2(0.0),
      auxFactor1(1.0),
      auxFactor2(1.0),
      auxLong2(0),
      freqFirstHz(0.0),
      freqLastHz(0.0),
      freqAxisLog(0),
      freqStepHz(1.0),
      freqRatio(1.0),
      auxInt3(0),
      resultType(0),
      auxInt4(0),
      selTimeBegin(0),
      selTimeEnd(0),
      selFreqBegin(0),
      selFreqEnd(0),
      auxLong3(0),
      auxInt5(1),
      auxInt6(0),
      auxInt7(1),
      auxLong4(0),
      auxInt8(1),
      auxInt9(0),
      cxcType("None"),
      auxInt10(0),
      auxInt11(0),
      delay(0.0),
      auxInt12(0),
      trialName("CxC Data"),
      iconFlag(true),
      listItemId(0),
      timePt(0),
      freqPt(0),
      rowSnsCount(0),
      colSnsCount(0),
      pairMatrix(nullptr),
      curActSns(0),
      curCxcSns(0),
      hasRealPlane(0),
      hasImagPlane(0),
      hasPowerPhasePlane(0),
      progressDlg(nullptr),
      progressText(nullptr),
      dataTypeName{CString("Real"), CString("Imaginary"), CString("Power/Phase")} {}

CSpctmTrlCCData::~CSpctmTrlCCData() { _cleanAll(); }

CSpctmTrlCCData::CSpctmTrlCCData(const CSpctmTrlCCData& other) : CSpctmTrlCCData() {
  *this = other;
}

CSpctmTrlCCData& CSpctmTrlCCData::operator=(const CSpctmTrlCCData& other) {
  if (this == &other) return *this;
  // The old matrix goes first so that a large dataset is never held twice.
  _cleanSpctmCC();
  auxInt1 = other.auxInt1;
  cmptType = other.cmptType;
  storeType = other.storeType;
  auxInt2 = other.auxInt2;
  timeDataLength = other.timeDataLength;
  timeDataBegin = other.timeDataBegin;
  timeDataEnd = other.timeDataEnd;
  timePtOffset = other.timePtOffset;
  auxLong1 = other.auxLong1;
  timeStep = other.timeStep;
  auxValue1 = other.auxValue1;
  auxValue2 = other.auxValue2;
  auxFactor1 = other.auxFactor1;
  auxFactor2 = other.auxFactor2;
  auxLong2 = other.auxLong2;
  freqFirstHz = other.freqFirstHz;
  freqLastHz = other.freqLastHz;
  freqAxisLog = other.freqAxisLog;
  freqStepHz = other.freqStepHz;
  freqRatio = other.freqRatio;
  auxInt3 = other.auxInt3;
  resultType = other.resultType;
  auxInt4 = other.auxInt4;
  selTimeBegin = other.selTimeBegin;
  selTimeEnd = other.selTimeEnd;
  selFreqBegin = other.selFreqBegin;
  selFreqEnd = other.selFreqEnd;
  auxLong3 = other.auxLong3;
  auxInt5 = other.auxInt5;
  auxInt6 = other.auxInt6;
  auxInt7 = other.auxInt7;
  auxLong4 = other.auxLong4;
  auxInt8 = other.auxInt8;
  auxInt9 = other.auxInt9;
  cxcType = other.cxcType;
  auxInt10 = other.auxInt10;
  auxInt11 = other.auxInt11;
  delay = other.delay;
  auxInt12 = other.auxInt12;
  freqProfile = other.freqProfile;
  timeProfile = other.timeProfile;
  trialName = other.trialName;
  iconFlag = other.iconFlag;
  listItemId = other.listItemId;
  timePt = other.timePt;
  freqPt = other.freqPt;
  curActSns = other.curActSns;
  curCxcSns = other.curCxcSns;
  hasRealPlane = other.hasRealPlane;
  hasImagPlane = other.hasImagPlane;
  hasPowerPhasePlane = other.hasPowerPhasePlane;
  for (int d = 0; d < 3; ++d) summaryByDataType[d] = other.summaryByDataType[d];
  progressDlg = other.progressDlg;
  progressText = other.progressText;
  for (int d = 0; d < 3; ++d) dataTypeName[d] = other.dataTypeName[d];

  CSpctmChnChnDatazq** copy = nullptr;
  if (copyMatrix(other, copy) && copy != nullptr) {
    pairMatrix = copy;
    rowSnsCount = other.rowSnsCount;
    colSnsCount = other.colSnsCount;
  }
  return *this;
}

int CSpctmTrlCCData::_cleanSumCCSpctmData() {
  for (auto& summary : summaryByDataType) summary.cleanAll();
  return 1;
}

CSumCCSpctmDatazq* CSpctmTrlCCData::getSumCCSpctmData(int dataType) {
  if (dataType < 0 || dataType > 2) return nullptr;
  return &summaryByDataType[dataType];
}

int CSpctmTrlCCData::_cleanAll() {
  _cleanSumCCSpctmData();
  _cleanSpctmCC();
  return 1;
}

int CSpctmTrlCCData::_cleanSpctmCC() {
  releaseMatrix(pairMatrix, rowSnsCount);
  pairMatrix = nullptr;
  rowSnsCount = 0;
  colSnsCount = 0;
  return 1;
}

int CSpctmTrlCCData::verifySpctmCCData(int64_t rowSns, int64_t colSns, int64_t timePt,
                                       int64_t freqPt, int needImag, int needPowerPhase) {
  if (rowSns < 1 || colSns < 1 || timePt < 1 || freqPt < 1) return 0;
  if (rowSns != rowSnsCount || colSns != colSnsCount) return 0;
  if (pairMatrix == nullptr || pairMatrix[0] == nullptr) return 0;
  return pairMatrix[0][0].verifySpctmData(timePt, freqPt, needImag, needPowerPhase) == 1 ? 1 : 0;
}

namespace {

// Builds or re-initialises the matrix of `ds` (the work shared by
// checkInitSpctmCCData and checkInitSpctmCCDataP, from the extent check on).
// `missingRowMessage` is shown when a missing row of an existing matrix
// cannot be created.
int initMatrix(CSpctmTrlCCData& ds, int64_t rowSns, int64_t colSns, int64_t timePt,
               int64_t freqPt, bool zeroFill, int withImag, int withPowerPhase,
               const char* missingRowMessage) {
  if (rowSns < 1 || colSns < 1 || timePt < 1 || freqPt < 1) return 0;
  if (rowSns != ds.rowSnsCount || colSns != ds.colSnsCount) ds._cleanSpctmCC();

  // Pairs initialised while a new matrix is built; reported by the error
  // notice.
  int64_t pairsDone = 0;
  bool ok = true;
  if (ds.pairMatrix != nullptr) {
    for (int64_t r = 0; r < rowSns && ok; ++r) {
      CSpctmChnChnDatazq*& row = ds.pairMatrix[r];
      if (row == nullptr) {
        row = megcxc::xnewArray<CSpctmChnChnDatazq>(colSns);
        if (row == nullptr) {
          AfxMessageBox(missingRowMessage, MB_OK);
          ok = false;
          break;
        }
      }
      for (int64_t c = 0; c < colSns; ++c) {
        if (row[c].checkInitpctmSpace(timePt, freqPt, zeroFill, withImag, withPowerPhase) != 1) {
          ok = false;
          break;
        }
      }
      if (ok) postProgress(ds.progressDlg, ds.progressText, kProgressText, rowSns, r + 1);
    }
    if (ok) return 1;
  } else {
    CSpctmChnChnDatazq** table = newRowTable(rowSns);
    if (table == nullptr) {
      AfxMessageBox("Is memory enough?!", MB_OK);
      return 0;
    }
    ds.pairMatrix = table;
    // The table now holds rowSns entries; the failure path below releases
    // exactly that many whatever rowSnsCount says.
    ds.rowSnsCount = rowSns;
    ds.colSnsCount = colSns;
    for (int64_t r = 0; r < rowSns && ok; ++r) {
      CSpctmChnChnDatazq* row = megcxc::xnewArray<CSpctmChnChnDatazq>(colSns);
      if (row == nullptr) {
        ok = false;
        break;
      }
      table[r] = row;
      for (int64_t c = 0; c < colSns; ++c) {
        if (row[c].checkInitpctmSpace(timePt, freqPt, zeroFill, withImag, withPowerPhase) != 1) {
          ok = false;
          break;
        }
        ++pairsDone;
      }
      if (ok) postProgress(ds.progressDlg, ds.progressText, kProgressText, rowSns, r + 1);
    }
    if (ok) {
      ds.curActSns = 0;
      ds.curCxcSns = 0;
      return 1;
    }
  }

  ds._cleanSpctmCC();
  ds.curActSns = 0;
  ds.curCxcSns = 0;
  postProgress(ds.progressDlg, ds.progressText, kProgressErrorText, ds.rowSnsCount,
               pairsDone + 1);
  return 0;
}

}  // namespace

int CSpctmTrlCCData::checkInitSpctmCCData(int64_t rowSns, int64_t colSns, int64_t timePt,
                                          int64_t freqPt, bool zeroFill, int withImag,
                                          int withPowerPhase, CDialog* progressDlg,
                                          CString* progressText) {
  this->progressDlg = progressDlg;
  this->progressText = progressText;
  return initMatrix(*this, rowSns, colSns, timePt, freqPt, zeroFill, withImag, withPowerPhase,
                    "Not enough memory !?");
}

int CSpctmTrlCCData::checkInitSpctmCCDataP(CSpctmTrlCCData* source) {
  return megcxc::initSpctmCCDataLike(*this, source, true);
}

int megcxc::initSpctmCCDataLike(CSpctmTrlCCData& ds, CSpctmTrlCCData* source, bool zeroFill) {
  if (source == nullptr) return 0;
  // Read everything first: source may be this dataset.
  const int64_t rowSns = source->rowSnsCount, colSns = source->colSnsCount;
  const int64_t tPt = source->timePt, fPt = source->freqPt;
  const int withImag = source->hasImagPlane, withPowerPhase = source->hasPowerPhasePlane;
  return initMatrix(ds, rowSns, colSns, tPt, fPt, zeroFill, withImag, withPowerPhase,
                    "Cross-channel spectral data error!?");
}

int CSpctmTrlCCData::getSpctmTrlListID() { return listItemId; }

int64_t CSpctmTrlCCData::getActSns() {
  if (pairMatrix == nullptr || rowSnsCount < 1) return -1;
  curActSns = clampIndex(curActSns, rowSnsCount);
  return curActSns;
}

int64_t CSpctmTrlCCData::getSnsCC() {
  if (pairMatrix == nullptr || colSnsCount < 1) return -1;
  curCxcSns = clampIndex(curCxcSns, colSnsCount);
  return curCxcSns;
}

CSpctmChnChnDatazq* CSpctmTrlCCData::getSnsActCC(int64_t actSns, int64_t cxcSns) {
  if (pairMatrix == nullptr || rowSnsCount < 1 || colSnsCount < 1) return nullptr;
  const int64_t r = clampIndex(actSns == -1 ? curActSns : actSns, rowSnsCount);
  const int64_t c = clampIndex(cxcSns == -1 ? curCxcSns : cxcSns, colSnsCount);
  CSpctmChnChnDatazq* row = pairMatrix[r];
  return row == nullptr ? nullptr : &row[c];
}

int CSpctmTrlCCData::isAccumSpctm() { return storeType == 1 ? 1 : 0; }

int64_t CSpctmTrlCCData::getSelectSpctmCCDValueX(int64_t timeBegin, int64_t timeEnd,
                                                 int64_t freqBegin, int64_t freqEnd,
                                                 int64_t actSns, int64_t cxcSns, int dataType,
                                                 double& value, int64_t& index) {
  if (pairMatrix == nullptr) return 0;
  const int64_t r = actSns == -1 ? curActSns : actSns;
  const int64_t c = cxcSns == -1 ? curCxcSns : cxcSns;
  if (r < 0 || r >= rowSnsCount || c < 0 || c >= colSnsCount) return 0;
  CSpctmChnChnDatazq* row = pairMatrix[r];
  if (row == nullptr) return 0;
  const int cells =
      row[c].getSelectSpctmValueX(timeBegin, timeEnd, freqBegin, freqEnd, value, index, dataType);
  return static_cast<int64_t>(cells);
}

double CSpctmTrlCCData::estimateDataSizeMB(int64_t sensorCount, int64_t timePt, int64_t freqPt,
                                           bool /*zeroFill*/, int withImag,
                                           int withPowerPhase) {
  if (sensorCount < 1 || timePt < 1 || freqPt < 1) return 0.0;
  // Unsigned arithmetic: an absurd product wraps instead of overflowing.
  const uint64_t planeBytes =
      static_cast<uint64_t>(timePt) * static_cast<uint64_t>(freqPt) * uint64_t{8};
  double mb = static_cast<double>(planeBytes) * 9.5367431640625e-7 *
              static_cast<double>(sensorCount) * static_cast<double>(sensorCount);
  if (withImag != 0) mb *= 2.0;
  if (withPowerPhase != 0) mb *= 2.0;
  return mb;
}

int CSpctmTrlCCData::scaleSpctmAllDataType4Class(double factor) {
  if (pairMatrix == nullptr) return 0;
  if (rowSnsCount < 1) return 1;
  megcxc::forEachPair(*this, [factor](int64_t, int64_t, CSpctmChnChnDatazq& pair) {
    for (int d = 0; d < 3; ++d) pair.scaleSpctm(factor, d);
  });
  return 1;
}

int CSpctmTrlCCData::animateCCDSpctmPx() {
  if (pairMatrix == nullptr) return 0;
  ++selTimeBegin;
  if (selTimeBegin >= timePt) {
    selTimeBegin = 0;
    ++selFreqBegin;
    if (selFreqBegin >= freqPt) selFreqBegin = 0;
  }
  selTimeEnd = selTimeBegin;
  selFreqEnd = selFreqBegin;
  return 1;
}

double CSpctmTrlCCData::getValueSelectTimFrq(int64_t actSns, int64_t cxcSns, int dataType) {
  CSpctmChnChnDatazq* pair = getSnsActCC(actSns, cxcSns);
  if (pair == nullptr) return 0.0;
  return pair->getSelectSpctmValue(selTimeBegin, selTimeEnd, selFreqBegin, selFreqEnd, dataType);
}

int64_t CSpctmTrlCCData::reloadSpctmDataTrl() {
  if (rowSnsCount < 1 || colSnsCount < 1 || pairMatrix == nullptr) return 0;
  int64_t restored = 0;
  megcxc::forEachPair(*this, [&restored](int64_t, int64_t, CSpctmChnChnDatazq& pair) {
    if (pair.reloadRawSpctmDataRIX() == 1) ++restored;
  });
  return restored;
}

int CSpctmTrlCCData::updateProInfo(int64_t total, int64_t index) {
  return postProgress(progressDlg, progressText, kProgressText, total, index + 1) ? 1 : 0;
}

int CSpctmTrlCCData::getSpctmRange4AllChnl(double* pMin, double* pMax, int recompute,
                                           int dataType) {
  if (!startRange(pMin, pMax, -1.0, 1.0)) return 0;
  if (dataType < 0 || dataType > 2) return 0;
  CSumCCSpctmDatazq& summary = summaryByDataType[dataType];
  if (summary.isComputed != 0 && recompute == 0) {
    *pMin = summary.minValue;
    *pMax = summary.maxValue;
    return 1;
  }
  RangeAccumulator acc;
  if (pairMatrix != nullptr) {
    for (int64_t r = 0; r < rowSnsCount; ++r) scanRow(pairMatrix[r], colSnsCount, dataType, false, acc);
  }
  summary.minValue = *pMin = acc.lo;
  summary.maxValue = *pMax = acc.hi;
  return 1;
}

int CSpctmTrlCCData::getSpctmRange4AllChnlAbs(double* pMin, double* pMax, int recompute,
                                              int dataType) {
  if (!startRange(pMin, pMax, 0.0, 1.0)) return 0;
  if (dataType < 0 || dataType > 2) return 0;
  CSumCCSpctmDatazq& summary = summaryByDataType[dataType];
  if (recompute == 0) {
    *pMin = summary.absMinValue;
    *pMax = summary.absMaxValue;
    return 1;
  }
  RangeAccumulator acc;
  if (pairMatrix != nullptr) {
    for (int64_t r = 0; r < rowSnsCount; ++r) scanRow(pairMatrix[r], colSnsCount, dataType, true, acc);
  }
  summary.absMinValue = *pMin = acc.lo;
  summary.absMaxValue = *pMax = acc.hi;
  return 1;
}

int CSpctmTrlCCData::getSpctmRange4ChnlArray(double* pMin, double* pMax, int recompute,
                                             int dataType, int row) {
  if (!startRange(pMin, pMax, -1.0, 1.0)) return 0;
  if (dataType < 0 || dataType > 2) return 0;
  const CSumCCSpctmDatazq& summary = summaryByDataType[dataType];
  if (summary.isComputed != 0 && recompute == 0) {
    *pMin = summary.minValue;
    *pMax = summary.maxValue;
    return 1;
  }
  const int64_t r = row == -1 ? curActSns : row;
  if (r < 0 || r >= rowSnsCount) return 0;
  RangeAccumulator acc;
  if (pairMatrix != nullptr) scanRow(pairMatrix[r], colSnsCount, dataType, false, acc);
  *pMin = acc.lo;
  *pMax = acc.hi;
  return 1;
}

int CSpctmTrlCCData::getSpctmRange4ChnlArrayAbs(double* pMin, double* pMax, int /*recompute*/,
                                                int dataType, int row) {
  if (!startRange(pMin, pMax, 0.0, 1.0)) return 0;
  if (dataType < 0 || dataType > 2) return 0;
  const int64_t r = row == -1 ? curActSns : row;
  if (r < 0 || r >= rowSnsCount) return 0;
  RangeAccumulator acc;
  if (pairMatrix != nullptr) scanRow(pairMatrix[r], colSnsCount, dataType, true, acc);
  *pMin = acc.lo;
  *pMax = acc.hi;
  return 1;
}

int CSpctmTrlCCData::getSpctmRange4ChnlChnl(double* pMin, double* pMax, int recompute,
                                            int dataType, int row, int column) {
  if (!startRange(pMin, pMax, -1.0, 1.0)) return 0;
  if (pairMatrix == nullptr || row < 0 || column < 0 || row >= rowSnsCount ||
      column >= colSnsCount)
    return 0;
  CSpctmChnChnDatazq* pairs = pairMatrix[row];
  if (pairs == nullptr) return 1;
  CSpctmChnChnDatazq& pair = pairs[column];
  if (!pairHasUsablePlane(pair, dataType)) return 1;
  if (recompute == 0) {
    *pMin = pair.rangeMin;
    *pMax = pair.rangeMax;
    return 1;
  }
  double mn = 0.0, mx = 0.0;
  if (pair.getSpctmRange(&mn, &mx, 1, dataType) != 1) return 1;
  *pMin = mn;
  *pMax = mx;
  return 1;
}

int CSpctmTrlCCData::getSpctmRange4ChnlChnlAbs(double* pMin, double* pMax, int /*recompute*/,
                                               int dataType, int row, int column) {
  if (!startRange(pMin, pMax, 0.0, 1.0)) return 0;
  if (pairMatrix == nullptr || rowSnsCount < 1 || colSnsCount < 1) return 0;
  const int64_t r = clampIndex(row == -1 ? curActSns : row, rowSnsCount);
  const int64_t c = clampIndex(column == -1 ? curCxcSns : column, colSnsCount);
  CSpctmChnChnDatazq* pairs = pairMatrix[r];
  if (pairs == nullptr) return 1;
  double mn = 0.0, mx = 0.0;
  if (!scanPair(pairs[c], dataType, true, mn, mx)) return 1;
  *pMin = mn;
  *pMax = mx;
  return 1;
}

namespace {

// The summary array shown by `show` 1 (cellMean), 2 (cellMin) or 3 (cellMax).
double** summaryArray(const CSumCCSpctmDatazq& summary, int show) {
  switch (show) {
    case 1: return summary.cellMean;
    case 2: return summary.cellMin;
    default: return summary.cellMax;
  }
}

// Shows 1 to 3 of the show operations: the range of one summary array.
int summaryArrayRange(const CSumCCSpctmDatazq* summaries, double* pMin, double* pMax,
                      int dataType, int show, bool absolute) {
  if (dataType < 0 || dataType > 2 || show < 1 || show > 3) return 0;
  const CSumCCSpctmDatazq& summary = summaries[dataType];
  double mn = 0.0, mx = 0.0;
  if (scanArray(summaryArray(summary, show), summary.timePtCount, summary.freqPtCount, absolute,
                mn, mx)) {
    *pMin = mn;
    *pMax = mx;
  }
  return 1;
}

}  // namespace

int CSpctmTrlCCData::getSpctmRange4OneChnlShow(double* pMin, double* pMax, int recompute,
                                               int dataType, int row, int column, int show) {
  if (show == 0) return getSpctmRange4ChnlChnl(pMin, pMax, recompute, dataType, row, column);
  if (!startRange(pMin, pMax, -1.0, 1.0)) return 0;
  return summaryArrayRange(summaryByDataType, pMin, pMax, dataType, show, false);
}

int CSpctmTrlCCData::getSpctmRange4OneChnlShowAbs(double* pMin, double* pMax, int recompute,
                                                  int dataType, int row, int column, int show) {
  if (show == 0) return getSpctmRange4ChnlChnlAbs(pMin, pMax, recompute, dataType, row, column);
  if (!startRange(pMin, pMax, 0.0, 1.0)) return 0;
  return summaryArrayRange(summaryByDataType, pMin, pMax, dataType, show, true);
}
