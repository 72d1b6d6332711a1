#include "trial/spctm_trl_cc_datazq.h"

#include <cstdint>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "spectral/spctm_basicx.h"

namespace {

enum class Collapse { kTime, kFreq, kBoth };

// Releases a pair table of `rows` entries (each null or an array of pairs).
void releaseTable(CSpctmChnChnDatazq** table, int64_t rows) {
  if (table == nullptr) return;
  for (int64_t r = 0; r < rows; ++r) delete[] table[r];
  delete[] table;
}

bool holdsArrays(const CSumCCSpctmData& s) {
  return s.cellMin != nullptr || s.cellMean != nullptr || s.cellMax != nullptr ||
         s.cellPosMean != nullptr || s.cellNegMean != nullptr || s.cellRms != nullptr;
}

// True when every row exists and every pair has the dataset's extents, a real
// plane and every plane the flags announce.
bool pairsFitDataset(const CSpctmTrlCCDatazq& ds) {
  if (ds.timePt < 1 || ds.freqPt < 1) return false;
  for (int64_t r = 0; r < ds.rowSnsCount; ++r) {
    const CSpctmChnChnDatazq* row = ds.pairMatrix[r];
    if (row == nullptr) return false;
    for (int64_t c = 0; c < ds.colSnsCount; ++c) {
      const CSpctmChnChnDatazq& p = row[c];
      if (p.timePt != ds.timePt || p.freqPt != ds.freqPt) return false;
      if (p.plane[0] == nullptr) return false;
      if (ds.hasImagPlane != 0 && p.plane[1] == nullptr) return false;
      if (ds.hasPowerPhasePlane != 0 && p.plane[2] == nullptr) return false;
    }
  }
  return true;
}

// Writes the collapsed form of the rows x cols cells `src` into `dst`. Every
// output cell starts at 0.0 and takes its inputs in index order, then is
// divided once by their count; the input block is read front to back once.
void collapseCells(double* dst, const double* src, int64_t rows, int64_t cols, Collapse how) {
  switch (how) {
    case Collapse::kTime: {
      for (int64_t f = 0; f < cols; ++f) dst[f] = 0.0;
      for (int64_t t = 0; t < rows; ++t) {
        const double* row = src + t * cols;
        for (int64_t f = 0; f < cols; ++f) dst[f] += row[f];
      }
      const double n = static_cast<double>(rows);
      for (int64_t f = 0; f < cols; ++f) dst[f] /= n;
      break;
    }
    case Collapse::kFreq: {
      const double n = static_cast<double>(cols);
      for (int64_t t = 0; t < rows; ++t) {
        const double* row = src + t * cols;
        double sum = 0.0;
        for (int64_t f = 0; f < cols; ++f) sum += row[f];
        dst[t] = sum / n;
      }
      break;
    }
    case Collapse::kBoth: {
      const int64_t cells = rows * cols;
      double sum = 0.0;
      for (int64_t i = 0; i < cells; ++i) sum += src[i];
      dst[0] = sum / static_cast<double>(cells);
      break;
    }
  }
}

// Builds the collapsed matrix of `ds` and installs it in place of the old
// one. The caller has checked the extents and that every pair fits. False
// (old matrix untouched, everything new released) when an allocation fails.
bool rebuildCollapsed(CSpctmTrlCCDatazq& ds, Collapse how) {
  const int64_t rows = ds.rowSnsCount;
  const int64_t cols = ds.colSnsCount;
  const int64_t oldT = ds.timePt;
  const int64_t oldF = ds.freqPt;
  const int64_t newT = how == Collapse::kFreq ? oldT : 1;
  const int64_t newF = how == Collapse::kTime ? oldF : 1;

  CSpctmChnChnDatazq** table = megcxc::xnewArray<CSpctmChnChnDatazq*>(rows);
  if (table == nullptr) return false;
  for (int64_t r = 0; r < rows; ++r) table[r] = nullptr;
  for (int64_t r = 0; r < rows; ++r) {
    CSpctmChnChnDatazq* row = megcxc::xnewArray<CSpctmChnChnDatazq>(cols);
    if (row == nullptr) {
      releaseTable(table, rows);
      return false;
    }
    table[r] = row;
    const CSpctmChnChnDatazq* oldRow = ds.pairMatrix[r];
    for (int64_t c = 0; c < cols; ++c) {
      const CSpctmChnChnDatazq& from = oldRow[c];
      CSpctmChnChnDatazq& to = row[c];
      if (to.checkInitpctmSpace(newT, newF, true, ds.hasImagPlane, ds.hasPowerPhasePlane) != 1) {
        releaseTable(table, rows);
        return false;
      }
      for (int d = 0; d < 3; ++d) {
        if (to.plane[d] == nullptr) continue;
        collapseCells(megcxc::planeData(to.plane[d], newT), megcxc::planeData(from.plane[d], oldT),
                      oldT, oldF, how);
      }
      to.chnA = from.chnA;
      to.chnB = from.chnB;
      to.userTag = from.userTag;
      if (to.storeData2Backupfile() != 1) {
        releaseTable(table, rows);
        return false;
      }
    }
  }
  releaseTable(ds.pairMatrix, rows);
  ds.pairMatrix = table;
  return true;
}

// The steps shared by the three accumulations once the extent checks and
// the one-slice refusal have passed.
bool collapseDataset(CSpctmTrlCCDatazq& ds, Collapse how) {
  if (ds.checkDataIntegraty() == 0) return false;
  if (!pairsFitDataset(ds)) return false;
  return rebuildCollapsed(ds, how);
}

}  // namespace

