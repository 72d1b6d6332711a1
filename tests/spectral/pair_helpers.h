// Helpers of the channel-pair tests: build a pair from nested rows, read a
// plane back through its row pointers, write and read the pair's archive.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "spectral/spctm_chn_chn_datazq.h"
#include "support/message_recorder.h"
#include "support/sweep.h"

namespace megcxc::test {

using Grid = std::vector<std::vector<double>>;

inline std::vector<const double*> rowTable(const Grid& g) {
  std::vector<const double*> rows;
  for (const auto& r : g) rows.push_back(r.data());
  return rows;
}

// Hands the real (and, when given, imaginary) rows to `pair` like the host.
inline int fill(CSpctmChnChnData& pair, const Grid& re, const Grid& im = {}) {
  const auto r = rowTable(re), i = rowTable(im);
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
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  EXPECT_EQ(p.serializeSpctmCzq(ar), 1);
  ar.Close();
  return file.bytes();
}

inline int load(CSpctmChnChnDatazq& p, const std::vector<uint8_t>& bytes) {
  CMemFile file(bytes);
  CArchive ar(&file, CArchive::load);
  return p.serializeSpctmCzq(ar);
}

class PairTest : public ::testing::Test {
 protected:
  // Working plane d (the real one by default) over the pair's extents.
  Grid cells(int d = 0) const { return grid(pair.plane[d], pair.timePt, pair.freqPt); }
  CSpctmChnChnDatazq pair;
  MessageRecorder messages;
};

}  // namespace megcxc::test
