#include "trial/spctm_trl_cc_data08_show.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "platform/alloc_hook.h"
#include "platform/parallel.h"
#include "platform/saturate.h"
#include "spectral/spctm_basicx.h"

namespace {


constexpr const char* kLineF = "%s: Freq:%f Min:%f\tMean:%f Max:%f AbsSum:%f RmsSum:%f \n";
constexpr const char* kLineCompact = "%s: %f   %f   %f   %f   %f   %f \n";
constexpr const char* kClosing = "All Time-Freq:%f   %f   %f   %f   %f \n";

// The host writes the selection fields directly, so absurd values must step
// without overflowing: the arithmetic on them saturates.
using megcxc::satAdd;
using megcxc::satSub;

// Moves the box begin ... end of an axis of `extent` points by `step`
// (the stepping rule shared by nextSelectT and nextSelectF); returns the new
// begin.
int64_t stepAxis(int64_t& begin, int64_t& end, int64_t extent, int64_t step, bool wrap) {
  const int64_t b = begin;
  const int64_t e = end < b ? b : end;
  const int64_t w = satSub(e, b);
  const int64_t last = satSub(extent, 1);
  int64_t nb = satAdd(b, step);
  int64_t ne = satAdd(e, step);
  if (nb < 0) {
    if (wrap) {
      nb = satSub(last, w);
      ne = last;
    } else {
      nb = 0;
      ne = w >= extent ? last : w;
    }
  }
  if (ne >= extent) {
    if (wrap) {
      nb = 0;
      ne = w;
    } else {
      ne = last;
      nb = satSub(last, w);
      if (nb < 0) nb = 0;
    }
  }
  if (ne < nb) ne = nb;
  begin = nb;
  end = ne;
  return nb;
}

int64_t clampToAxis(int64_t value, int64_t extent) {
  if (value < 0) value = 0;
  if (value >= extent) value = satSub(extent, 1);
  return value;
}

// Working memory of one report, one block of 13 arrays of `lines` doubles.
// The report visits every pair once (so a plane is read front to back once)
// and keeps, per line, the figures of the pair at hand, the running line
// extremes, the sums over the current row of pairs and the sums over rows.
class ReportScratch {
 public:
  explicit ReportScratch(int64_t lines)
      : block_(static_cast<double*>(
            megcxc::xmalloc(megcxc::checkedBytes(lines, kArrays, sizeof(double))))) {
    if (block_ == nullptr) return;
    double* p = block_;
    for (double** a : {&pairMin, &pairMax, &pairMean, &pairAbs, &pairRms, &lineMin, &lineMax,
                       &rowMean, &rowAbs, &rowSq, &accMean, &accAbs, &accRms}) {
      *a = p;
      p += lines;
    }
  }
  ~ReportScratch() { std::free(block_); }
  ReportScratch(const ReportScratch&) = delete;
  ReportScratch& operator=(const ReportScratch&) = delete;
  bool ok() const { return block_ != nullptr; }

  double* pairMin = nullptr;
  double* pairMax = nullptr;
  double* pairMean = nullptr;
  double* pairAbs = nullptr;
  double* pairRms = nullptr;
  double* lineMin = nullptr;
  double* lineMax = nullptr;
  double* rowMean = nullptr;
  double* rowAbs = nullptr;
  double* rowSq = nullptr;
  double* accMean = nullptr;
  double* accAbs = nullptr;
  double* accRms = nullptr;

