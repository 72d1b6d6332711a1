// CSpctmTrlCCData03Process: the time and frequency axes of a trial dataset
// and its selection box.
//
// Frequency point k lies at freqFirstHz + k * freqStepHz on a linear axis and
// at freqFirstHz * freqRatio^(k+1) on a geometric one, capped at freqLastHz.
// The selection box has two inclusive corners: BB (selTimeBegin,
// selFreqBegin) and EE (selTimeEnd, selFreqEnd). Every selection setter treats
// -1 as "keep the stored index", any other negative index as 0 and an index
// beyond the extent as the last point.
#pragma once

#include <cstdint>

#include "trial/spctm_trl_cc_data.h"

class CSpctmTrlCCData03Process : public CSpctmTrlCCData {
 public:
  // Index of the frequency point for `freqHz` by the linear rule (also on a
  // geometric axis): 0 at or below freqFirstHz, freqPt - 1 at or above
  // freqLastHz, else (freqHz - freqFirstHz) / freqStepHz truncated. A zero or
  // absurd step saturates the index at the 64-bit limits (NaN gives 0)
  // rather than converting an unrepresentable quotient.
  int64_t getSpctmFreqIndex4Freq(double freqHz);
  // Frequency in Hz of point `freqIndex` (an index beyond the axis counts as
  // the last point), capped at freqLastHz; -1.0 for a negative index or an
  // empty axis.
  double getSpctmFreq4FreqIndex(int64_t freqIndex);
  // low = freqFirstHz, high = freqLastHz; 1.
  int getSpctmFreqRangeHz(double& lowHz, double& highHz);
  double getTrialSpctmFreqStep();
  int64_t getTrialSpctmTimePt();
  int64_t getTrialSpctmTimeStep();
  int64_t getTrialSpctmFreqPt();
  int getSpctmCmptType();
  int getSpctmResultType();
  // resultType = type; 1.
  int setSpctmResultType(int type);
  // Records the extents and the time step, and the extents of the three
  // summaries. Allocates nothing. A summary still holding arrays of other
  // extents is emptied first (cleanAll), so no reader can walk its arrays
  // with counts they were not allocated with. 1.
  int setSpctmTimePtFreqPt(int64_t timePt, int64_t freqPt, int64_t timeStep);
  // timeDataBegin = begin, timeDataEnd = end, timeDataLength = end - begin
  // (not checked); 1.
  int setTrialTimeDataRange4Spctm(int64_t begin, int64_t end);
  // Sets minValue / maxValue of the summary of dataType 0, 1 or 2; any other
  // dataType changes nothing. The other arguments are accepted and ignored.
  // Always 1.
  int setTrialSpctmInfo(int unused1, int unused2, double minValue, double maxValue,
                        double unused3, double unused4, int unused5, int dataType);

  // Clamp and store selTimeBegin, then selTimeEnd (not ordered); 1.
  int setTrialSpctmSelectTime(int64_t begin, int64_t end);
  // Clamp and store selFreqBegin, then selFreqEnd (not ordered); 1.
  int setTrialSpctmSelectFreq(int64_t begin, int64_t end);
  // Clamp and store corner BB; corner EE is not looked at. 1.
  int setTrialSpctmSelectTimeFreqBB(int64_t timeIndex, int64_t freqIndex);
  // Clamp and store corner EE, each index raised to its BB counterpart when
  // below it. 1.
  int setTrialSpctmSelectTimeFreqEE(int64_t timeIndex, int64_t freqIndex);
  // Corner BB as stored; 1.
  int getTrialSpctmSelectTimeFreqBB(int64_t& timeIndex, int64_t& freqIndex);
  // Corner EE as stored; 1.
  int getTrialSpctmSelectTimeFreqEE(int64_t& timeIndex, int64_t& freqIndex);
  // Normalises the stored time selection (begin raised to 0, end raised to
  // begin, end lowered to timePt - 1, in that order), writes it back and
  // returns end - begin + 1 (0 or negative when begin lies beyond the axis).
  int64_t getTrialSpctmSelectTime(int64_t& begin, int64_t& end);
  // Normalises the stored frequency selection (end lowered to freqPt - 1,
  // begin lowered to end, begin raised to 0, in that order), writes it back
  // and returns end - begin + 1.
  int64_t getTrialSpctmSelectFreq(int64_t& begin, int64_t& end);
  // Band in Hz of the stored frequency selection (not normalised): see
  // getTrialSpctmGivenFreqID4Hz.
  int getTrialSpctmSelectFreqHz(double& lowHz, double& highHz);
  // Band in Hz of frequency points first and last: for first == last, 1 with
  // the band from that point to the next one; else 2 with the frequencies of
  // the two points (in the given order).
  int getTrialSpctmGivenFreqID4Hz(int64_t first, int64_t last, double& lowHz, double& highHz);
};
