#include "face/meg_spctm_cc_data_face04_prcs.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "spectral/spctm_basicx.h"

namespace {

constexpr const char* kExtentsMessage =
    "Spectral time range (%I64d %I64d) frequency range (%I64d %I64d)";
constexpr const char* kRmsMessage = "Trial Sns-Sns-time-frequency Matrix: is smaller than zero!?";

constexpr const char* kNeedBothMessage = "This operation requires  both Active and Control datasets!";
constexpr const char* kSameShapeMessage =
    "This operation requires Active and Control datasets have the same sensor and frequency numbers";
constexpr const char* kOneSliceQuestion = "This operation requires Control dataset has 1 time-slice";
constexpr const char* kAccumulateFailedMessage = "Control dataset accumulating failed!";
constexpr const char* kMoreMemoryMessage = "This operation requires more memory";

bool isClass(int spctmClass) { return spctmClass >= 0 && spctmClass < 3; }
bool isDataType(int dataType) { return dataType >= 0 && dataType < 3; }

// The contiguous cells of a pair's plane (timePt x freqPt, row-major); null
// when the plane is absent or the pair empty. Absent rows read as their
// (zero-filled) block cells.
const double* pairCells(const CSpctmChnChnData& pair, int dataType) {
  if (!isDataType(dataType) || pair.timePt < 1 || pair.freqPt < 1) return nullptr;
  return megcxc::planeData(pair.plane[dataType], pair.timePt);
}

double* pairCellsMutable(CSpctmChnChnData& pair, int dataType) {
  return const_cast<double*>(pairCells(pair, dataType));
}

// Running figures of one summary computation.
struct SummaryTotals {
  int64_t pairs = 0;
  double overallMin = 0.0;
  double overallMax = 0.0;
  double meanTotal = 0.0;
  double posMeanTotal = 0.0;
  double negMeanTotal = 0.0;
  double meanSquareTotal = 0.0;
};

// The six per-cell arrays of a summary as contiguous blocks of width F.
struct SummaryCells {
  double* mn;
  double* mean;
  double* mx;
  double* pos;
  double* neg;
  double* rms;
  int64_t width;
};

// Adds one pair (nt x nf cells of `x`) into the per-cell arrays and the
// totals. The first pair sets the cells it covers; later pairs accumulate.
void addPairToSummary(const double* x, int64_t nt, int64_t nf, const SummaryCells& s,
                      SummaryTotals& t) {
  const bool first = t.pairs == 0;
  if (first) {
    t.overallMin = x[0];
    t.overallMax = x[0];
  }
  double lo = t.overallMin, hi = t.overallMax;
  double sum = 0.0, posSum = 0.0, negSum = 0.0, sqSum = 0.0;
  for (int64_t i = 0; i < nt; ++i) {
    const double* xr = x + i * nf;
    const int64_t o = i * s.width;
    double* mnr = s.mn + o;
    double* meanr = s.mean + o;
    double* mxr = s.mx + o;
    double* posr = s.pos + o;
    double* negr = s.neg + o;
    double* rmsr = s.rms + o;
    if (first) {
      for (int64_t j = 0; j < nf; ++j) {
        const double v = xr[j];
        mnr[j] = v;
        meanr[j] = v;
        mxr[j] = v;
        if (v > 0) {
          posr[j] = v;
          negr[j] = 0.0;
          posSum += v;
        } else {
          posr[j] = 0.0;
          negr[j] = v;
          negSum += v;
        }
        rmsr[j] = v * v;
        if (v < lo) lo = v;
        if (v > hi) hi = v;
        sum += v;
        sqSum += v * v;
      }
    } else {
      for (int64_t j = 0; j < nf; ++j) {
        const double v = xr[j];
        if (v < mnr[j]) mnr[j] = v;
        meanr[j] += v;
        if (v > mxr[j]) mxr[j] = v;
        if (v > 0) {
          posr[j] += v;
          posSum += v;
        } else {
          negr[j] += v;
          negSum += v;
        }
        rmsr[j] += v * v;
        if (v < lo) lo = v;
        if (v > hi) hi = v;
        sum += v;
        sqSum += v * v;
      }
    }
  }
  const double cells = static_cast<double>(nt * nf);
  t.overallMin = lo;
  t.overallMax = hi;
  t.meanTotal += sum / cells;
  t.posMeanTotal += posSum / cells;
  t.negMeanTotal += negSum / cells;
  t.meanSquareTotal += sqSum / cells;
  ++t.pairs;
}

// One plane of one active-control pair: nt x nf cells of `out` (row width
// outW) from the active cells `a` (row width aW) and the control pair's time
// slice 0 `ctl`. The operation is chosen once per plane so each loop is a
// plain pass over contiguous rows.
void combinePlane(int op, const double* a, int64_t aW, const double* ctl, double* out,
                  int64_t outW, int64_t nt, int64_t nf) {
  const double first = ctl[0];
  for (int64_t i = 0; i < nt; ++i) {
    const double* ar = a + i * aW;
    double* xr = out + i * outW;
    switch (op) {
      case 0:
        for (int64_t j = 0; j < nf; ++j) xr[j] = ar[j] - ctl[j];
        break;
      case 1:
        for (int64_t j = 0; j < nf; ++j) xr[j] = ar[j] + first;
        break;
      case 2:
        for (int64_t j = 0; j < nf; ++j) xr[j] = ar[j] * first;
        break;
      default:
        if (first == 0.0) {
          for (int64_t j = 0; j < nf; ++j) xr[j] = 0.0;
        } else {
          for (int64_t j = 0; j < nf; ++j) xr[j] = ar[j] / first;
        }
        break;
    }
  }
}

}  // namespace