 private:
  static constexpr int64_t kArrays = 13;
  double* block_;
};

// The five figures of every column k < valid of a rows x cols block, over
// the rows in time order. The columns are independent, so the loop runs
// across them (vectorised; no aliasing between the arrays) while each
// column's sums are still built t = 0, 1, ... in the same order as a loop per
// column; the selects are the comparisons `if (x < min) min = x` written as
// unconditional stores.
void columnFigures(const double* __restrict cells, int64_t rows, int64_t cols, int64_t valid,
                   double* __restrict mn, double* __restrict mx, double* __restrict mean,
                   double* __restrict abs, double* __restrict sq) {
  for (int64_t k = 0; k < valid; ++k) {
    mn[k] = cells[k];
    mx[k] = cells[k];
    mean[k] = 0.0;
    abs[k] = 0.0;
    sq[k] = 0.0;
  }
  for (int64_t t = 0; t < rows; ++t) {
    const double* row = cells + t * cols;
    for (int64_t k = 0; k < valid; ++k) {
      const double x = row[k];
      mn[k] = x < mn[k] ? x : mn[k];
      mx[k] = x > mx[k] ? x : mx[k];
      mean[k] += x;
      abs[k] += std::fabs(x);
      sq[k] += x * x;
    }
  }
  const double n = static_cast<double>(rows);
  for (int64_t k = 0; k < valid; ++k) {
    mean[k] /= n;
    abs[k] /= n;
    sq[k] /= n;
  }
  megcxc::sqrtInPlace(sq, static_cast<std::size_t>(valid));
}

// Lowers each line minimum to the pair's and raises each line maximum to the
// pair's where they go beyond (unconditional stores, so the loop vectorises).
void mergeExtremes(int64_t lines, const double* __restrict pairMin, const double* __restrict pairMax,
                   double* __restrict lineMin, double* __restrict lineMax) {
  for (int64_t k = 0; k < lines; ++k) {
    lineMin[k] = pairMin[k] < lineMin[k] ? pairMin[k] : lineMin[k];
    lineMax[k] = pairMax[k] > lineMax[k] ? pairMax[k] : lineMax[k];
  }
}

// Adds a pair's mean, absolute mean and squared rms of every line into the
// sums of the current row.
void addPairToRow(int64_t lines, const double* __restrict mean, const double* __restrict abs,
                  const double* __restrict rms, double* __restrict rowMean, double* __restrict rowAbs,
                  double* __restrict rowSq) {
  for (int64_t k = 0; k < lines; ++k) {
    rowMean[k] += mean[k];
    rowAbs[k] += abs[k];
    rowSq[k] += rms[k] * rms[k];
  }
}

// The five figures of one pair at every line k: over the cells of plane
// `dataType` at point k of the report axis (its column k over time for a
// frequency report, its row k over frequency for a time report). Lines beyond
// the pair's extent along the report axis, and every line of a missing pair
// or plane, get 0 for all five.
void pairFigures(const CSpctmChnChnDatazq* pair, int dataType, bool timeAxis, int64_t lines,
                 ReportScratch& s) {
  int64_t valid = 0;
  const double* cells = nullptr;
  int64_t rows = 0, cols = 0;
  if (pair != nullptr && dataType >= 0 && dataType <= 2 && pair->plane[dataType] != nullptr &&
      pair->timePt >= 1 && pair->freqPt >= 1) {
    rows = pair->timePt;
    cols = pair->freqPt;
    // The block, not the row pointers: an absent row still has its cells.
    cells = megcxc::planeData(pair->plane[dataType], rows);
    const int64_t along = timeAxis ? rows : cols;
    valid = along < lines ? along : lines;
  }
  if (valid > 0 && !timeAxis) {
    columnFigures(cells, rows, cols, valid, s.pairMin, s.pairMax, s.pairMean, s.pairAbs, s.pairRms);
  } else if (valid > 0) {
    const double n = static_cast<double>(cols);
    for (int64_t k = 0; k < valid; ++k) {
      const double* row = cells + k * cols;
      double mn = row[0], mx = row[0], sum = 0.0, abs = 0.0, sq = 0.0;
      for (int64_t f = 0; f < cols; ++f) {
        const double x = row[f];
        if (x < mn) mn = x;
        if (x > mx) mx = x;
        sum += x;
        abs += std::fabs(x);
        sq += x * x;
      }
      s.pairMin[k] = mn;
      s.pairMax[k] = mx;
      s.pairMean[k] = sum / n;
      s.pairAbs[k] = abs / n;
      s.pairRms[k] = std::sqrt(sq / n);
    }
  }
  for (int64_t k = valid; k < lines; ++k) {
    s.pairMin[k] = 0.0;
    s.pairMax[k] = 0.0;
    s.pairMean[k] = 0.0;
    s.pairAbs[k] = 0.0;
    s.pairRms[k] = 0.0;
  }
}

enum class ReportKind { kFreq, kFreqCompact, kTimeCompact };

// The report's lines as figures, or false (out untouched) when there is
// nothing to report or its scratch memory cannot be had.
bool reportFigures(CSpctmTrlCCData08Show& ds, int dataType, bool timeAxis, megcxc::StatisticsLines& out) {
  if (ds.freqPt < 1 || ds.timePt < 1) return false;
  if (ds.pairMatrix == nullptr || ds.rowSnsCount < 1 || ds.colSnsCount < 1) return false;
  const int64_t lines = timeAxis ? ds.timePt : ds.freqPt;
  ReportScratch s(lines);
  if (!s.ok()) return false;

  const int64_t rowCount = ds.rowSnsCount;
  const int64_t colCount = ds.colSnsCount;
  const double cols = static_cast<double>(colCount);
  for (int64_t k = 0; k < lines; ++k) {
    s.accMean[k] = 0.0;
    s.accAbs[k] = 0.0;
    s.accRms[k] = 0.0;
  }
  for (int64_t r = 0; r < rowCount; ++r) {
    const CSpctmChnChnDatazq* row = ds.pairMatrix[r];
    for (int64_t k = 0; k < lines; ++k) {
      s.rowMean[k] = 0.0;
      s.rowAbs[k] = 0.0;
      s.rowSq[k] = 0.0;
    }
    // Every pair of an absent row contributes zeros to every line, and
    // merging or adding those zeros again changes nothing (the row sums start
    // at +0.0): one visit stands for the whole row. The row count and the
    // column count of a damaged file need not be backed by any data.
    const int64_t visits = row != nullptr ? colCount : 1;
    for (int64_t c = 0; c < visits; ++c) {
      pairFigures(row != nullptr ? &row[c] : nullptr, dataType, timeAxis, lines, s);
      if (r == 0 && c == 0) {
        for (int64_t k = 0; k < lines; ++k) {
          s.lineMin[k] = s.pairMin[k];
          s.lineMax[k] = s.pairMax[k];
        }
      } else {
        mergeExtremes(lines, s.pairMin, s.pairMax, s.lineMin, s.lineMax);
      }
      addPairToRow(lines, s.pairMean, s.pairAbs, s.pairRms, s.rowMean, s.rowAbs, s.rowSq);
    }
    for (int64_t k = 0; k < lines; ++k) {
      s.accMean[k] += s.rowMean[k] / cols;
      s.accAbs[k] += s.rowAbs[k] / cols;
      s.accRms[k] += std::sqrt(s.rowSq[k] / cols);
    }
  }

  const double rowsD = static_cast<double>(rowCount);
  const double timeUnit = ds.auxFactor1 > 0.0 ? static_cast<double>(ds.timeStep) / ds.auxFactor1
                                              : static_cast<double>(ds.timeStep);
  const auto n = static_cast<std::size_t>(lines);
  for (std::vector<double>* v : {&out.label, &out.min, &out.mean, &out.max, &out.absMean, &out.rms}) v->assign(n, 0.0);
  for (int64_t k = 0; k < lines; ++k) {
    const auto i = static_cast<std::size_t>(k);
    const double kd = static_cast<double>(k);
    if (timeAxis)
      out.label[i] = ds.auxValue1 + kd * timeUnit;
    else if (ds.freqAxisLog != 0)
      out.label[i] = ds.freqFirstHz + std::pow(ds.freqRatio, kd);
    else
      out.label[i] = ds.freqFirstHz + kd * ds.freqStepHz;
    out.min[i] = s.lineMin[k];
    out.mean[i] = s.accMean[k] / rowsD;
    out.max[i] = s.lineMax[k];
    out.absMean[i] = s.accAbs[k] / rowsD;
    out.rms[i] = std::sqrt(s.accRms[k] / rowsD);
  }
  return true;
}

// Builds one of the three statistics reports (see the declarations).
CString statisticsReport(CSpctmTrlCCData08Show& ds, int dataType, ReportKind kind) {
  if (ds.freqPt < 1 || ds.timePt < 1) return CString();
  if (ds.pairMatrix == nullptr || ds.rowSnsCount < 1 || ds.colSnsCount < 1) return CString();
  const bool timeAxis = kind == ReportKind::kTimeCompact;
  const int64_t lines = timeAxis ? ds.timePt : ds.freqPt;
  double* profile = (timeAxis ? ds.timeProfile : ds.freqProfile).checkInitData(lines, true);
  if (profile == nullptr) return CString();
  megcxc::StatisticsLines f;
  if (!reportFigures(ds, dataType, timeAxis, f)) return CString();

  const std::string name = ds.trialName.toUtf8();
  double sumMin = 0.0, sumMean = 0.0, sumMax = 0.0, sumAbs = 0.0, sumRms = 0.0;
  CString report;
  for (int64_t k = 0; k < lines; ++k) {
    const auto i = static_cast<std::size_t>(k);
    profile[k] = f.mean[i];
    report.AppendFormat(kind == ReportKind::kFreq ? kLineF : kLineCompact, name.c_str(), f.label[i], f.min[i],
                        f.mean[i], f.max[i], f.absMean[i], f.rms[i]);
    sumMin += f.min[i];
    sumMean += f.mean[i];
    sumMax += f.max[i];
    sumAbs += f.absMean[i];
    sumRms += f.rms[i];
  }
  if (kind != ReportKind::kFreq) {
    const double n = static_cast<double>(lines);
    report.AppendFormat(kClosing, sumMin / n, sumMean / n, sumMax / n, sumAbs / n, sumRms / n);
  }
  return report;
}

}  // namespace

