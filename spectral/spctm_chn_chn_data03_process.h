// CSpctmChnChnData03Process: per-plane processing and reading of a channel
// pair: ranges, per-frequency averages and normalisation, logarithm, baseline
// division, NaN removal, linear rescaling, block overwrites and box reads.
//
// Every operation selects plane[dataType] (0 real, 1 imaginary, 2
// power/phase) first; for another dataType, an absent plane or an empty record
// it returns 0 (or 0.0) and changes nothing. Only working planes change; the
// raw backup undoes every operation here. Box indices are clamped one by one
// into the plane (negative -> 0, past the end -> last) and boxes include both
// ends.
#pragma once

#include <cstdint>

#include "spectral/spctm_chn_chn_data01_function.h"

class CSpctmChnChnData03Process : public CSpctmChnChnData01Function {
 public:
  // With `perFreq` false: the spctmAverage field. With `perFreq` true: the mean
  // over time of column freqIndex, summed as plane[t][f] / timePt; 0.0 when
  // freqIndex is outside the plane. 0.0 also when row 0 of the plane is absent.
  double getSpctmFreqAverage(int64_t freqIndex, bool perFreq, int dataType) const;
  // Divides every cell of column freqIndex by `divisor`. 0 when freqIndex is
  // outside the plane or divisor is 0.0.
  int globaleNormalSpctmFreq(int64_t freqIndex, double divisor, int dataType);
  // recompute 0: writes the cached rangeMin / rangeMax. Otherwise scans every
  // cell (NaN never replaces a running value) and writes the extremes to the
  // outputs and the cache. 0 with nothing written when an output pointer is
  // null.
  int getSpctmRange(double* pMin, double* pMax, int recompute, int dataType);
  // The extremes of the absolute values of all cells; always scans, never
  // touches the cache. 0 when an output pointer is null.
  int getSpctmRangeAbs(double* pMin, double* pMax, int recompute, int dataType) const;
  // cell = log(cell) for every cell.
  int transformSpctm2log(int dataType);
  // Baseline division per frequency: baseline[f] = sum over the time window
  // [begin, end) of cell / count, then cell = cell / baseline[f] * factor. The
  // window end is baseEnd clamped into 1 ... timePt; begin is end - 1 when
  // baseBegin lies beyond the end, otherwise baseBegin, and a negative begin
  // is clamped to 0 so no row before the plane is read. 0 for an empty window
  // (plane unchanged) or when the baseline array cannot be allocated ("Not
  // enough memory?!").
  int rootStrip(int64_t baseBegin, int64_t baseEnd, double factor, int dataType);
  // NaN and infinite cells become 0.0.
  int setSpctmNAN2zero(int dataType);
  // cell = (cell - offset) * scale.
  int normSpctmValue2Shrt(double scale, double offset, int dataType);
  // Divides each column by its mean over time (summed as plane[t][f] /
  // timePt); a column whose mean is 0.0 stays. The double is not used.
  int normalizeSpctm4FreqX(double ignoredValue, int dataType);
  // Cells below `low` or above `high` become `fill`; NaN cells stay.
  int cutSpctmDataExtrama(double low, double high, double fill, int dataType);
  // Rows timeBegin ... timeEnd (clamped) become `fill`; nothing when begin > end.
  int cutSpctmTimeBlock(int64_t timeBegin, int64_t timeEnd, double fill, int dataType);
  // Columns freqBegin ... freqEnd (clamped) become `fill` over all times.
  int cutSpctmFreqBlock(int64_t freqBegin, int64_t freqEnd, double fill, int dataType);
  // The clamped time x frequency box becomes `fill`.
  int cutSpctmSelect(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin, int64_t freqEnd, double fill,
                     int dataType);
  // Mean of the clamped box (summed row by row); 0.0 when the box is empty.
  double getSelectSpctmValue(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin, int64_t freqEnd,
                             int dataType) const;
  // The cell at the clamped indices.
  double getSpctmValue(int64_t timeIndex, int64_t freqIndex, int dataType) const;
  // Sum (into `value`) and count (into `index`) of the cells of the clamped
  // box, row by row; returns the count. Both are set to 0 first once the plane
  // is usable; on the entry failure they are left as they are.
  int getSelectSpctmValueX(int64_t timeBegin, int64_t timeEnd, int64_t freqBegin, int64_t freqEnd, double& value,
                           int64_t& index, int dataType) const;
};
