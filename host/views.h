// What the pictures of a dataset show, computed once for every front end: the
// sensor x sensor matrix of one plane at the selection box, the time x
// frequency image of one pair, the statistics report as series, the axes in
// physical units and the colour scale that suits the values. A front end only
// maps these numbers to pixels.
//
// Cells that cannot be read (an absent row of pairs, an absent plane, a box
// outside a pair's grid) are NaN, so a picture can show them as "no data"
// instead of as a value.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/collection_file.h"

namespace megcxc::host {

// An inclusive time x frequency box of grid indices.
struct GridBox {
  int64_t timeBegin = 0;
  int64_t timeEnd = 0;
  int64_t freqBegin = 0;
  int64_t freqEnd = 0;
  bool operator==(const GridBox&) const = default;
};

// The dataset's selection box, each axis ordered (begin <= end) and clamped
// into its grid; all zero for an empty grid.
GridBox selectionBox(const Dataset& dataset);
// Stores `box` as the dataset's selection, ordered and clamped the same way.
void setSelectionBox(Dataset& dataset, const GridBox& box);

// How one value per pair is taken from the box.
enum class BoxReduction {
  corner,  // the cell at (timeBegin, freqBegin), as the pair list shows it
  mean     // the mean over the box's cells (NaN cells left out)
};

// A rows x cols matrix of doubles, row-major, with the range of its finite
// values (found false when it has none).
struct ValueGrid {
  int64_t rows = 0;
  int64_t cols = 0;
  std::vector<double> values;
  bool found = false;
  double min = 0.0;
  double max = 0.0;
  double at(int64_t r, int64_t c) const { return values[static_cast<std::size_t>(r * cols + c)]; }
};

// One value of plane `dataType` per pair (rowSnsCount x colSnsCount), taken
// from `box` as `reduction` says; `skipDiagonal` makes the pairs of a sensor
// with itself NaN (their values, 1 for a coherence, would set the colour
// scale). Empty (0 x 0) without a matrix.
ValueGrid valuesAtSelection(const Dataset& dataset, int dataType, const GridBox& box,
                            BoxReduction reduction, bool skipDiagonal = false);

// The timePt x freqPt cells of plane `dataType` of pair (row, col); rows are
// time points, columns frequency points. Empty for a pair outside the
// matrix, in an absent row, or without the plane.
ValueGrid pairImage(const Dataset& dataset, int dataType, int64_t row, int64_t col);

// The statistics report of one plane as series over its frequency points
// (timeReport false) or time points: per line the mean, minimum and maximum
// over every cell of every pair at that point. Taken from the dataset's own
// report (getStatisticsFx / getStatisticsTx): the mean at full precision
// from its profile, the extremes as the report prints them (six decimals).
// Empty when the report is.
struct StatisticsSeries {
  std::vector<double> mean;
  std::vector<double> min;
  std::vector<double> max;
};
StatisticsSeries statisticsSeries(Dataset& dataset, int dataType, bool timeReport);

// Labels of the sensors and the time axis that a file cannot hold (channel
// names, sampling rate), supplied by the host when it knows them.
struct AxisLabelSource {
  // Name of matrix row (or column) `index`; empty or unset: the 0-based index.
  std::function<std::string(int64_t index)> sensorName;
  // Samples per second; 0: time stays in samples.
  double samplesPerSecond = 0.0;
};

struct Metadata;
// The labels of a class dataset: its channel names from `metadata` and the
// sampling rate the dataset records.
AxisLabelSource axisLabelsFor(const Dataset& dataset, const Metadata& metadata, int spctmClass);

// "12" or "12 MEG0143": the 0-based index, then the name where one is known.
std::string sensorLabel(const AxisLabelSource& labels, int64_t index);

// Frequency of every point in Hz (the dataset's own axis, linear or
// geometric).
std::vector<double> frequencyAxisHz(const Dataset& dataset);
// Time of every point: in seconds when `labels` knows the sampling rate (the
// dataset's own time origin when it records that rate), in samples otherwise
// (first sample timeDataBegin + timePtOffset, then every timeStep samples).
std::vector<double> timeAxis(const Dataset& dataset, const AxisLabelSource& labels);
// Time of point k alone, as timeAxis measures it.
double timeAt(const Dataset& dataset, int64_t k, const AxisLabelSource& labels);
// "s" or "samples", as timeAxis measures.
const char* timeUnit(const AxisLabelSource& labels);

// The colour scale that suits a range of values: sequential from min to max
// for values of one sign, diverging and centred on 0 (from -m to +m, m the
// largest magnitude) once both signs occur.
struct ColourScale {
  bool diverging = false;
  double low = 0.0;
  double high = 1.0;
  // Position of v on the scale in [0, 1] (clamped); NaN stays NaN.
  double position(double v) const;
};
ColourScale colourScaleFor(double min, double max);

// What the power/phase plane of a dataset holds, as far as the host knows it
// (the file format does not record it).
enum class ThirdPlane { unknown, magnitude, phase };
// "magnitude", "phase (rad)" or "magnitude or phase (not recorded)".
const char* thirdPlaneWords(ThirdPlane kind);

}  // namespace megcxc::host