int CSpctmTrlCCData08Show::checkDataIntegraty() {
  if (pairMatrix == nullptr || rowSnsCount < 1 || colSnsCount < 1) return 0;
  const int64_t act = clampToAxis(curActSns, rowSnsCount);
  const int64_t cxc = clampToAxis(curCxcSns, colSnsCount);
  if (pairMatrix[act] == nullptr) return 0;
  curActSns = act;
  curCxcSns = cxc;
  const CSpctmChnChnDatazq& pair = pairMatrix[act][cxc];
  timePt = pair.timePt;
  freqPt = pair.freqPt;
  int64_t begin = 0, end = 0;
  getTrialSpctmSelectTime(begin, end);
  getTrialSpctmSelectFreq(begin, end);
  if (pair.plane[0] != nullptr) hasRealPlane = 1;
  if (pair.plane[1] != nullptr) hasImagPlane = 1;
  if (pair.plane[2] != nullptr) hasPowerPhasePlane = 1;
  return 1;
}

int64_t CSpctmTrlCCData08Show::setActSns(int64_t actSns) {
  if (pairMatrix == nullptr) return 0;
  const int64_t last = satSub(rowSnsCount, 1);
  if (actSns > last) actSns = last;
  if (actSns < 0) actSns = 0;
  curActSns = actSns;
  return actSns;
}

