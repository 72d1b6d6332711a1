#include "spectral/spctm_chn_chn_data03_process.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#include "platform/alloc_hook.h"
#include "platform/saturate.h"
#include "platform/message_box.h"

namespace {
// Frequencies handled together by the per-frequency passes (see
// spctm_chn_chn_data01_function.cpp): sums on the stack, rows read in order.
constexpr int64_t kColumnBlock = 256;

int64_t clampIndex(int64_t index, int64_t extent) {
  if (index < 0) return 0;
  if (index >= extent) return extent - 1;
  return index;
}

struct ArrayDelete {
  void operator()(double* p) const { delete[] p; }
};
}  // namespace

double CSpctmChnChnData03Process::getSpctmFreqAverage(int64_t freqIndex, bool perFreq, int dataType) const {
  const double* cells = workingCells(dataType);
  if (!cells || !plane[dataType][0]) return 0.0;
  if (!perFreq) return spctmAverage;
  if (freqIndex < 0 || freqIndex >= freqPt) return 0.0;
  const double n = static_cast<double>(timePt);
  double sum = 0.0;
  for (int64_t t = 0; t < timePt; ++t) sum += cells[t * freqPt + freqIndex] / n;
  return sum;
}

int CSpctmChnChnData03Process::globaleNormalSpctmFreq(int64_t freqIndex, double divisor, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells || freqIndex < 0 || freqIndex >= freqPt || divisor == 0.0) return 0;
  for (int64_t t = 0; t < timePt; ++t) cells[t * freqPt + freqIndex] /= divisor;
  return 1;
}

int CSpctmChnChnData03Process::getSpctmRange(double* pMin, double* pMax, int recompute, int dataType) {
  const double* cells = workingCells(dataType);
  if (!cells || !pMin || !pMax) return 0;
  if (recompute == 0) {
    *pMin = rangeMin;
    *pMax = rangeMax;
    return 1;
  }
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  double lo = cells[0];
  double hi = cells[0];
  for (std::size_t i = 1; i < n; ++i) {
    const double x = cells[i];
    if (x < lo) lo = x;
    if (x > hi) hi = x;
  }
  rangeMin = *pMin = lo;
  rangeMax = *pMax = hi;
  return 1;
}

int CSpctmChnChnData03Process::getSpctmRangeAbs(double* pMin, double* pMax, int /*recompute*/,
                                                int dataType) const {
  const double* cells = workingCells(dataType);
  if (!cells || !pMin || !pMax) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  double lo = std::fabs(cells[0]);
  double hi = lo;
  for (std::size_t i = 1; i < n; ++i) {
    const double x = std::fabs(cells[i]);
    if (x < lo) lo = x;
    if (x > hi) hi = x;
  }
  *pMin = lo;
  *pMax = hi;
  return 1;
}

int CSpctmChnChnData03Process::transformSpctm2log(int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  for (std::size_t i = 0; i < n; ++i) cells[i] = std::log(cells[i]);
  return 1;
}

int CSpctmChnChnData03Process::rootStrip(int64_t baseBegin, int64_t baseEnd, double factor, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  std::unique_ptr<double[], ArrayDelete> baseline(megcxc::xnewArray<double>(freqPt));
  if (!baseline) {
    AfxMessageBox("Not enough memory?!", MB_OK);
    return 0;
  }
  std::fill(baseline.get(), baseline.get() + freqPt, 0.0);
  const int64_t end = std::max<int64_t>(std::min(baseEnd, timePt), 1);
  int64_t begin = baseBegin > end ? end - 1 : baseBegin;
  if (begin < 0) begin = 0;
  const double count = static_cast<double>(end - begin);
  if (count <= 0.0) return 0;
  double* base = baseline.get();
  for (int64_t t = begin; t < end; ++t) {
    const double* row = cells + t * freqPt;
    for (int64_t f = 0; f < freqPt; ++f) base[f] += row[f] / count;
  }
  for (int64_t t = 0; t < timePt; ++t) {
    double* row = cells + t * freqPt;
    for (int64_t f = 0; f < freqPt; ++f) row[f] = row[f] / base[f] * factor;
  }
  return 1;
}

int CSpctmChnChnData03Process::setSpctmNAN2zero(int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(cells[i])) cells[i] = 0.0;
  }
  return 1;
}

