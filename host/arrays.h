// A dataset's planes, summaries and report figures as plain arrays, the form
// a binding hands to NumPy: every pair's plane gathered into one
// (row, column, time, frequency) buffer in C order.
//
// The pairs keep their planes in blocks of their own, so a whole-dataset
// array is always a copy; it stays valid whatever later happens to the
// dataset. Filling a dataset from arrays in memory is importArrays
// (host/exchange.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/collection_file.h"
#include "host/demo_data.h"
#include "trial/spctm_trl_cc_data08_show.h"

namespace megcxc::host {

// The working planes or the raw backup.
enum class PlaneSet { working, raw };

// Extents of a gathered plane: rows x cols pairs of timePt x freqPt cells.
struct PlaneGrid {
  int64_t rows = 0, cols = 0, timePt = 0, freqPt = 0;
  int64_t cells() const { return rows * cols * timePt * freqPt; }
};

// The grid of plane `dataType` of the working or raw planes. Refused, naming
// the dataset as `name`, when the dataset has no pairs, a row of pairs is
// absent, some pair lacks the plane, or the pairs' extents of that plane set
// differ.
PlaneGrid planeGrid(const Dataset& dataset, int dataType, PlaneSet set, const std::string& name);

// Copies plane `dataType` of every pair into `out` (planeGrid(...).cells()
// doubles, row-major over row, column, time, frequency). With `imagType` >= 0
// the two planes are interleaved per cell (real, imaginary: the layout of
// complex128) and `out` holds twice as many doubles; both planes must pass
// planeGrid with the same grid. `rows` is told of every sensor row done.
// Refused as planeGrid.
void gatherPlanes(const Dataset& dataset, PlaneSet set, int dataType, int imagType, double* out,
                  const std::string& name, const RowProgress& rows = {});

// The summary of `dataType` as 6 x timePt x freqPt doubles in the order
// minimum, mean, maximum, positive mean, non-positive mean, RMS (the arrays of
// `cxc export`); false with `out` untouched when that summary has not been
// computed or its arrays are incomplete.
bool gatherSummary(const Dataset& dataset, int dataType, std::vector<double>& out, int64_t& timePt, int64_t& freqPt);

// The figures of the frequency (timeReport false) or time statistics report
// of plane `dataType`, unrounded. Refused, naming the dataset as `name`, for
// a plane no pair holds, pairs off the dataset's grid, or a dataset without
// pairs.
StatisticsLines statisticsTable(Dataset& dataset, bool timeReport, int dataType, const std::string& name);

// The sample position of every time point (first sample, then one time step
// apart), its time in seconds (NaN without a sampling rate, see
// host/metadata.h) and the frequency of every point in Hz, as the dataset's
// axes say.
std::vector<double> timeSamples(Dataset& dataset);
std::vector<double> timesInSeconds(Dataset& dataset);
std::vector<double> frequenciesHz(Dataset& dataset);

}  // namespace megcxc::host
