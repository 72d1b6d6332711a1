#include "host/views.h"

#include "host/metadata.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int64_t clampInto(int64_t v, int64_t n) {
  if (v > n - 1) v = n - 1;
  if (v < 0) v = 0;
  return v;
}

void orderInto(int64_t& begin, int64_t& end, int64_t n) {
  begin = clampInto(begin, n);
  end = clampInto(end, n);
  if (end < begin) std::swap(begin, end);
}

void findRange(ValueGrid& grid) {
  grid.found = false;
  for (const double v : grid.values) {
    if (!std::isfinite(v)) continue;
    if (!grid.found) {
      grid.min = grid.max = v;
      grid.found = true;
    } else {
      grid.min = v < grid.min ? v : grid.min;
      grid.max = v > grid.max ? v : grid.max;
    }
  }
}

// The value of one pair's plane at the box, or NaN.
double reduceBox(const CSpctmChnChnDatazq& pair, int dataType, const GridBox& box, BoxReduction reduction) {
  double** plane = pair.plane[dataType];
  if (plane == nullptr || pair.timePt < 1 || pair.freqPt < 1) return kNaN;
  const double* cells = megcxc::planeData(plane, pair.timePt);
  if (cells == nullptr) return kNaN;
  if (reduction == BoxReduction::corner) {
    if (box.timeBegin >= pair.timePt || box.freqBegin >= pair.freqPt || box.timeBegin < 0 || box.freqBegin < 0)
      return kNaN;
    return cells[box.timeBegin * pair.freqPt + box.freqBegin];
  }
  const int64_t t1 = box.timeEnd < pair.timePt - 1 ? box.timeEnd : pair.timePt - 1;
  const int64_t f1 = box.freqEnd < pair.freqPt - 1 ? box.freqEnd : pair.freqPt - 1;
  double sum = 0.0;
  int64_t n = 0;
  for (int64_t t = box.timeBegin < 0 ? 0 : box.timeBegin; t <= t1; ++t) {
    const double* row = cells + t * pair.freqPt;
    for (int64_t f = box.freqBegin < 0 ? 0 : box.freqBegin; f <= f1; ++f) {
      if (std::isnan(row[f])) continue;
      sum += row[f];
      ++n;
    }
  }
  return n > 0 ? sum / static_cast<double>(n) : kNaN;
}

// The minimum and maximum of every line of a compact report ("<name>: <label>
// <min> <mean> <max> <abs> <rms> \n"), read from the end of each line so that
// a name holding ": " or digits does not matter. The closing "All Time-Freq"
// line is left out.
bool readReportExtremes(const std::string& text, std::size_t lines, StatisticsSeries& series) {
  std::istringstream in(text);
  std::string line;
  while (series.min.size() < lines && std::getline(in, line)) {
    std::vector<double> numbers;
    std::size_t end = line.size();
    while (numbers.size() < 5) {
      while (end > 0 && line[end - 1] == ' ') --end;
      std::size_t begin = end;
      while (begin > 0 && line[begin - 1] != ' ') --begin;
      if (begin == end) return false;
      char* stop = nullptr;
      const std::string word = line.substr(begin, end - begin);
      const double v = std::strtod(word.c_str(), &stop);
      if (stop == word.c_str()) return false;
      numbers.push_back(v);
      end = begin;
    }
    // numbers holds rms, abs, max, mean, min.
    series.max.push_back(numbers[2]);
    series.min.push_back(numbers[4]);
  }
  return series.min.size() == lines;
}

}  // namespace

GridBox selectionBox(const Dataset& d) {
  GridBox box{d.selTimeBegin, d.selTimeEnd, d.selFreqBegin, d.selFreqEnd};
  orderInto(box.timeBegin, box.timeEnd, d.timePt);
  orderInto(box.freqBegin, box.freqEnd, d.freqPt);
  return box;
}

void setSelectionBox(Dataset& d, const GridBox& box) {
  GridBox b = box;
  orderInto(b.timeBegin, b.timeEnd, d.timePt);
  orderInto(b.freqBegin, b.freqEnd, d.freqPt);
  d.selTimeBegin = b.timeBegin;
  d.selTimeEnd = b.timeEnd;
  d.selFreqBegin = b.freqBegin;
  d.selFreqEnd = b.freqEnd;
}

ValueGrid valuesAtSelection(const Dataset& d, int dataType, const GridBox& box, BoxReduction reduction,
                            bool skipDiagonal) {
  ValueGrid grid;
  if (d.pairMatrix == nullptr || d.rowSnsCount < 1 || d.colSnsCount < 1) return grid;
  grid.rows = d.rowSnsCount;
  grid.cols = d.colSnsCount;
  grid.values.assign(static_cast<std::size_t>(grid.rows * grid.cols), kNaN);
  if (dataType >= 0 && dataType <= 2) {
    forEachPair(d, [&](int64_t r, int64_t c, const CSpctmChnChnDatazq& p) {
      if (skipDiagonal && r == c) return;
      grid.values[static_cast<std::size_t>(r * grid.cols + c)] = reduceBox(p, dataType, box, reduction);
    });
  }
  findRange(grid);
  return grid;
}

