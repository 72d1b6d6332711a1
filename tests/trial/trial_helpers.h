// Helpers shared by the trial dataset tests: a zeroed dataset, its selection
// box and archive round trips.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <tuple>
#include <vector>

#include "support/archive_bytes.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::test {

using Box = std::array<int64_t, 4>;  // time begin, time end, freq begin, freq end
inline Box box(const CSpctmTrlCCDatazq& d) { return {d.selTimeBegin, d.selTimeEnd, d.selFreqBegin, d.selFreqEnd}; }
inline void setBox(CSpctmTrlCCDatazq& d, Box b) {
  std::tie(d.selTimeBegin, d.selTimeEnd, d.selFreqBegin, d.selFreqEnd) = std::tuple_cat(b);
}

// rows x cols zeroed pairs of t x f cells, and the dataset's extents t x f.
inline void build(CSpctmTrlCCDatazq& d, int64_t rows, int64_t cols, int64_t t, int64_t f, int imag = 0, int pp = 0) {
  ASSERT_EQ(d.checkInitSpctmCCData(rows, cols, t, f, true, imag, pp, nullptr, nullptr), 1);
  d.setSpctmTimePtFreqPt(t, f, 1);
}

inline std::vector<uint8_t> store(CSpctmTrlCCDatazq& d) {
  return storedBytes([&](CArchive& ar) { return d.serializeTrlSpctmZq(ar); });
}
inline int load(CSpctmTrlCCDatazq& d, const std::vector<uint8_t>& bytes) {
  return loadedFrom(bytes, [&](CArchive& ar) { return d.serializeTrlSpctmZq(ar); });
}

}  // namespace megcxc::test