int CMEGSpctmCCDataFace04Prcs::checkCrsChnlSpctmInfo(CSpctmTrlCCDatazq*& dataset, int spctmClass,
                                                     int dataType, int64_t& timePtCount,
                                                     int64_t& freqPtCount) {
  timePtCount = 0;
  freqPtCount = 0;
  if (dataset == nullptr) {
    if (!isClass(spctmClass)) return 0;
    dataset = trialByClass[spctmClass];
    if (dataset == nullptr) return 0;
  }
  CSpctmTrlCCDatazq& ds = *dataset;
  if (ds.pairMatrix == nullptr || ds.rowSnsCount < 1 || ds.colSnsCount < 1) return 0;
  if (!isDataType(dataType)) return 0;

  int64_t count = 0, minT = 0, maxT = 0, minF = 0, maxF = 0;
  for (int64_t r = 0; r < ds.rowSnsCount; ++r) {
    const CSpctmChnChnDatazq* row = ds.pairMatrix[r];
    if (row == nullptr) return 0;
    for (int64_t c = 0; c < ds.colSnsCount; ++c) {
      const CSpctmChnChnDatazq& p = row[c];
      if (p.plane[dataType] == nullptr || p.timePt < 1 || p.freqPt < 1) return 0;
      if (count == 0) {
        minT = maxT = p.timePt;
        minF = maxF = p.freqPt;
      } else {
        minT = std::min(minT, p.timePt);
        maxT = std::max(maxT, p.timePt);
        minF = std::min(minF, p.freqPt);
        maxF = std::max(maxF, p.freqPt);
      }
      ++count;
    }
  }
  if (count < 1 || maxT < 1 || maxF < 1) return 0;
  if (minT != maxT || minF != maxF) {
    CString text;
    text.Format(kExtentsMessage, minT, maxT, minF, maxF);
    AfxMessageBox(text, MB_OK);
  }
  timePtCount = maxT;
  freqPtCount = maxF;
  return count > INT_MAX ? INT_MAX : static_cast<int>(count);
}

