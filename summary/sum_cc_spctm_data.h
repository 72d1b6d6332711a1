// CSumCCSpctmData: the summary of one data type of a trial dataset over its
// channel pairs — six per-cell arrays (minimum, mean, maximum, positive mean,
// negative mean, RMS) over the time x frequency grid and the same figures once
// over the whole grid.
//
// The six arrays are planes in the CSpctmBasicx form (`double**` row tables
// indexed [time][frequency]), each ONE block from megcxc::allocPlane. Releasing
// a plane is therefore a single free that never looks at `timePtCount` or
// `freqPtCount`, so a caller that rewrites the counts while arrays are held can
// never make a release walk the wrong number of rows.
#pragma once

#include <cstdint>

class CSumCCSpctmData {
 public:
  int64_t timePtCount;   // rows (time points) of every array
  int64_t freqPtCount;   // columns (frequency points) of every array
  double** cellMin;      // per cell: minimum over the pairs
  double** cellMean;     // per cell: mean over the pairs
  double** cellMax;      // per cell: maximum over the pairs
  double** cellPosMean;  // per cell: sum of positive values / (pairs / 2)
  double** cellNegMean;  // per cell: sum of non-positive values / (pairs / 2)
  double** cellRms;      // per cell: root mean square
  int isComputed;        // 1 once a summary has been computed into the record
  int64_t pairCount;     // channel pairs that went into the summary
  double maxValue;
  double meanValue;
  double minValue;
  double posMeanValue;
  double negMeanValue;
  double rmsValue;
  double absMaxValue;  // cache of the dataset's absolute range scan
  double spareValue2;
  double absMinValue;  // cache of the dataset's absolute range scan
  double spareValue4;
  double spareValue5;
  double spareValue6;

  // Every field 0, every array absent.
  CSumCCSpctmData();
  // Releases the arrays (cleanAll).
  ~CSumCCSpctmData();
  // Deep copy: the new record holds its own copies of the other record's
  // arrays, so each array is released exactly once. If a copy cannot be
  // allocated, "Has enough memory?" is shown once and the new record is Empty.
  CSumCCSpctmData(const CSumCCSpctmData& other);
  // Deep copy of all 22 fields (arrays duplicated, never shared). If a copy
  // cannot be allocated, "Has enough memory?" is shown once and this record is
  // left unchanged.
  CSumCCSpctmData& operator=(const CSumCCSpctmData& other);
  // Transfer: this record takes the other's arrays; the other is reset.
  CSumCCSpctmData(CSumCCSpctmData&& other) noexcept;
  CSumCCSpctmData& operator=(CSumCCSpctmData&& other) noexcept;

  // Sets all 22 fields to 0 and forgets the arrays WITHOUT releasing them (the
  // caller must own them elsewhere). Returns 1.
  int reset();
  // Makes sure the six arrays exist with timePoints x freqPoints cells. Other
  // extents than the current ones first empty the record (cleanAll); arrays
  // already present with these extents are kept, contents included; missing
  // ones are allocated zero-filled. Returns 0 without a message when an extent
  // is below 1 (the record then is as that cleanAll left it). On an exhausted
  // allocation shows "Has enough memory?" once, empties the record and
  // returns 0. Returns 1 on success.
  //
  // Arrays are also reallocated when the counts were rewritten from outside
  // (the dataset sets them without looking) and no longer match the extents
  // the arrays were allocated with: keeping them would let the caller write
  // past their end.
  int checkInit(int64_t timePoints, int64_t freqPoints);
  // Releases the six arrays and sets the counts, isComputed, pairCount and the
  // overall figures to 0, except absMaxValue, spareValue2 and absMinValue, which
  // stay. Returns 1; harmless on an empty record.
  int cleanAll();

  // True when the held arrays (if any) have timePtCount x freqPtCount cells.
  // False only after the counts were rewritten from outside while arrays were
  // held; code walking the arrays over the counts must then not walk them
  // (checkInit with the new counts reallocates them).
  bool arraysFitCounts() const { return _arrayRows() == timePtCount && _arrayCols() == freqPtCount; }

 protected:
  static constexpr int kArrayCount = 6;
  // The handle of array k in field order (0 cellMin ... 5 cellRms).
  double**& _array(int k);
  double** const& _array(int k) const;
  // Records that the held arrays were allocated with rows x cols cells.
  void _noteArrayExtents(int64_t rows, int64_t cols) {
    allocTimePt_ = rows;
    allocFreqPt_ = cols;
  }
  // Rows and columns the held arrays were allocated with. Arrays attached from
  // outside the record are taken to have the record's counts.
  int64_t _arrayRows() const { return allocTimePt_ > 0 ? allocTimePt_ : timePtCount; }
  int64_t _arrayCols() const { return allocTimePt_ > 0 ? allocFreqPt_ : freqPtCount; }

 private:
  void copyScalars(const CSumCCSpctmData& other);
  // Duplicates the other record's arrays into `out`; false (nothing left
  // allocated, message shown) when an allocation fails.
  bool copyArrays(const CSumCCSpctmData& other, double** out[kArrayCount]) const;
  void adoptArrays(double** arrays[kArrayCount], int64_t rows, int64_t cols);
  void releaseArrays();

  // Extents the held arrays were allocated with (0 when none were allocated
  // by the record): the counts above are public and may be rewritten.
  int64_t allocTimePt_ = 0;
  int64_t allocFreqPt_ = 0;
};
