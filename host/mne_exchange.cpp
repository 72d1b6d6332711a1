#include "host/mne_exchange.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <vector>

#include "host/describe.h"
#include "host/exchange.h"
#include "host/names.h"
#include "interop/mne_connectivity.h"
#include "platform/refused.h"
#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::host {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

interop::MneConnectivity mneConnectivityOf(Collection& c, int cls, const Metadata& meta, const std::string& what) {
  if (cls < 0 || cls >= kClassCount || !c.trialByClass[cls]) {
    refuse(what + ": the collection holds no " + std::string(classKey(cls)) + " dataset");
  }
  Dataset& d = *c.trialByClass[cls];
  const PlaneCensus census = countPlanes(d);
  const int64_t n = d.rowSnsCount, T = d.timePt, F = d.freqPt;
  if (n < 1 || n != d.colSnsCount || census.pairs != n * n || census.extentMismatch || T < 1 || F < 1) {
    refuse(what + ": the " + std::string(classKey(cls)) +
           " dataset is not a complete square sensor matrix on one grid, which the file needs");
  }
  const bool complex = census.working[0] == census.pairs && census.working[1] == census.pairs;
  const int plane = complex || census.working[0] == census.pairs ? 0 : (census.working[2] == census.pairs ? 2 : -1);
  if (plane < 0) refuse(what + ": the " + std::string(classKey(cls)) + " dataset has no plane in every pair");

  interop::MneConnectivity out;
  out.complex = complex;
  out.nNodes = n;
  out.indices = interop::MneIndices::all;
  out.shape = {n * n, F, T};
  const int per = complex ? 2 : 1;
  out.data.assign(static_cast<std::size_t>(n * n * F * T * per), 0.0);
  forEachPair(d, [&](int64_t r, int64_t col, const CSpctmChnChnDatazq& p) {
    const double* a = planeData(p.plane[plane], T);
    const double* b = complex ? planeData(p.plane[1], T) : nullptr;
    double* to = out.data.data() + static_cast<std::size_t>((r * n + col) * F * T * per);
    // The file orders each connection's cells frequency first.
    for (int64_t t = 0; t < T; ++t) {
      for (int64_t f = 0; f < F; ++f) {
        double* cell = to + (f * T + t) * per;
        cell[0] = a[t * F + f];
        if (complex) cell[1] = b[t * F + f];
      }
    }
  });
  for (int64_t f = 0; f < F; ++f) out.freqs.push_back(d.getSpctmFreq4FreqIndex(f));
  const double sfreq = samplingRate(d);
  for (int64_t t = 0; t < T; ++t) out.times.push_back(sfreq > 0.0 ? timeSeconds(d, t) : samplePosition(d, t));
  if (sfreq > 0.0) out.sfreq = sfreq;
  const DatasetMetadata& m = meta.byClass[cls];
  if (static_cast<int64_t>(m.rows.size()) == n) {
    for (const ChannelInfo& ch : m.rows) out.nodeNames.push_back(ch.name);
  }
  out.method = {d.cxcType.toUtf8().empty() ? std::string("csd") : d.cxcType.toUtf8()};
  return out;
}

