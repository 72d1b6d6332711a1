// Fixture shared by the collection tests: datasets filled from a formula, and
// the collection archive written and read in memory.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <vector>

#include "face/meg_spctm_cc_data_facezq.h"
#include "platform/carchive.h"
#include "support/archive_bytes.h"
#include "support/message_recorder.h"

namespace megcxc::test {

using Collection = CMEGSpctmCCDataFacezq;
// Value of plane d, cell [t][f] of pair (r, c).
using CellFormula = std::function<double(int64_t r, int64_t c, int d, int64_t t, int64_t f)>;

// Uniform random values in [-5, 5), fixed per seed.
inline CellFormula randomCells(unsigned seed) {
  auto engine = std::make_shared<std::mt19937>(seed);
  return [engine](int64_t, int64_t, int, int64_t, int64_t) {
    return std::uniform_real_distribution<double>(-5.0, 5.0)(*engine);
  };
}

// Gives `ds` rows x cols pairs of T x F cells with all three planes filled
// from `value`, and takes each pair's raw backup.
inline void fillDataset(CSpctmTrlCCDatazq& ds, int64_t rows, int64_t cols, int64_t T, int64_t F,
                        const CellFormula& value) {
  ds.checkInitSpctmCCData(rows, cols, T, F, true, 1, 1, nullptr, nullptr);
  for (int64_t r = 0; r < rows; ++r)
    for (int64_t c = 0; c < cols; ++c) {
      for (int d = 0; d < 3; ++d)
        for (int64_t k = 0; k < T * F; ++k) ds.pairMatrix[r][c].plane[d][k / F][k % F] = value(r, c, d, k / F, k % F);
      ds.pairMatrix[r][c].storeData2Backupfile();
    }
  ds.timePt = T, ds.freqPt = F;
}

inline std::vector<uint8_t> store(CMEGSpctmCCDataFace09File& f) {
  return storedBytes([&](CArchive& ar) { return f.serializeSpctmFace(ar); });
}
inline int load(CMEGSpctmCCDataFace09File& f, const std::vector<uint8_t>& bytes) {
  return loadedFrom(bytes, [&](CArchive& ar) { return f.serializeSpctmFace(ar); });
}

class FaceTest : public ::testing::Test {
 protected:
  // The class's dataset (created when absent), filled by fillDataset.
  CSpctmTrlCCDatazq& make(int cls, int64_t rows, int64_t cols, int64_t T, int64_t F, const CellFormula& value) {
    CSpctmTrlCCDatazq& ds = *face.getCCSpctmTrlData4Class(true, cls);
    fillDataset(ds, rows, cols, T, F, value);
    return ds;
  }
  MessageRecorder messages{IDYES};
  Collection face;
};

}  // namespace megcxc::test