int CSpctmChnChnData03Process::normSpctmValue2Shrt(double scale, double offset, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  for (std::size_t i = 0; i < n; ++i) cells[i] = (cells[i] - offset) * scale;
  return 1;
}

int CSpctmChnChnData03Process::normalizeSpctm4FreqX(double /*ignoredValue*/, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const double n = static_cast<double>(timePt);
  double mean[kColumnBlock];
  for (int64_t f0 = 0; f0 < freqPt; f0 += kColumnBlock) {
    const int64_t w = std::min(kColumnBlock, freqPt - f0);
    std::fill(mean, mean + w, 0.0);
    for (int64_t t = 0; t < timePt; ++t) {
      const double* row = cells + t * freqPt + f0;
      for (int64_t j = 0; j < w; ++j) mean[j] += row[j] / n;
    }
    for (int64_t t = 0; t < timePt; ++t) {
      double* row = cells + t * freqPt + f0;
      for (int64_t j = 0; j < w; ++j) {
        if (mean[j] != 0.0) row[j] /= mean[j];
      }
    }
  }
  return 1;
}

int CSpctmChnChnData03Process::cutSpctmDataExtrama(double low, double high, double fill, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const std::size_t n = static_cast<std::size_t>(timePt) * static_cast<std::size_t>(freqPt);
  for (std::size_t i = 0; i < n; ++i) {
    if (cells[i] < low || cells[i] > high) cells[i] = fill;
  }
  return 1;
}

int CSpctmChnChnData03Process::cutSpctmTimeBlock(int64_t timeBegin, int64_t timeEnd, double fill, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const int64_t tb = clampIndex(timeBegin, timePt);
  const int64_t te = clampIndex(timeEnd, timePt);
  if (tb <= te) std::fill(cells + tb * freqPt, cells + (te + 1) * freqPt, fill);
  return 1;
}

int CSpctmChnChnData03Process::cutSpctmFreqBlock(int64_t freqBegin, int64_t freqEnd, double fill, int dataType) {
  return cutSpctmSelect(0, megcxc::satSub(timePt, 1), freqBegin, freqEnd, fill, dataType);
}

int CSpctmChnChnData03Process::cutSpctmSelect(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin,
                                              int64_t freqEnd, double fill, int dataType) {
  double* cells = workingCells(dataType);
  if (!cells) return 0;
  const int64_t tb = clampIndex(timeBegin, timePt);
  const int64_t te = clampIndex(timeEnd, timePt);
  const int64_t fb = clampIndex(freqBegin, freqPt);
  const int64_t fe = clampIndex(freqEnd, freqPt);
  if (fb > fe) return 1;
  for (int64_t t = tb; t <= te; ++t) {
    double* row = cells + t * freqPt;
    std::fill(row + fb, row + fe + 1, fill);
  }
  return 1;
}

double CSpctmChnChnData03Process::getSelectSpctmValue(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin,
                                                      int64_t freqEnd, int dataType) const {
  double sum = 0.0;
  int64_t count = 0;
  getSelectSpctmValueX(timeBegin, timeEnd, freqBegin, freqEnd, sum, count, dataType);
  return count > 0 ? sum / static_cast<double>(count) : 0.0;
}

double CSpctmChnChnData03Process::getSpctmValue(int64_t timeIndex, int64_t freqIndex, int dataType) const {
  const double* cells = workingCells(dataType);
  if (!cells) return 0.0;
  return cells[clampIndex(timeIndex, timePt) * freqPt + clampIndex(freqIndex, freqPt)];
}

int CSpctmChnChnData03Process::getSelectSpctmValueX(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin,
                                                    int64_t freqEnd, double& value, int64_t& index,
                                                    int dataType) const {
  const double* cells = workingCells(dataType);
  if (!cells) return 0;
  const int64_t tb = clampIndex(timeBegin, timePt);
  const int64_t te = clampIndex(timeEnd, timePt);
  const int64_t fb = clampIndex(freqBegin, freqPt);
  const int64_t fe = clampIndex(freqEnd, freqPt);
  value = 0.0;
  index = 0;
  if (tb > te) return 0;
  double sum = 0.0;
  int64_t count = 0;
  for (int64_t t = tb; t <= te; ++t) {
    const double* row = cells + t * freqPt;
    for (int64_t f = fb; f <= fe; ++f) {
      sum += row[f];
      ++count;
    }
  }
  value = sum;
  index = count;
  return static_cast<int>(count);
}
