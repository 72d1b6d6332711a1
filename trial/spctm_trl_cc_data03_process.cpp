#include "trial/spctm_trl_cc_data03_process.h"

#include <cmath>
#include <limits>

#include "platform/saturate.h"

namespace {

// A selection index clamped against an extent n: -1 keeps `stored`, other
// negative values become 0, values at or beyond n become n - 1 (-1 when n is
// 0).
int64_t clampSelection(int64_t value, int64_t stored, int64_t n) {
  if (value == -1) value = stored;
  if (value < 0) value = 0;
  if (value >= n) value = n - 1;
  return value;
}

bool summaryHoldsArrays(const CSumCCSpctmDatazq& s) {
  return s.cellMin != nullptr || s.cellMean != nullptr || s.cellMax != nullptr ||
         s.cellPosMean != nullptr || s.cellNegMean != nullptr || s.cellRms != nullptr;
}

}  // namespace

int64_t CSpctmTrlCCData03Process::getSpctmFreqIndex4Freq(double freqHz) {
  if (freqFirstHz >= freqHz) return 0;
  if (freqHz >= freqLastHz) return megcxc::satSub(freqPt, 1);
  const double q = (freqHz - freqFirstHz) / freqStepHz;
  // A zero or absurd step gives a quotient outside the 64-bit range (or NaN);
  // saturate instead of converting it, which would be undefined.
  constexpr double kLimit = 9223372036854775807.0;
  if (std::isnan(q)) return 0;
  if (q >= kLimit) return std::numeric_limits<int64_t>::max();
  if (q <= -kLimit) return std::numeric_limits<int64_t>::min();
  return static_cast<int64_t>(q);
}

double CSpctmTrlCCData03Process::getSpctmFreq4FreqIndex(int64_t freqIndex) {
  if (freqIndex < 0 || freqPt < 1) return -1.0;
  if (freqIndex > freqPt - 1) freqIndex = freqPt - 1;
  double f;
  if (freqAxisLog == 0) {
    f = static_cast<double>(freqIndex) * freqStepHz + freqFirstHz;
  } else {
    // Repeated multiplication, not pow: its rounding is what the axis means.
    f = freqFirstHz;
    for (int64_t i = 0; i <= freqIndex; ++i) f *= freqRatio;
  }
  return freqLastHz < f ? freqLastHz : f;
}

int CSpctmTrlCCData03Process::getSpctmFreqRangeHz(double& lowHz, double& highHz) {
  lowHz = freqFirstHz;
  highHz = freqLastHz;
  return 1;
}

double CSpctmTrlCCData03Process::getTrialSpctmFreqStep() { return freqStepHz; }

int64_t CSpctmTrlCCData03Process::getTrialSpctmTimePt() { return timePt; }

int64_t CSpctmTrlCCData03Process::getTrialSpctmTimeStep() { return timeStep; }

int64_t CSpctmTrlCCData03Process::getTrialSpctmFreqPt() { return freqPt; }

int CSpctmTrlCCData03Process::getSpctmCmptType() { return cmptType; }

int CSpctmTrlCCData03Process::getSpctmResultType() { return resultType; }

int CSpctmTrlCCData03Process::setSpctmResultType(int type) {
  resultType = type;
  return 1;
}

int CSpctmTrlCCData03Process::setSpctmTimePtFreqPt(int64_t timePt, int64_t freqPt,
                                                   int64_t timeStep) {
  this->timePt = timePt;
  this->freqPt = freqPt;
  this->timeStep = timeStep;
  for (auto& summary : summaryByDataType) {
    const bool sameExtents = summary.timePtCount == timePt && summary.freqPtCount == freqPt;
    if (!sameExtents && summaryHoldsArrays(summary)) summary.cleanAll();
    summary.timePtCount = timePt;
    summary.freqPtCount = freqPt;
  }
  return 1;
}

int CSpctmTrlCCData03Process::setTrialTimeDataRange4Spctm(int64_t begin, int64_t end) {
  timeDataBegin = begin;
  timeDataEnd = end;
  // Wrapping subtraction: absurd limits must not overflow.
  timeDataLength = static_cast<int64_t>(static_cast<uint64_t>(end) - static_cast<uint64_t>(begin));
  return 1;
}