CSumCCSpctmDatazq* CMEGSpctmCCDataFace04Prcs::summariseClass(CSpctmTrlCCDatazq* dataset,
                                                             int spctmClass, int dataType,
                                                             bool activeRowOnly) {
  int64_t T = 0, F = 0;
  if (checkCrsChnlSpctmInfo(dataset, spctmClass, dataType, T, F) < 1 || dataset == nullptr) {
    return nullptr;
  }
  CSpctmTrlCCDatazq& ds = *dataset;

  int64_t rowBegin = 0, rowEnd = ds.rowSnsCount;
  if (activeRowOnly) {
    ds.curActSns = std::clamp<int64_t>(ds.curActSns, 0, ds.rowSnsCount - 1);
    rowBegin = ds.curActSns;
    rowEnd = rowBegin + 1;
  }

  CSumCCSpctmDatazq* sum = ds.getSumCCSpctmData(dataType);
  if (sum == nullptr || sum->checkInit(T, F) == 0) return nullptr;
  if (!sum->cellMin || !sum->cellMean || !sum->cellMax || !sum->cellPosMean || !sum->cellNegMean ||
      !sum->cellRms || !sum->arraysFitCounts()) {
    sum->cleanAll();
    return nullptr;
  }
  const SummaryCells cells{megcxc::planeData(sum->cellMin, T),     megcxc::planeData(sum->cellMean, T),
                           megcxc::planeData(sum->cellMax, T),     megcxc::planeData(sum->cellPosMean, T),
                           megcxc::planeData(sum->cellNegMean, T), megcxc::planeData(sum->cellRms, T),
                           F};

  // The pre-check has made sure every pair holds the plane with extents of
  // at least 1 x 1 and at most T x F.
  SummaryTotals totals;
  for (int64_t r = rowBegin; r < rowEnd; ++r) {
    const CSpctmChnChnDatazq* row = ds.pairMatrix[r];
    for (int64_t c = 0; c < ds.colSnsCount; ++c) {
      const CSpctmChnChnDatazq& p = row[c];
      addPairToSummary(pairCells(p, dataType), p.timePt, p.freqPt, cells, totals);
    }
  }

  double meanValue = totals.meanTotal;
  double posMeanValue = totals.posMeanTotal;
  double negMeanValue = totals.negMeanTotal;
  double rmsValue = totals.meanSquareTotal;
  if (totals.pairs >= 2) {
    const double count = static_cast<double>(totals.pairs);
    const double half = count * 0.5;
    const int64_t n = T * F;
    for (int64_t k = 0; k < n; ++k) {
      cells.mean[k] /= count;
      cells.pos[k] /= half;
      cells.neg[k] /= half;
      cells.rms[k] = std::sqrt(cells.rms[k] / count);
    }
    meanValue = totals.meanTotal / count;
    posMeanValue = totals.posMeanTotal / half;
    negMeanValue = totals.negMeanTotal / half;
    rmsValue = std::sqrt(totals.meanSquareTotal / half);
  }

  sum->isComputed = 1;
  sum->pairCount = totals.pairs;
  sum->timePtCount = T;
  sum->freqPtCount = F;
  sum->maxValue = totals.overallMax;
  sum->minValue = totals.overallMin;
  sum->meanValue = meanValue;
  sum->posMeanValue = posMeanValue;
  sum->negMeanValue = negMeanValue;
  sum->rmsValue = rmsValue;
  return sum;
}

CSumCCSpctmDatazq* CMEGSpctmCCDataFace04Prcs::cmpSumCCSpctmData(CSpctmTrlCCDatazq* dataset,
                                                                int spctmClass, int dataType) {
  return summariseClass(dataset, spctmClass, dataType, false);
}

CSumCCSpctmDatazq* CMEGSpctmCCDataFace04Prcs::cmpSumCCSpctmData4ActSns(CSpctmTrlCCDatazq* dataset,
                                                                       int spctmClass,
                                                                       int dataType) {
  return summariseClass(dataset, spctmClass, dataType, true);
}

int CMEGSpctmCCDataFace04Prcs::cmpSumCCSpctmAllClassType() {
  int done = 0;
  for (int cls = 0; cls < 3; ++cls) {
    for (int dt = 0; dt < 3; ++dt) {
      if (cmpSumCCSpctmData4ActSns(nullptr, cls, dt) != nullptr) ++done;
    }
  }
  return done;
}

int CMEGSpctmCCDataFace04Prcs::cmpSumCCSpctmAllClassType4ActSns() {
  int done = 0;
  for (int cls = 0; cls < 3; ++cls) {
    for (int dt = 0; dt < 3; ++dt) {
      if (cmpSumCCSpctmData(nullptr, cls, dt) != nullptr) ++done;
    }
  }
  return done;
}