MneImportSummary setFromMneConnectivity(Collection& c, int cls, const interop::MneConnectivity& in, Metadata& meta,
                                        const std::string& what) {
  if (cls < 0 || cls >= kClassCount) refuse("unknown class " + std::to_string(cls));
  const int64_t n = in.nNodes;
  const int64_t F = static_cast<int64_t>(in.freqs.size());
  const int64_t T = static_cast<int64_t>(in.times.size());
  if (n < 1 || F < 1 || T < 1) refuse(what + ": no nodes, frequencies or times");
  // A file has passed these checks while it was read; arrays from elsewhere
  // have not.
  interop::checkMneConnectivity(in, what);
  for (std::size_t k = 1; k < in.freqs.size(); ++k) {
    if (!(in.freqs[k] > in.freqs[k - 1])) refuse(what + ": the frequencies are not increasing");
  }
  const int per = in.complex ? 2 : 1;
  std::vector<double> dense = interop::mneDenseData(in);  // (n, n, F, T)
  MneImportSummary s;
  s.nodes = n, s.freqPt = F, s.timePt = T, s.complex = in.complex;
  s.method = in.method.empty() ? std::string() : in.method.front();
  auto at = [&](int64_t r, int64_t col, int64_t f, int64_t t) {
    return dense.data() + static_cast<std::size_t>((((r * n + col) * F + f) * T + t) * per);
  };
  // spectral_connectivity_epochs without indices fills row > column only.
  bool upperEmpty = in.indices == interop::MneIndices::unset;
  for (int64_t r = 0; r < n && upperEmpty; ++r) {
    for (int64_t col = r + 1; col < n && upperEmpty; ++col) {
      for (int64_t k = 0; k < F * T * per && upperEmpty; ++k) {
        const double v = at(r, col, 0, 0)[k];
        upperEmpty = v == 0.0 || std::isnan(v);
      }
    }
  }
  if (upperEmpty && n > 1) {
    const bool negate = lower(s.method) == "imcoh";
    for (int64_t r = 1; r < n; ++r) {
      for (int64_t col = 0; col < r; ++col) {
        for (int64_t k = 0; k < F * T; ++k) {
          const double* from = at(r, col, 0, 0) + k * per;
          double* to = at(col, r, 0, 0) + k * per;
          to[0] = negate ? -from[0] : from[0];
          if (per == 2) to[1] = -from[1];
        }
      }
    }
    s.completedUpperTriangle = true;
  }
  for (double& v : dense) {
    if (std::isnan(v)) {
      v = 0.0;
      ++s.cellsWithoutValue;
    }
  }
  s.cellsWithoutValue /= per;

  // Time: the file's sfreq, or one sample per time point.
  double sfreq = in.sfreq.value_or(0.0);
  if (!(sfreq > 1.0)) {
    const double dt = T > 1 ? in.times[1] - in.times[0] : 0.0;
    sfreq = dt > 0.0 ? 1.0 / dt : 0.0;
  }
  int64_t first = 0, step = 1;
  if (sfreq > 1.0) {
    first = std::llround(in.times[0] * sfreq);
    step = T > 1 ? std::max<int64_t>(1, std::llround((in.times[1] - in.times[0]) * sfreq)) : 1;
  }
  s.sfreq = sfreq > 1.0 ? sfreq : 0.0;
  Dataset axis;
  setFrequencyAxisFromHz(axis, in.freqs, what);

  c.deleteSpctmTrlData(cls);
  Dataset* d = c.checkInitSpctmCxCData4Class(cls, n, n, T, F, true, in.complex ? 1 : 0, 0, nullptr, nullptr);
  if (!d) refuse("not enough memory for " + std::to_string(n) + " x " + std::to_string(n) + " pairs");
  std::vector<double> re(static_cast<std::size_t>(T * F)), im(static_cast<std::size_t>(T * F));
  std::vector<const double*> reRows(static_cast<std::size_t>(T)), imRows(static_cast<std::size_t>(T));
  for (int64_t t = 0; t < T; ++t) {
    reRows[static_cast<std::size_t>(t)] = &re[static_cast<std::size_t>(t * F)];
    imRows[static_cast<std::size_t>(t)] = &im[static_cast<std::size_t>(t * F)];
  }
  for (int64_t r = 0; r < n; ++r) {
    for (int64_t col = 0; col < n; ++col) {
      for (int64_t f = 0; f < F; ++f) {
        for (int64_t t = 0; t < T; ++t) {
          const double* cell = at(r, col, f, t);
          re[static_cast<std::size_t>(t * F + f)] = cell[0];
          if (per == 2) im[static_cast<std::size_t>(t * F + f)] = cell[1];
        }
      }
      CSpctmChnChnDatazq* pair = d->getSnsActCC(r, col);
      const int ok = per == 2 ? pair->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), T, F)
                              : pair->addSpctmData2ChannelCWTr(reRows.data(), T, F);
      if (!ok) refuse("not enough memory for pair (" + std::to_string(r) + ", " + std::to_string(col) + ")");
      pair->chnA = r;
      pair->chnB = col;
    }
  }
  d->setSpctmTimePtFreqPt(T, F, step);
  d->setTrialTimeDataRange4Spctm(first, first + T * step);
  d->timePtOffset = 0;
  d->freqAxisLog = axis.freqAxisLog;
  d->freqFirstHz = axis.freqFirstHz;
  d->freqLastHz = axis.freqLastHz;
  d->freqStepHz = axis.freqStepHz;
  d->freqRatio = axis.freqRatio;
  d->cmptType = 0;
  d->cxcType = s.method.empty() ? CString("Cross-spectrum") : CString(s.method);
  if (s.sfreq > 0.0) {
    setSamplingRate(*d, s.sfreq, in.times[0]);
  } else {
    clearSamplingRate(*d);
  }
  d->checkDataIntegraty();
  DatasetMetadata& m = meta.byClass[cls];
  m = DatasetMetadata();
  for (const std::string& name : in.nodeNames) m.rows.push_back({name, "", ""});
  m.cols = m.rows;
  return s;
}

void exportMneConnectivity(Collection& c, int cls, const Metadata& meta, const std::string& path) {
  interop::writeMneConnectivity(path, mneConnectivityOf(c, cls, meta, path));
}

MneImportSummary importMneConnectivity(Collection& c, int cls, const std::string& path, Metadata& meta) {
  if (cls < 0 || cls >= kClassCount) refuse("unknown class " + std::to_string(cls));
  return setFromMneConnectivity(c, cls, interop::readMneConnectivity(path), meta, path);
}

}  // namespace megcxc::host