int64_t CSpctmTrlCCData08Show::setCxcSns(int64_t cxcSns) {
  if (cxcSns < 0) cxcSns = 0;
  if (cxcSns >= colSnsCount) cxcSns = satSub(colSnsCount, 1);
  curCxcSns = cxcSns;
  return cxcSns;
}

int64_t CSpctmTrlCCData08Show::nextSelectT(int step, int wrap) {
  return stepAxis(selTimeBegin, selTimeEnd, timePt, step, wrap != 0);
}

int64_t CSpctmTrlCCData08Show::nextSelectF(int step, int wrap) {
  return stepAxis(selFreqBegin, selFreqEnd, freqPt, step, wrap != 0);
}

int CSpctmTrlCCData08Show::nextSelectTF(int step, int wrap) {
  const int64_t tb = selTimeBegin;
  const int64_t te = selTimeEnd < tb ? tb : selTimeEnd;
  selTimeBegin = satAdd(tb, step);
  selTimeEnd = satAdd(te, step);

  // The frequency box moves by step too; returns its width.
  auto moveFreq = [&]() {
    const int64_t fb = selFreqBegin;
    const int64_t fe = selFreqEnd < fb ? fb : selFreqEnd;
    selFreqBegin = satAdd(fb, step);
    selFreqEnd = satAdd(fe, step);
    return satSub(fe, fb);
  };
  const int64_t lastT = satSub(timePt, 1);
  const int64_t lastF = satSub(freqPt, 1);

  if (selTimeBegin < 0) {
    const int64_t fw = moveFreq();
    if (selFreqBegin < 0) {
      if (wrap != 0) {
        selTimeBegin = satSub(lastT, fw);
        selTimeEnd = lastT;
        selFreqBegin = satSub(lastF, fw);
        selFreqEnd = lastF;
      } else {
        selTimeBegin = 0;
        selTimeEnd = fw;
        selFreqBegin = 0;
        selFreqEnd = fw;
        if (fw >= freqPt) selFreqEnd = lastF;
        if (fw >= timePt) selTimeEnd = lastT;
      }
    }
  }
  if (selTimeEnd >= timePt) {
    const int64_t fw = moveFreq();
    if (selFreqEnd >= freqPt) {
      if (wrap != 0) {
        selTimeBegin = 0;
        selTimeEnd = fw;
        selFreqBegin = 0;
        selFreqEnd = fw;
      } else {
        selTimeEnd = lastT;
        selTimeBegin = satSub(lastT, fw);
        if (selTimeBegin < 0) selTimeBegin = 0;
        selFreqEnd = lastF;
        selFreqBegin = satSub(lastF, fw);
        if (selFreqBegin < 0) selFreqBegin = 0;
      }
    }
  }
  selTimeBegin = clampToAxis(selTimeBegin, timePt);
  selTimeEnd = clampToAxis(selTimeEnd, timePt);
  selFreqBegin = clampToAxis(selFreqBegin, freqPt);
  selFreqEnd = clampToAxis(selFreqEnd, freqPt);
  return 1;
}