int CSpctmTrlCCDatazq::setParameters(const CSpctmTrlCCDatazq* source) {
  if (source == nullptr) return 0;
  cmptType = source->cmptType;
  resultType = source->resultType;
  timePt = source->timePt;
  freqPt = source->freqPt;
  selTimeBegin = source->selTimeBegin;
  selTimeEnd = source->selTimeEnd;
  selFreqBegin = source->selFreqBegin;
  selFreqEnd = source->selFreqEnd;
  timeDataLength = source->timeDataLength;
  timeDataBegin = source->timeDataBegin;
  timeDataEnd = source->timeDataEnd;
  timeStep = source->timeStep;
  freqFirstHz = source->freqFirstHz;
  freqLastHz = source->freqLastHz;
  freqStepHz = source->freqStepHz;
  auxFactor1 = source->auxFactor1;
  auxFactor2 = source->auxFactor2;
  freqRatio = source->freqRatio;
  freqAxisLog = source->freqAxisLog;
  for (int d = 0; d < 3; ++d) {
    CSumCCSpctmDatazq& mine = summaryByDataType[d];
    const CSumCCSpctmDatazq& theirs = source->summaryByDataType[d];
    const bool same =
        mine.timePtCount == theirs.timePtCount && mine.freqPtCount == theirs.freqPtCount;
    if (!same && holdsArrays(mine)) mine.cleanAll();
    mine.timePtCount = theirs.timePtCount;
    mine.freqPtCount = theirs.freqPtCount;
  }
  return 1;
}

int CSpctmTrlCCDatazq::add(const CSpctmTrlCCDatazq* source, CDialog* progressDlg,
                           CString* progressText) {
  if (source == nullptr) return 0;
  const int64_t rows = source->rowSnsCount;
  const int64_t cols = source->colSnsCount;
  if (rows < 1 || cols < 1 || source->pairMatrix == nullptr) return 0;
  if (rowSnsCount != rows || colSnsCount != cols || pairMatrix == nullptr) {
    if (pairMatrix != nullptr) {
      AfxMessageBox("The number of sensor for spectral CC-data does not match?!", MB_OK);
      return 0;
    }
    if (checkInitSpctmCCData(rows, cols, source->timePt, source->freqPt, true, source->hasImagPlane,
                             source->hasPowerPhasePlane, progressDlg, progressText) != 1) {
      return 0;
    }
  }
  for (int64_t r = 0; r < rows; ++r) {
    const CSpctmChnChnDatazq* from = source->pairMatrix[r];
    CSpctmChnChnDatazq* to = pairMatrix[r];
    for (int64_t c = 0; c < cols; ++c) {
      if (from == nullptr || to == nullptr || to[c].addSpctmChnlzq(&from[c], true) != 1) {
        AfxMessageBox("add spectral CCData error! \n", MB_OK);
        return 0;
      }
    }
  }
  return 1;
}

int CSpctmTrlCCDatazq::accumulateTime1() {
  if (rowSnsCount < 1 || colSnsCount < 0 || timePt < 1 || freqPt < 1 || pairMatrix == nullptr)
    return 0;
  if (timePt == 1) {
    AfxMessageBox("Spectral data have only 1 time-slice!?", MB_OK);
    return 0;
  }
  if (!collapseDataset(*this, Collapse::kTime)) return 0;
  timePt = 1;
  selTimeBegin = 0;
  selTimeEnd = 0;
  return 1;
}

int CSpctmTrlCCDatazq::accumulateFreq1() {
  if (rowSnsCount < 1 || colSnsCount < 0 || timePt < 1) return 0;
  if (freqPt < 1 || pairMatrix == nullptr) return 0;
  if (freqPt == 1) {
    AfxMessageBox("Spectral data have only 1 frequency-slice!?", MB_OK);
    return 0;
  }
  if (!collapseDataset(*this, Collapse::kFreq)) return 0;
  freqPt = 1;
  selFreqBegin = 0;
  selFreqEnd = 0;
  return 1;
}

int CSpctmTrlCCDatazq::accumulateTimeFreq1() {
  if (rowSnsCount < 1 || colSnsCount < 0 || timePt < 1) return 0;
  if (freqPt < 1 || pairMatrix == nullptr) return 0;
  if (freqPt == 1) {
    AfxMessageBox("Spectral data have only 1 time and 1 frequency slices!?", MB_OK);
    return 0;
  }
  if (!collapseDataset(*this, Collapse::kBoth)) return 0;
  timePt = 1;
  freqPt = 1;
  selTimeBegin = 0;
  selTimeEnd = 0;
  selFreqBegin = 0;
  selFreqEnd = 0;
  return 1;
}
