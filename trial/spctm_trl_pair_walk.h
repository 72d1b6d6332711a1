// The walk over every channel pair of a dataset's matrix, written once.
//
// A dataset's pairMatrix holds rowSnsCount row entries, each null (a row that
// could not be built or read) or an array of colSnsCount pairs. Most passes
// over all pairs visit the present rows in order and skip the absent ones;
// they use forEachPair instead of repeating the two loops and the null check.
#pragma once

#include <cstdint>
#include <type_traits>

#include "spectral/spctm_chn_chn_datazq.h"

namespace megcxc {

// Calls fn(row, column, pair) for every pair of `dataset` (any class of the
// dataset chain, const or not) in row-major order, skipping absent rows; a
// dataset without a matrix has no pairs. `pair` is const when the dataset is.
// Returns the number of pairs that the absent rows would have held
// (saturated at INT64_MAX).
template <class Dataset, class Fn>
int64_t forEachPair(Dataset& dataset, Fn&& fn) {
  using Pair = std::conditional_t<std::is_const_v<Dataset>, const CSpctmChnChnDatazq, CSpctmChnChnDatazq>;
  if (dataset.pairMatrix == nullptr || dataset.colSnsCount < 1) return 0;
  int64_t skipped = 0;
  for (int64_t r = 0; r < dataset.rowSnsCount; ++r) {
    Pair* row = dataset.pairMatrix[r];
    if (row == nullptr) {
      // Saturates: the counts of a damaged file can be absurd.
      skipped = skipped > INT64_MAX - dataset.colSnsCount ? INT64_MAX : skipped + dataset.colSnsCount;
      continue;
    }
    for (int64_t c = 0; c < dataset.colSnsCount; ++c) fn(r, c, row[c]);
  }
  return skipped;
}

}  // namespace megcxc
