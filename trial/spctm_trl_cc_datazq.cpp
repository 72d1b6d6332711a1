#include "trial/spctm_trl_cc_datazq.h"

#include <cstdint>
#include <new>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "platform/parallel.h"
#include "spectral/spctm_basicx.h"

namespace {

enum class Collapse { kTime, kFreq, kBoth };

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

// Collapses the rows x cols cells `d` in place: the result goes to the first
// cells (cols of them over time, rows over frequency, one over both). Every
// output cell starts at 0.0 and takes its inputs in index order, then is
// divided once by their count. In place is safe: over time every output cell
// is its own column's first input; over frequency, output t lands in row
// t / cols, which is at most t and so never a row after t's block of four,
// and a block's outputs are written only after all its rows are read.
void collapseCells(double* d, int64_t rows, int64_t cols, Collapse how) {
  switch (how) {
    case Collapse::kTime: {
      for (int64_t f = 0; f < cols; ++f) d[f] = 0.0 + d[f];  // 0.0 + -0.0 is +0.0, as a sum from 0.0 gives
      for (int64_t t = 1; t < rows; ++t) {
        const double* row = d + t * cols;
        for (int64_t f = 0; f < cols; ++f) d[f] += row[f];
      }
      const double n = static_cast<double>(rows);
      for (int64_t f = 0; f < cols; ++f) d[f] /= n;
      break;
    }
    case Collapse::kFreq: {
      // Four rows at a time: their sums are independent chains, so the adds
      // overlap instead of waiting for each other, and each row still adds
      // its cells in order. The results are written after the four rows
      // are read.
      const double n = static_cast<double>(cols);
      int64_t t = 0;
      for (; t + 4 <= rows; t += 4) {
        const double* r0 = d + t * cols;
        const double* r1 = r0 + cols;
        const double* r2 = r1 + cols;
        const double* r3 = r2 + cols;
        double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
        for (int64_t f = 0; f < cols; ++f) {
          s0 += r0[f];
          s1 += r1[f];
          s2 += r2[f];
          s3 += r3[f];
        }
        d[t] = s0 / n;
        d[t + 1] = s1 / n;
        d[t + 2] = s2 / n;
        d[t + 3] = s3 / n;
      }
      for (; t < rows; ++t) {
        const double* row = d + t * cols;
        double sum = 0.0;
        for (int64_t f = 0; f < cols; ++f) sum += row[f];
        d[t] = sum / n;
      }
      break;
    }
    case Collapse::kBoth: {
      const int64_t cells = rows * cols;
      double sum = 0.0;
      for (int64_t i = 0; i < cells; ++i) sum += d[i];
      d[0] = sum / static_cast<double>(cells);
      break;
    }
  }
}

// The collapse over both axes of the n (1 to 3) planes `d` of one pair: one
// sum per plane over all cells in order, the planes' sums running side by
// side so that their adds overlap.
template <int N>
void collapseBoth(double* const* d, int64_t cells) {
  double sum[N] = {};
  for (int64_t i = 0; i < cells; ++i) {
    for (int k = 0; k < N; ++k) sum[k] += d[k][i];
  }
  for (int k = 0; k < N; ++k) d[k][0] = sum[k] / static_cast<double>(cells);
}

// Collapses the n planes `d` of one pair (rows x cols cells each) in place.
void collapsePair(double* const* d, int n, int64_t rows, int64_t cols, Collapse how) {
  if (how == Collapse::kBoth) {
    const int64_t cells = rows * cols;
    if (n == 3) return collapseBoth<3>(d, cells);
    if (n == 2) return collapseBoth<2>(d, cells);
    if (n == 1) return collapseBoth<1>(d, cells);
  }
  for (int k = 0; k < n; ++k) collapseCells(d[k], rows, cols, how);
}

// True when the raw plane `d` of `p` can take a newT x newF backup in its own
// block (it exists and its table and cells are large enough).
bool rawPlaneReusable(const CSpctmChnChnDatazq& p, int d, int64_t newT, int64_t newF) {
  return p.rawPlane[d] != nullptr && p.rawTimePt >= newT && p.rawFreqPt >= 1 &&
         p.rawTimePt * p.rawFreqPt >= newT * newF;
}

// Collapses every pair of `ds` in place. The result is what a new matrix of
// freshly initialised pairs would hold (the collapsed planes where the flags
// announce them, no others, a raw backup equal to them, the record's other
// fields at their initial values, chnA, chnB and userTag kept), but the pair
// records, their rows and their plane blocks are reused and the blocks shrunk,
// so a whole-dataset collapse allocates nothing unless a pair lacks a raw plane
// it needs. Those raw planes are allocated first: when one cannot be, every
// one made so far is released, the dataset is untouched and the result is
// false ("Has enough memory?").
bool rebuildCollapsed(CSpctmTrlCCDatazq& ds, Collapse how) {
  const int64_t rows = ds.rowSnsCount;
  const int64_t cols = ds.colSnsCount;
  const int64_t oldT = ds.timePt;
  const int64_t oldF = ds.freqPt;
  const int64_t newT = how == Collapse::kFreq ? oldT : 1;
  const int64_t newF = how == Collapse::kTime ? oldF : 1;
  const bool keeps[3] = {true, ds.hasImagPlane != 0, ds.hasPowerPhasePlane != 0};

  struct Fresh {
    CSpctmChnChnDatazq* pair;
    int d;
    double** plane;
  };
  std::vector<Fresh> fresh;
  // fresh[rowFresh[r]...] are the planes of row r's pairs.
  std::vector<std::size_t> rowFresh;
  auto releaseFresh = [&fresh] {
    for (const Fresh& f : fresh) megcxc::releasePlane(f.plane);
  };
  try {
    rowFresh.resize(static_cast<std::size_t>(rows) + 1);
    for (int64_t r = 0; r < rows; ++r) {
      rowFresh[static_cast<std::size_t>(r)] = fresh.size();
      for (int64_t c = 0; c < cols; ++c) {
        CSpctmChnChnDatazq& p = ds.pairMatrix[r][c];
        for (int d = 0; d < 3; ++d) {
          if (!keeps[d] || rawPlaneReusable(p, d, newT, newF)) continue;
          double** plane = p.newBufferF2d(newT, newF, false);
          if (plane == nullptr) {
            releaseFresh();
            return false;
          }
          try {
            fresh.push_back({&p, d, plane});
          } catch (const std::bad_alloc&) {
            megcxc::releasePlane(plane);
            throw;
          }
        }
      }
    }
  } catch (const std::bad_alloc&) {
    releaseFresh();
    AfxMessageBox("Has enough memory?", MB_OK);
    return false;
  }

  rowFresh[static_cast<std::size_t>(rows)] = fresh.size();

  // Nothing below can fail (a plane whose smaller block cannot be had
  // shrinks where it is), so the rows are shared among the worker threads,
  // each taking and handing back plane blocks in batches of its own.
  const CSpctmChnChnDatazq blank;
  int kept = 0;
  for (int d = 0; d < 3; ++d) kept += keeps[d] ? 1 : 0;
  megcxc::parallelFor(rows, cols * oldT * oldF * kept, [&](int64_t rowBegin, int64_t rowEnd) {
    megcxc::PlaneShrinker shrinker(newT, newF);
    std::size_t nextFresh = rowFresh[static_cast<std::size_t>(rowBegin)];
    for (int64_t r = rowBegin; r < rowEnd; ++r) {
      for (int64_t c = 0; c < cols; ++c) {
        CSpctmChnChnDatazq& p = ds.pairMatrix[r][c];
        double* cells[3];
        int n = 0;
        for (int d = 0; d < 3; ++d) {
          if (keeps[d]) cells[n++] = megcxc::planeData(p.plane[d], oldT);
        }
        collapsePair(cells, n, oldT, oldF, how);
        for (int d = 0; d < 3; ++d) {
          if (!keeps[d]) {
            shrinker.leave(p.plane[d]);
            shrinker.leave(p.rawPlane[d]);
            p.plane[d] = p.rawPlane[d] = nullptr;
            continue;
          }
          p.plane[d] = shrinker.shrink(p.plane[d], oldT, oldT * oldF, nullptr);
          const double* collapsed = megcxc::planeData(p.plane[d], newT);
          if (nextFresh < fresh.size() && fresh[nextFresh].pair == &p && fresh[nextFresh].d == d) {
            shrinker.leave(p.rawPlane[d]);
            p.rawPlane[d] = fresh[nextFresh++].plane;
            megcxc::copyPlaneBlock(p.rawPlane[d], p.plane[d], newT, newF);
          } else {
            // The raw cells are replaced by the collapsed ones, so the old
            // ones are never read.
            p.rawPlane[d] = shrinker.shrink(p.rawPlane[d], p.rawTimePt, p.rawTimePt * p.rawFreqPt, collapsed);
          }
        }
        p.timePt = p.rawTimePt = newT;
        p.freqPt = p.rawFreqPt = newF;
        p.rangeMax = blank.rangeMax;
        p.rangeMin = blank.rangeMin;
        p.spctmAverage = blank.spctmAverage;
        p.isSelected = blank.isSelected;
      }
    }
  });
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