int CSpctmTrlCCData03Process::setTrialSpctmInfo(int /*unused1*/, int /*unused2*/,
                                                double minValue, double maxValue,
                                                double /*unused3*/, double /*unused4*/,
                                                int /*unused5*/, int dataType) {
  CSumCCSpctmDatazq* summary = getSumCCSpctmData(dataType);
  if (summary != nullptr) {
    summary->minValue = minValue;
    summary->maxValue = maxValue;
  }
  return 1;
}

int CSpctmTrlCCData03Process::setTrialSpctmSelectTime(int64_t begin, int64_t end) {
  selTimeBegin = clampSelection(begin, selTimeBegin, timePt);
  selTimeEnd = clampSelection(end, selTimeEnd, timePt);
  return 1;
}

int CSpctmTrlCCData03Process::setTrialSpctmSelectFreq(int64_t begin, int64_t end) {
  selFreqBegin = clampSelection(begin, selFreqBegin, freqPt);
  selFreqEnd = clampSelection(end, selFreqEnd, freqPt);
  return 1;
}

int CSpctmTrlCCData03Process::setTrialSpctmSelectTimeFreqBB(int64_t timeIndex,
                                                            int64_t freqIndex) {
  selTimeBegin = clampSelection(timeIndex, selTimeBegin, timePt);
  selFreqBegin = clampSelection(freqIndex, selFreqBegin, freqPt);
  return 1;
}

int CSpctmTrlCCData03Process::setTrialSpctmSelectTimeFreqEE(int64_t timeIndex,
                                                            int64_t freqIndex) {
  int64_t t = clampSelection(timeIndex, selTimeEnd, timePt);
  if (t < selTimeBegin) t = selTimeBegin;
  selTimeEnd = t;
  int64_t f = clampSelection(freqIndex, selFreqEnd, freqPt);
  if (f < selFreqBegin) f = selFreqBegin;
  selFreqEnd = f;
  return 1;
}

int CSpctmTrlCCData03Process::getTrialSpctmSelectTimeFreqBB(int64_t& timeIndex,
                                                            int64_t& freqIndex) {
  timeIndex = selTimeBegin;
  freqIndex = selFreqBegin;
  return 1;
}

int CSpctmTrlCCData03Process::getTrialSpctmSelectTimeFreqEE(int64_t& timeIndex,
                                                            int64_t& freqIndex) {
  timeIndex = selTimeEnd;
  freqIndex = selFreqEnd;
  return 1;
}

int64_t CSpctmTrlCCData03Process::getTrialSpctmSelectTime(int64_t& begin, int64_t& end) {
  begin = 0;
  end = 0;
  if (selTimeBegin < 0) selTimeBegin = 0;
  if (selTimeBegin > selTimeEnd) selTimeEnd = selTimeBegin;
  if (selTimeEnd >= timePt) selTimeEnd = megcxc::satSub(timePt, 1);
  begin = selTimeBegin;
  end = selTimeEnd;
  return megcxc::satAdd(megcxc::satSub(end, begin), 1);
}

int64_t CSpctmTrlCCData03Process::getTrialSpctmSelectFreq(int64_t& begin, int64_t& end) {
  begin = 0;
  end = 0;
  if (selFreqEnd >= freqPt) selFreqEnd = megcxc::satSub(freqPt, 1);
  if (selFreqBegin > selFreqEnd) selFreqBegin = selFreqEnd;
  if (selFreqBegin < 0) selFreqBegin = 0;
  begin = selFreqBegin;
  end = selFreqEnd;
  return megcxc::satAdd(megcxc::satSub(end, begin), 1);
}

int CSpctmTrlCCData03Process::getTrialSpctmSelectFreqHz(double& lowHz, double& highHz) {
  return getTrialSpctmGivenFreqID4Hz(selFreqBegin, selFreqEnd, lowHz, highHz);
}

int CSpctmTrlCCData03Process::getTrialSpctmGivenFreqID4Hz(int64_t first, int64_t last,
                                                          double& lowHz, double& highHz) {
  lowHz = 0.0;
  highHz = 0.0;
  if (first == last) {
    lowHz = getSpctmFreq4FreqIndex(first);
    // first + 1 only matters below the last point; past it the cap gives the
    // same frequency, so saturating at the largest index changes nothing.
    highHz = getSpctmFreq4FreqIndex(first == std::numeric_limits<int64_t>::max() ? first
                                                                                 : first + 1);
    return 1;
  }
  lowHz = getSpctmFreq4FreqIndex(first);
  highHz = getSpctmFreq4FreqIndex(last);
  return 2;
}
