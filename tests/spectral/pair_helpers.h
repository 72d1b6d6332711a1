// Helpers of the channel-pair tests: build a pair from nested rows, read a
// plane back through its row pointers, write and read the pair's archive.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "spectral/spctm_chn_chn_datazq.h"
#include "support/archive_bytes.h"
#include "support/sweep.h"

namespace megcxc::test {

using Grid = std::vector<std::vector<double>>;

// Hands the real (and, when given, imaginary) rows to `pair` like the host.
inline int fill(CSpctmChnChnData& pair, const Grid& re, const Grid& im = {}) {
  std::vector<const double*> r, i;
  for (const auto& row : re) r.push_back(row.data());
  for (const auto& row : im) i.push_back(row.data());
  const auto rows = static_cast<int64_t>(re.size()), cols = static_cast<int64_t>(re[0].size());
  return im.empty() ? pair.addSpctmData2ChannelCWTr(r.data(), rows, cols)
                    : pair.addSpctmData2ChannelCWTri(r.data(), i.data(), rows, cols);
}

inline Grid grid(double* const* p, int64_t rows, int64_t cols) {
  Grid g;
  for (int64_t t = 0; p && t < rows; ++t) g.emplace_back(p[t], p[t] + cols);
  return g;
}

inline std::vector<uint8_t> store(CSpctmChnChnDatazq& p) {
  return storedBytes([&](CArchive& ar) { return p.serializeSpctmCzq(ar); });
}
inline int load(CSpctmChnChnDatazq& p, const std::vector<uint8_t>& bytes) {
  return loadedFrom(bytes, [&](CArchive& ar) { return p.serializeSpctmCzq(ar); });
}

class PairTest : public ::testing::Test {
 protected:
  // Working plane d (the real one by default) over the pair's extents.
  Grid cells(int d = 0) const { return grid(pair.plane[d], pair.timePt, pair.freqPt); }
  // Plane d after an operation that must succeed (return 1).
  Grid after(int result, int d = 0) const {
    EXPECT_EQ(result, 1);
    return cells(d);
  }
  CSpctmChnChnDatazq pair;
  MessageRecorder messages;
};

}  // namespace megcxc::test
