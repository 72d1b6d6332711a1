#include "summary/sum_cc_spctm_data.h"

#include <cstring>

#include "platform/message_box.h"
#include "spectral/spctm_basicx.h"

namespace {
constexpr const char* kNoMemory = "Has enough memory?";

double** CSumCCSpctmData::* const kArrays[] = {&CSumCCSpctmData::cellMin,     &CSumCCSpctmData::cellMean,
                                               &CSumCCSpctmData::cellMax,     &CSumCCSpctmData::cellPosMean,
                                               &CSumCCSpctmData::cellNegMean, &CSumCCSpctmData::cellRms};
}  // namespace

CSumCCSpctmData::CSumCCSpctmData() { reset(); }

CSumCCSpctmData::~CSumCCSpctmData() { cleanAll(); }

CSumCCSpctmData::CSumCCSpctmData(const CSumCCSpctmData& other) {
  reset();
  double** copies[kArrayCount];
  copyScalars(other);
  if (copyArrays(other, copies)) {
    adoptArrays(copies, other._arrayRows(), other._arrayCols());
  } else {
    cleanAll();
  }
}

CSumCCSpctmData& CSumCCSpctmData::operator=(const CSumCCSpctmData& other) {
  if (this == &other) return *this;
  // Copy first, so a failed allocation leaves this record as it was.
  double** copies[kArrayCount];
  if (!copyArrays(other, copies)) return *this;
  releaseArrays();
  copyScalars(other);
  adoptArrays(copies, other._arrayRows(), other._arrayCols());
  return *this;
}

CSumCCSpctmData::CSumCCSpctmData(CSumCCSpctmData&& other) noexcept {
  reset();
  *this = static_cast<CSumCCSpctmData&&>(other);
}

CSumCCSpctmData& CSumCCSpctmData::operator=(CSumCCSpctmData&& other) noexcept {
  if (this == &other) return *this;
  releaseArrays();
  copyScalars(other);
  for (int k = 0; k < kArrayCount; ++k) _array(k) = other._array(k);
  allocTimePt_ = other.allocTimePt_;
  allocFreqPt_ = other.allocFreqPt_;
  other.reset();
  return *this;
}

int CSumCCSpctmData::reset() {
  timePtCount = 0;
  freqPtCount = 0;
  for (int k = 0; k < kArrayCount; ++k) _array(k) = nullptr;
  isComputed = 0;
  pairCount = 0;
  maxValue = meanValue = minValue = 0.0;
  posMeanValue = negMeanValue = rmsValue = 0.0;
  absMaxValue = spareValue2 = absMinValue = 0.0;
  spareValue4 = spareValue5 = spareValue6 = 0.0;
  allocTimePt_ = allocFreqPt_ = 0;
  return 1;
}

int CSumCCSpctmData::checkInit(int64_t timePoints, int64_t freqPoints) {
  if (timePoints != timePtCount || freqPoints != freqPtCount || !arraysFitCounts()) cleanAll();
  if (timePoints < 1 || freqPoints < 1) return 0;
  timePtCount = timePoints;
  freqPtCount = freqPoints;
  for (int k = 0; k < kArrayCount; ++k) {
    double**& a = _array(k);
    if (a) continue;
    a = megcxc::allocPlane(timePoints, freqPoints, true);
    if (!a) {
      AfxMessageBox(kNoMemory, MB_OK);
      cleanAll();
      return 0;
    }
    _noteArrayExtents(timePoints, freqPoints);
  }
  return 1;
}

int CSumCCSpctmData::cleanAll() {
  releaseArrays();
  timePtCount = 0;
  freqPtCount = 0;
  isComputed = 0;
  pairCount = 0;
  maxValue = meanValue = minValue = 0.0;
  posMeanValue = negMeanValue = rmsValue = 0.0;
  spareValue4 = spareValue5 = spareValue6 = 0.0;
  return 1;
}

double**& CSumCCSpctmData::_array(int k) { return this->*kArrays[k]; }

double** const& CSumCCSpctmData::_array(int k) const { return this->*kArrays[k]; }

void CSumCCSpctmData::copyScalars(const CSumCCSpctmData& o) {
  timePtCount = o.timePtCount;
  freqPtCount = o.freqPtCount;
  isComputed = o.isComputed;
  pairCount = o.pairCount;
  maxValue = o.maxValue;
  meanValue = o.meanValue;
  minValue = o.minValue;
  posMeanValue = o.posMeanValue;
  negMeanValue = o.negMeanValue;
  rmsValue = o.rmsValue;
  absMaxValue = o.absMaxValue;
  spareValue2 = o.spareValue2;
  absMinValue = o.absMinValue;
  spareValue4 = o.spareValue4;
  spareValue5 = o.spareValue5;
  spareValue6 = o.spareValue6;
}

bool CSumCCSpctmData::copyArrays(const CSumCCSpctmData& other, double** out[kArrayCount]) const {
  const int64_t rows = other._arrayRows(), cols = other._arrayCols();
  for (int k = 0; k < kArrayCount; ++k) out[k] = nullptr;
  for (int k = 0; k < kArrayCount; ++k) {
    double* const* src = other._array(k);
    // An array without usable extents cannot be duplicated; the copy goes
    // without it.
    if (!src || rows < 1 || cols < 1) continue;
    double** dst = megcxc::allocPlane(rows, cols, false);
    if (!dst) {
      for (int j = 0; j < k; ++j) megcxc::releasePlane(out[j]);
      AfxMessageBox(kNoMemory, MB_OK);
      return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(cols) * sizeof(double);
    for (int64_t r = 0; r < rows; ++r) {
      if (src[r]) {
        std::memcpy(dst[r], src[r], rowBytes);
      } else {
        std::memset(dst[r], 0, rowBytes);
        dst[r] = nullptr;
      }
    }
    out[k] = dst;
  }
  return true;
}

void CSumCCSpctmData::adoptArrays(double** arrays[kArrayCount], int64_t rows, int64_t cols) {
  bool any = false;
  for (int k = 0; k < kArrayCount; ++k) {
    _array(k) = arrays[k];
    any = any || arrays[k];
  }
  if (any) _noteArrayExtents(rows, cols);
  else _noteArrayExtents(0, 0);
}

void CSumCCSpctmData::releaseArrays() {
  // One block per array: the release needs no extents.
  for (int k = 0; k < kArrayCount; ++k) {
    megcxc::releasePlane(_array(k));
    _array(k) = nullptr;
  }
  _noteArrayExtents(0, 0);
}