ValueGrid pairImage(const Dataset& d, int dataType, int64_t row, int64_t col) {
  ValueGrid grid;
  if (d.pairMatrix == nullptr || dataType < 0 || dataType > 2) return grid;
  if (row < 0 || row >= d.rowSnsCount || col < 0 || col >= d.colSnsCount || d.pairMatrix[row] == nullptr) return grid;
  const CSpctmChnChnDatazq& p = d.pairMatrix[row][col];
  if (p.plane[dataType] == nullptr || p.timePt < 1 || p.freqPt < 1) return grid;
  const double* cells = megcxc::planeData(p.plane[dataType], p.timePt);
  if (cells == nullptr) return grid;
  grid.rows = p.timePt;
  grid.cols = p.freqPt;
  grid.values.assign(cells, cells + p.timePt * p.freqPt);
  findRange(grid);
  return grid;
}

StatisticsSeries statisticsSeries(Dataset& d, int dataType, bool timeReport) {
  StatisticsSeries series;
  const CString text = timeReport ? d.getStatisticsTx(dataType) : d.getStatisticsFx(dataType);
  if (text.IsEmpty()) return series;
  const CMMatrix1Dzq& profile = timeReport ? d.timeProfile : d.freqProfile;
  const int64_t lines = profile.size();
  if (lines < 1 || !readReportExtremes(text.toUtf8(), static_cast<std::size_t>(lines), series)) return {};
  series.mean.assign(profile.getData(), profile.getData() + lines);
  return series;
}

std::string sensorLabel(const AxisLabelSource& labels, int64_t index) {
  std::string s = std::to_string(index);
  if (labels.sensorName) {
    const std::string name = labels.sensorName(index);
    if (!name.empty()) s += " " + name;
  }
  return s;
}

std::vector<double> frequencyAxisHz(const Dataset& d) {
  std::vector<double> hz;
  // getSpctmFreq4FreqIndex is not const; the axis only reads the fields.
  Dataset& axis = const_cast<Dataset&>(d);
  for (int64_t k = 0; k < d.freqPt; ++k) hz.push_back(axis.getSpctmFreq4FreqIndex(k));
  return hz;
}

double timeAt(const Dataset& d, int64_t k, const AxisLabelSource& labels) {
  // In doubles: stored offsets come from files and need not fit a sum in
  // 64 bits.
  const double sample = static_cast<double>(d.timeDataBegin) + static_cast<double>(d.timePtOffset) +
                        static_cast<double>(k) * static_cast<double>(d.timeStep);
  if (labels.samplesPerSecond > 0.0 && samplingRate(d) == labels.samplesPerSecond) return timeSeconds(d, k);
  return labels.samplesPerSecond > 0.0 ? sample / labels.samplesPerSecond : sample;
}

AxisLabelSource axisLabelsFor(const Dataset& d, const Metadata& metadata, int spctmClass) {
  AxisLabelSource labels;
  labels.samplesPerSecond = samplingRate(d);
  if (spctmClass >= 0 && spctmClass < kClassCount && !metadata.byClass[spctmClass].rows.empty()) {
    const std::vector<ChannelInfo> names = metadata.byClass[spctmClass].rows;
    labels.sensorName = [names](int64_t index) {
      return index >= 0 && index < static_cast<int64_t>(names.size()) ? names[static_cast<std::size_t>(index)].name
                                                                      : std::string();
    };
  }
  return labels;
}

std::vector<double> timeAxis(const Dataset& d, const AxisLabelSource& labels) {
  std::vector<double> t;
  for (int64_t k = 0; k < d.timePt; ++k) t.push_back(timeAt(d, k, labels));
  return t;
}

const char* timeUnit(const AxisLabelSource& labels) { return labels.samplesPerSecond > 0.0 ? "s" : "samples"; }

double ColourScale::position(double v) const {
  if (std::isnan(v)) return v;
  if (!(high > low)) return 0.5;
  const double p = (v - low) / (high - low);
  return p < 0.0 ? 0.0 : (p > 1.0 ? 1.0 : p);
}

ColourScale colourScaleFor(double min, double max) {
  ColourScale s;
  if (min < 0.0 && max > 0.0) {
    const double m = -min > max ? -min : max;
    s.diverging = true;
    s.low = -m;
    s.high = m;
  } else {
    s.low = min;
    s.high = max;
  }
  return s;
}

const char* thirdPlaneWords(ThirdPlane kind) {
  switch (kind) {
    case ThirdPlane::magnitude: return "magnitude";
    case ThirdPlane::phase: return "phase (rad)";
    default: return "magnitude or phase (not recorded)";
  }
}

}  // namespace megcxc::host
