// CSpctmTrlCCData08Show: display helpers and statistics reports of a trial
// dataset.
//
// Brings the dataset's descriptive fields in line with its current pair,
// chooses the current pair, steps the selection box through the grid, writes
// plain-text statistics reports over all pairs (filling the frequency or time
// profile) and applies magnitude, phase and diagonal zeroing to every pair.
// Nothing here shows a message.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/cstring.h"
#include "trial/spctm_trl_cc_data03_process.h"

class CSpctmTrlCCData08Show : public CSpctmTrlCCData03Process {
 public:
  // Clamps curActSns / curCxcSns into the matrix and stores them, copies the
  // current pair's timePt and freqPt into the dataset, normalises the time and
  // frequency selection (getTrialSpctmSelectTime / getTrialSpctmSelectFreq)
  // and sets (never clears) hasRealPlane, hasImagPlane, hasPowerPhasePlane for
  // the planes the current pair has. Returns 1; 0 with nothing changed when
  // there is no matrix, a count is below 1, or the current pair's row is
  // missing (a matrix read with absent rows has no pair to copy from).
  int checkDataIntegraty();

  // Stores the row index lowered to rowSnsCount - 1, then raised to 0, in
  // curActSns and returns it. 0 with nothing stored when there is no matrix.
  int64_t setActSns(int64_t actSns);
  // Stores the column index raised to 0, then lowered to colSnsCount - 1, in
  // curCxcSns and returns it (-1 when there are no columns; the matrix is not
  // looked at).
  int64_t setCxcSns(int64_t cxcSns);

  // Moves the time box by `step` points keeping its width (an end below the
  // begin counts as the begin). Running off an edge jumps to the other end
  // when `wrap` is nonzero, else stops at the edge. Returns the new
  // selTimeBegin.
  int64_t nextSelectT(int step, int wrap);
  // The same on the frequency axis; returns the new selFreqBegin.
  int64_t nextSelectF(int step, int wrap);
  // Moves the time box by `step`; when it runs off an end of the time axis the
  // frequency box moves by `step` as well (wrapping or stopping as `wrap`
  // says), then every index is clamped into its axis. Always 1.
  int nextSelectTF(int step, int wrap);

  // One line per frequency point over all pairs of plane `dataType`:
  // "<trialName>: Freq:<Hz> Min:<min>\tMean:<mean> Max:<max> AbsSum:<abs>
  // RmsSum:<rms> \n". The Hz label is freqFirstHz + k * freqStepHz on a linear
  // axis and freqFirstHz + freqRatio^k on a geometric one (no cap). Fills
  // freqProfile with the per-line Mean. Empty when timePt or freqPt is below
  // 1, when there is no matrix or no rows or columns (nothing to summarise),
  // or when the profile or the report's scratch memory cannot be allocated.
  // An invalid dataType reports 0 for every figure.
  CString getStatisticsF(int dataType);
  // As getStatisticsF with the compact line "<trialName>: <Hz>   <min>
  // <mean>   <max>   <abs>   <rms> \n" and a closing line "All
  // Time-Freq:..." with the averages of the five figures over the lines.
  CString getStatisticsFx(int dataType);
  // As getStatisticsFx with one line per time point, filling timeProfile. The
  // label of line k is its time in the host's units: auxValue1 +
  // k * (timeStep / auxFactor1) when auxFactor1 > 0 (auxFactor1 being the
  // samples per unit), else auxValue1 + k * timeStep (samples). A label that
  // moves with k lets a reader tell the lines apart, which a label equal on
  // every line would not.
  CString getStatisticsTx(int dataType);

  // setPolarity2Magnitude(polarity) on every pair (the pairs' own results do
  // not matter). 0 when checkDataIntegraty fails, else 1.
  int computeMagnitude(int polarity);
  // computePhase on every pair. 0 when checkDataIntegraty fails, else 1.
  int computePhase();
  // Multiplies the three planes of every diagonal pair (row == column) by
  // 0.0. 0 when checkDataIntegraty fails, else 1.
  int zeroDiagnonal();
};

namespace megcxc {

// The figures of the statistics reports before they are formatted, one entry
// per frequency point (timeAxis false) or time point: the line's label (Hz or
// time, as the report prints it), minimum, mean, maximum, mean absolute value
// ("AbsSum") and RMS ("RmsSum") over all pairs of plane dataType.
struct StatisticsLines {
  std::vector<double> label, min, mean, max, absMean, rms;
};
// Fills `out` with the figures getStatisticsFx (timeAxis false) or
// getStatisticsTx prints, unrounded; false with `out` untouched where those
// reports are empty. The profiles are not touched.
bool statisticsLines(CSpctmTrlCCData08Show& dataset, int dataType, bool timeAxis, StatisticsLines& out);

}  // namespace megcxc