int CMEGSpctmCCDataFace04Prcs::doAct_Ctl_operation() {
  CSpctmTrlCCDatazq* act = trialByClass[0];
  CSpctmTrlCCDatazq* ctl = trialByClass[1];
  if (act == nullptr || ctl == nullptr || act->checkDataIntegraty() == 0 ||
      ctl->checkDataIntegraty() == 0) {
    AfxMessageBox(kNeedBothMessage, MB_OK);
    return 0;
  }
  if (act->rowSnsCount != ctl->rowSnsCount || act->colSnsCount != ctl->colSnsCount ||
      act->freqPt != ctl->freqPt) {
    AfxMessageBox(kSameShapeMessage, MB_OK);
    return 0;
  }
  if (ctl->timePt > 1) {
    if (AfxMessageBox(kOneSliceQuestion, MB_YESNO) != IDYES) return 0;
    if (ctl->accumulateTime1() == 0) {
      AfxMessageBox(kAccumulateFailedMessage, MB_OK);
      return 0;
    }
  }
  CSpctmTrlCCDatazq* out = trialByClass[2];
  if (out == nullptr) {
    out = megcxc::xnew<CSpctmTrlCCDatazq>();
    if (out == nullptr) {
      AfxMessageBox(kMoreMemoryMessage, MB_OK);
      return 0;
    }
    trialByClass[2] = out;
  }
  // Shaped like the active dataset without the zero fill: the loop below
  // writes every cell, zeros where nothing is combined.
  if (megcxc::initSpctmCCDataLike(*out, act, false) == 0) return 0;

  const int op = actCtlOperation;
  const bool combine = op >= 0 && op <= 3;
  const int64_t R = act->rowSnsCount, C = act->colSnsCount, T = act->timePt, F = act->freqPt;
  for (int64_t r = 0; r < R; ++r) {
    const CSpctmChnChnDatazq* aRow = act->pairMatrix[r];
    const CSpctmChnChnDatazq* cRow = ctl->pairMatrix[r];
    CSpctmChnChnDatazq* xRow = out->pairMatrix[r];
    if (xRow == nullptr) continue;
    for (int64_t c = 0; c < C; ++c) {
      CSpctmChnChnDatazq& x = xRow[c];
      const CSpctmChnChnDatazq* a = combine && aRow != nullptr && cRow != nullptr ? &aRow[c] : nullptr;
      const CSpctmChnChnDatazq* k = a != nullptr ? &cRow[c] : nullptr;
      // Within the extents all three pairs have; the control needs only its
      // first time slice.
      const int64_t nt = a != nullptr ? std::min({T, a->timePt, x.timePt}) : 0;
      const int64_t nf = a != nullptr ? std::min({F, a->freqPt, k->freqPt, x.freqPt}) : 0;
      const bool inRange = nt >= 1 && nf >= 1 && k->timePt >= 1;
      for (int d = 0; d < 3; ++d) {
        double* xv = pairCellsMutable(x, d);
        if (xv == nullptr) continue;
        const double* av = inRange ? pairCells(*a, d) : nullptr;
        const double* kv = inRange ? pairCells(*k, d) : nullptr;
        if (av == nullptr || kv == nullptr || nt < x.timePt || nf < x.freqPt) {
          megcxc::fillPlane(x.plane[d], x.timePt, x.freqPt, 0.0);
        }
        if (av == nullptr || kv == nullptr) continue;
        combinePlane(op, av, a->freqPt, kv, xv, x.freqPt, nt, nf);
        megcxc::restorePlaneRows(x.plane[d], x.timePt, x.freqPt);
      }
    }
  }
  return 1;
}

int CMEGSpctmCCDataFace04Prcs::normSpctmCCData_rootMeanSquare(int spctmClass) {
  CSpctmTrlCCDatazq* ds = datasetOf(resolveClass(spctmClass));
  if (ds == nullptr || ds->pairMatrix == nullptr) return 0;
  const int64_t T = ds->timePt, F = ds->freqPt, R = ds->rowSnsCount, C = ds->colSnsCount;
  if (T < 1 || F < 1 || R < 1 || C < 1) return 0;
  for (int64_t r = 0; r < R; ++r) {
    const CSpctmChnChnDatazq* row = ds->pairMatrix[r];
    if (row == nullptr) return 0;
    for (int64_t c = 0; c < C; ++c) {
      const CSpctmChnChnDatazq& p = row[c];
      if (p.timePt != T || p.freqPt != F || !p.plane[0] || !p.plane[1]) return 0;
    }
  }

  const double dT = static_cast<double>(T), dF = static_cast<double>(F);
  const double dR = static_cast<double>(R), dC = static_cast<double>(C);
  double realTotal = 0.0, imagTotal = 0.0;
  for (int64_t r = 0; r < R; ++r) {
    const CSpctmChnChnDatazq* row = ds->pairMatrix[r];
    double realRow = 0.0, imagRow = 0.0;
    for (int64_t c = 0; c < C; ++c) {
      const double* re = pairCells(row[c], 0);
      const double* im = pairCells(row[c], 1);
      double realPair = 0.0, imagPair = 0.0;
      for (int64_t i = 0; i < T; ++i) {
        const double* rr = re + i * F;
        const double* ir = im + i * F;
        double realSq = 0.0, imagSq = 0.0;
        for (int64_t j = 0; j < F; ++j) {
          realSq += rr[j] * rr[j];
          imagSq += ir[j] * ir[j];
        }
        realPair += realSq / dF;
        imagPair += imagSq / dF;
      }
      realRow += realPair / dT;
      imagRow += imagPair / dT;
    }
    realTotal += realRow / dC;
    imagTotal += imagRow / dC;
  }
  const double realRms = std::sqrt(realTotal / dR);
  const double imagRms = std::sqrt(imagTotal / dR);
  if (!(realRms > 0.0) || !(imagRms > 0.0)) {
    AfxMessageBox(kRmsMessage, MB_OK);
    return 0;
  }

  const int64_t n = T * F;
  for (int64_t r = 0; r < R; ++r) {
    CSpctmChnChnDatazq* row = ds->pairMatrix[r];
    for (int64_t c = 0; c < C; ++c) {
      double* re = pairCellsMutable(row[c], 0);
      double* im = pairCellsMutable(row[c], 1);
      for (int64_t k = 0; k < n; ++k) re[k] /= realRms;
      for (int64_t k = 0; k < n; ++k) im[k] /= imagRms;
    }
  }
  return 1;
}

