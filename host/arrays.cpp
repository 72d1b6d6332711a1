#include "host/arrays.h"

#include <algorithm>

#include "host/describe.h"
#include "host/metadata.h"
#include "host/names.h"
#include "platform/parallel.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

double** planeOf(const CSpctmChnChnDatazq& p, int dataType, PlaneSet set) {
  return set == PlaneSet::raw ? p.rawPlane[dataType] : p.plane[dataType];
}

int64_t timeOf(const CSpctmChnChnDatazq& p, PlaneSet set) { return set == PlaneSet::raw ? p.rawTimePt : p.timePt; }
int64_t freqOf(const CSpctmChnChnDatazq& p, PlaneSet set) { return set == PlaneSet::raw ? p.rawFreqPt : p.freqPt; }

}  // namespace

PlaneGrid planeGrid(const Dataset& d, int dataType, PlaneSet set, const std::string& name) {
  const std::string what = std::string(set == PlaneSet::raw ? "raw " : "") + dataTypeKey(dataType) + " plane";
  if (dataType < 0 || dataType > 2) refuse("unknown data type " + std::to_string(dataType));
  if (!d.pairMatrix || d.rowSnsCount < 1 || d.colSnsCount < 1) refuse("the " + name + " dataset has no channel pairs");
  PlaneGrid g;
  g.rows = d.rowSnsCount;
  g.cols = d.colSnsCount;
  bool first = true;
  int64_t lacking = 0, differing = 0;
  const int64_t absent = forEachPair(d, [&](int64_t, int64_t, const CSpctmChnChnDatazq& p) {
    if (!planeOf(p, dataType, set) || timeOf(p, set) < 1 || freqOf(p, set) < 1) {
      ++lacking;
      return;
    }
    if (first) {
      g.timePt = timeOf(p, set);
      g.freqPt = freqOf(p, set);
      first = false;
    } else if (timeOf(p, set) != g.timePt || freqOf(p, set) != g.freqPt) {
      ++differing;
    }
  });
  if (absent > 0) refuse("the " + name + " dataset has " + std::to_string(absent) + " missing pair(s)");
  if (lacking == g.rows * g.cols) {
    refuse("the " + name + " dataset has no " + what +
           (dataType == 2 && set == PlaneSet::working ? " (compute the magnitude or phase first)" : ""));
  }
  if (lacking > 0) {
    refuse("the " + what + " of the " + name + " dataset is missing in " + std::to_string(lacking) + " of " +
           std::to_string(g.rows * g.cols) + " pairs");
  }
  if (differing > 0) {
    refuse(std::to_string(differing) + " pair(s) of the " + name + " dataset differ in the extents of the " + what);
  }
  return g;
}

void gatherPlanes(const Dataset& d, PlaneSet set, int dataType, int imagType, double* out, const std::string& name,
                  const RowProgress& rows) {
  const PlaneGrid g = planeGrid(d, dataType, set, name);
  if (imagType >= 0) {
    const PlaneGrid gi = planeGrid(d, imagType, set, name);
    if (gi.timePt != g.timePt || gi.freqPt != g.freqPt) {
      refuse("the " + std::string(dataTypeKey(dataType)) + " and " + dataTypeKey(imagType) + " planes of the " + name +
             " dataset differ in extents");
    }
  }
  const int64_t cells = g.timePt * g.freqPt;
  const int64_t per = imagType >= 0 ? 2 : 1;
  auto gatherRows = [&](int64_t first, int64_t end) {
    for (int64_t r = first; r < end; ++r) {
      const CSpctmChnChnDatazq* row = d.pairMatrix[r];
      for (int64_t c = 0; c < g.cols; ++c) {
        const CSpctmChnChnDatazq& p = row[c];
        // The block, not the row pointers: an absent row still has its cells.
        const double* a = planeData(planeOf(p, dataType, set), g.timePt);
        double* to = out + (r * g.cols + c) * cells * per;
        if (imagType < 0) {
          std::copy(a, a + cells, to);
          continue;
        }
        const double* b = planeData(planeOf(p, imagType, set), g.timePt);
        for (int64_t k = 0; k < cells; ++k) {
          to[2 * k] = a[k];
          to[2 * k + 1] = b[k];
        }
      }
      if (rows) rows(r + 1, g.rows);
    }
  };
  // Rows go to disjoint parts of `out`. The copy is bound by memory and by
  // the first touch of the new array's pages, both of which spread over the
  // workers; the row reports need the rows in order, on the calling thread.
  if (rows) {
    gatherRows(0, g.rows);
  } else {
    parallelFor(g.rows, g.cols * cells * per, gatherRows);
  }
}

bool gatherSummary(const Dataset& d, int dataType, std::vector<double>& out, int64_t& timePt, int64_t& freqPt) {
  if (dataType < 0 || dataType > 2) return false;
  const CSumCCSpctmDatazq& s = d.summaryByDataType[dataType];
  double** const arrays[6] = {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms};
  if (!s.isComputed || s.timePtCount < 1 || s.freqPtCount < 1 || !s.arraysFitCounts()) return false;
  for (double** a : arrays) {
    if (!a) return false;
  }
  const int64_t T = s.timePtCount, F = s.freqPtCount;
  out.assign(static_cast<std::size_t>(6 * T * F), 0.0);
  std::size_t k = 0;
  for (double** a : arrays) {
    for (int64_t t = 0; t < T; ++t) {
      for (int64_t f = 0; f < F; ++f) out[k++] = a[t] ? a[t][f] : 0.0;
    }
  }
  timePt = T;
  freqPt = F;
  return true;
}

StatisticsLines statisticsTable(Dataset& d, bool timeReport, int dataType, const std::string& name) {
  if (dataType < 0 || dataType > 2) refuse("unknown data type " + std::to_string(dataType));
  // The figures read the dataset's grid from every pair: pairs on another
  // grid, or a plane no pair holds, would give lines of made-up zeros.
  const PlaneCensus census = countPlanes(d);
  if (census.pairs == 0) refuse("the " + name + " dataset has no channel pairs");
  if (census.extentMismatch) {
    refuse(std::to_string(census.extentMismatch) + " pair(s) of the " + name + " dataset differ from its " +
           std::to_string(d.timePt) + " x " + std::to_string(d.freqPt) + " grid");
  }
  if (census.working[dataType] == 0) refuse("the " + name + " dataset has no " + dataTypeKey(dataType) + " plane");
  StatisticsLines lines;
  if (!statisticsLines(d, dataType, timeReport, lines)) refuse("the " + name + " dataset has no data to report");
  return lines;
}

std::vector<double> timeSamples(Dataset& d) {
  std::vector<double> v(static_cast<std::size_t>(std::max<int64_t>(d.timePt, 0)));
  for (int64_t t = 0; t < d.timePt; ++t) v[static_cast<std::size_t>(t)] = samplePosition(d, t);
  return v;
}

std::vector<double> timesInSeconds(Dataset& d) {
  std::vector<double> v(static_cast<std::size_t>(std::max<int64_t>(d.timePt, 0)));
  for (int64_t t = 0; t < d.timePt; ++t) v[static_cast<std::size_t>(t)] = timeSeconds(d, t);
  return v;
}

std::vector<double> frequenciesHz(Dataset& d) {
  std::vector<double> v(static_cast<std::size_t>(std::max<int64_t>(d.freqPt, 0)));
  for (int64_t f = 0; f < d.freqPt; ++f) v[static_cast<std::size_t>(f)] = d.getSpctmFreq4FreqIndex(f);
  return v;
}

}  // namespace megcxc::host
