// Consistency of the records as every operation of the library relies on it,
// shared by the tests (through sweep.h) and the fuzz targets. Each function
// returns "" when the record holds together, otherwise what is wrong. Every
// present cell is read, so that under AddressSanitizer extents larger than
// the storage are reported where they are touched.
#pragma once

#include <cstdint>
#include <string>

#include "platform/alloc_hook.h"
#include "sibling/mmatrix1d.h"
#include "spectral/spctm_basicx.h"
#include "spectral/spctm_chn_chn_data.h"
#include "summary/sum_cc_spctm_data.h"
#include "trial/spctm_trl_cc_data.h"

namespace megcxc::test {

// A present plane has extents of at least 1 x 1 and is one block of exactly
// rows x cols cells, every present row pointing at its place in the block.
inline std::string planeMisfit(double** p, int64_t rows, int64_t cols) {
  if (p == nullptr) return "";
  if (rows < 1 || cols < 1 || checkedBytes(rows, cols, sizeof(double)) == SIZE_MAX)
    return "plane present with extents " + std::to_string(rows) + " x " + std::to_string(cols);
  const double* data = planeData(p, rows);
  if (data == nullptr) return "plane without a data block";
  volatile double sink = 0.0;
  for (int64_t r = 0; r < rows; ++r) {
    if (p[r] != nullptr && p[r] != data + r * cols) return "row " + std::to_string(r) + " outside its place";
    for (int64_t c = 0; c < cols; ++c) sink = sink + data[r * cols + c];
  }
  return "";
}

inline std::string misfit(const CSpctmChnChnData& pair) {
  for (int d = 0; d < 3; ++d) {
    if (std::string m = planeMisfit(pair.plane[d], pair.timePt, pair.freqPt); !m.empty())
      return "pair plane " + std::to_string(d) + ": " + m;
    if (std::string m = planeMisfit(pair.rawPlane[d], pair.rawTimePt, pair.rawFreqPt); !m.empty())
      return "pair raw plane " + std::to_string(d) + ": " + m;
  }
  return "";
}

inline std::string misfit(const CSumCCSpctmData& s) {
  for (double** a : {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms}) {
    if (a == nullptr) continue;
    if (!s.arraysFitCounts()) return "summary arrays of other extents than the counts";
    if (std::string m = planeMisfit(a, s.timePtCount, s.freqPtCount); !m.empty()) return "summary: " + m;
  }
  return "";
}

// A vector holds no more elements than its buffer, which it can read whole.
inline std::string misfit(const CMMatrix1D& v) {
  if (v.pData == nullptr) return v.size() == 0 ? "" : "vector elements without a buffer";
  if (v.capacity < 1 || v.size() > v.capacity) return "vector with more elements than capacity";
  volatile double sink = v.pData[0] + v.pData[v.capacity - 1];
  (void)sink;
  for (int64_t i = 0; i < v.size(); ++i)
    if (v.wrongIdx(v.lowBound + i)) return "vector bounds disagree with its size";
  return "";
}

// The matrix is absent, or a table of rowSnsCount slots whose present rows
// hold colSnsCount pairs that fit; summaries and profiles fit as well.
inline std::string misfit(const CSpctmTrlCCData& t) {
  for (const auto& s : t.summaryByDataType)
    if (std::string m = misfit(s); !m.empty()) return m;
  for (const CMMatrix1D* v : {&t.freqProfile, &t.timeProfile})
    if (std::string m = misfit(*v); !m.empty()) return m;
  if (t.pairMatrix == nullptr) return "";
  if (t.rowSnsCount < 1 || t.colSnsCount < 0) return "pair matrix with counts " + std::to_string(t.rowSnsCount);
  for (int64_t r = 0; r < t.rowSnsCount; ++r) {
    for (int64_t c = 0; t.pairMatrix[r] != nullptr && c < t.colSnsCount; ++c)
      if (std::string m = misfit(t.pairMatrix[r][c]); !m.empty())
        return "pair (" + std::to_string(r) + ", " + std::to_string(c) + ") " + m;
  }
  return "";
}

}  // namespace megcxc::test