int64_t CMEGSpctmCCDataFace04Prcs::getSelectSpctmCCDValueX(int source, int64_t /*unused*/,
                                                           int64_t timeBegin, int64_t timeEnd,
                                                           int64_t freqBegin, int64_t freqEnd,
                                                           double& mean, int64_t& count,
                                                           int spctmClass, int dataType) {
  mean = 0.0;
  count = 0;
  CSpctmTrlCCDatazq* ds = datasetOf(resolveClass(spctmClass));
  if (ds == nullptr) return 0;
  if (timeBegin == -1) timeBegin = ds->selTimeBegin;
  if (timeEnd == -1) timeEnd = ds->selTimeEnd;
  if (freqBegin == -1) freqBegin = ds->selFreqBegin;
  if (freqEnd == -1) freqEnd = ds->selFreqEnd;

  if (source == 0) {
    const int64_t r = ds->curActSns, c = ds->curCxcSns;
    if (ds->pairMatrix == nullptr || r < 0 || r >= ds->rowSnsCount || c < 0 || c >= ds->colSnsCount) {
      return 0;
    }
    const CSpctmChnChnDatazq* row = ds->pairMatrix[r];
    if (row == nullptr) return 0;
    return row[c].getSelectSpctmValueX(timeBegin, timeEnd, freqBegin, freqEnd, mean, count,
                                       dataType);
  }
  if (source < 1 || source > 3) return 0;

  CSumCCSpctmDatazq* sum = ds->getSumCCSpctmData(dataType);
  if (sum == nullptr || !sum->arraysFitCounts()) return 0;
  double** plane = source == 1 ? sum->cellMean : source == 2 ? sum->cellMin : sum->cellMax;
  const int64_t T = sum->timePtCount, F = sum->freqPtCount;
  if (plane == nullptr || T < 1 || F < 1) return 0;
  timeBegin = std::max<int64_t>(timeBegin, 0);
  freqBegin = std::max<int64_t>(freqBegin, 0);
  timeEnd = std::min(timeEnd, T - 1);
  freqEnd = std::min(freqEnd, F - 1);
  if (timeBegin > timeEnd || freqBegin > freqEnd) return 0;

  const double* cells = megcxc::planeData(plane, T);
  double total = 0.0;
  int64_t n = 0;
  for (int64_t t = timeBegin; t <= timeEnd; ++t) {
    const double* row = cells + t * F;
    for (int64_t f = freqBegin; f <= freqEnd; ++f) {
      total += row[f];
      ++n;
    }
  }
  count = n;
  mean = total / static_cast<double>(n);
  return n;
}

int64_t CMEGSpctmCCDataFace04Prcs::getSpctmTimePt(int64_t timeIndex, int spctmClass,
                                                  int /*unused*/) {
  const CSpctmTrlCCDatazq* ds = datasetOf(spctmClass);
  if (ds == nullptr) return -1;
  // Unsigned arithmetic wraps instead of overflowing on absurd inputs.
  const uint64_t pos = static_cast<uint64_t>(timeIndex) * static_cast<uint64_t>(ds->timeStep) +
                       static_cast<uint64_t>(ds->timePtOffset) +
                       static_cast<uint64_t>(ds->timeDataBegin);
  return static_cast<int64_t>(pos);
}

int CMEGSpctmCCDataFace04Prcs::computeMagnitude(int polarity) {
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds != nullptr) ds->computeMagnitude(polarity);
  }
  return 1;
}

int CMEGSpctmCCDataFace04Prcs::computePhase() {
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds != nullptr) ds->computePhase();
  }
  return 1;
}

int CMEGSpctmCCDataFace04Prcs::zeroDiagonal() {
  for (CSpctmTrlCCDatazq* ds : trialByClass) {
    if (ds != nullptr) ds->zeroDiagnonal();
  }
  return 1;
}