namespace megcxc {

bool statisticsLines(CSpctmTrlCCData08Show& dataset, int dataType, bool timeAxis, StatisticsLines& out) {
  return reportFigures(dataset, dataType, timeAxis, out);
}

}  // namespace megcxc

CString CSpctmTrlCCData08Show::getStatisticsF(int dataType) {
  return statisticsReport(*this, dataType, ReportKind::kFreq);
}

CString CSpctmTrlCCData08Show::getStatisticsFx(int dataType) {
  return statisticsReport(*this, dataType, ReportKind::kFreqCompact);
}

CString CSpctmTrlCCData08Show::getStatisticsTx(int dataType) {
  return statisticsReport(*this, dataType, ReportKind::kTimeCompact);
}

namespace {

// Runs a power/phase operation over every pair: the preparations (the only
// allocations and messages) on this thread in pair order, then the cells of
// the prepared pairs on the worker threads, a band of rows each.
void powerPhasePass(CSpctmTrlCCData08Show& ds, const std::function<void(CSpctmChnChnDatazq&)>& cells) {
  const int64_t rows = ds.rowSnsCount, cols = ds.colSnsCount;
  {
    // New planes come from the plane heap 128 at a time, not one lock each.
    megcxc::PlaneBatchScope batches;
    for (int64_t r = 0; r < rows; ++r) {
      CSpctmChnChnDatazq* row = ds.pairMatrix[r];
      if (row == nullptr) continue;
      for (int64_t c = 0; c < cols; ++c) row[c].preparePowerPhase();
    }
  }
  // The dataset's extents come from its current pair, which need not hold
  // planes of that size (a damaged file): the estimate saturates.
  const int64_t cellsPerRow = megcxc::satMulNonNegative(
      megcxc::satMulNonNegative(cols, std::max<int64_t>(ds.timePt, 1)), std::max<int64_t>(ds.freqPt, 1));
  megcxc::parallelFor(rows, cellsPerRow, [&](int64_t begin, int64_t end) {
    for (int64_t r = begin; r < end; ++r) {
      CSpctmChnChnDatazq* row = ds.pairMatrix[r];
      if (row == nullptr) continue;
      for (int64_t c = 0; c < cols; ++c) {
        if (row[c].powerPhaseReady()) cells(row[c]);
      }
    }
  });
}

}  // namespace

int CSpctmTrlCCData08Show::computeMagnitude(int polarity) {
  if (checkDataIntegraty() == 0) return 0;
  powerPhasePass(*this, [polarity](CSpctmChnChnDatazq& p) { p.polarityMagnitudeCells(polarity); });
  return 1;
}

int CSpctmTrlCCData08Show::computePhase() {
  if (checkDataIntegraty() == 0) return 0;
  powerPhasePass(*this, [](CSpctmChnChnDatazq& p) { p.phaseCells(); });
  return 1;
}

int CSpctmTrlCCData08Show::zeroDiagnonal() {
  if (checkDataIntegraty() == 0) return 0;
  const int64_t diagonal = rowSnsCount < colSnsCount ? rowSnsCount : colSnsCount;
  for (int64_t i = 0; i < diagonal; ++i) {
    CSpctmChnChnDatazq* row = pairMatrix[i];
    if (row == nullptr) continue;
    for (int dataType = 0; dataType < 3; ++dataType) row[i].scaleSpctm(0.0, dataType);
  }
  return 1;
}
