// Shared pieces of the benchmark programs: the dataset the benchmarks work
// on, a wall-clock stopwatch and the plain memcpy / fwrite / fread references
// each figure is compared with.
//
// Every benchmark measures its reference inside the same loop, right after
// each timed call (the reference itself untimed by Google Benchmark), so both
// see the same machine load; it reports
//   ms         mean wall time of one call of the operation,
//   ref_ms     mean wall time of one reference transfer of the same bytes,
//   x_ref      ms / ref_ms,
//   cpu_x_ref  the same ratio from the thread's CPU time (user + system) of
//              both, which leaves out the time the thread waited for a core
//              on a loaded machine.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <time.h>
#include <vector>

#include "spectral/spctm_basicx.h"
#include "trial/spctm_trl_cc_datazq.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc_bench {

// The grid of every benchmark: 5 time points x 40 frequency points.
constexpr int64_t kTime = 5;
constexpr int64_t kFreq = 40;

// Bytes of one plane kind (real, imaginary, ...) over every pair of an
// n x n dataset of t x f cells.
inline int64_t planeBytes(int64_t sensors, int64_t t = kTime, int64_t f = kFreq) {
  return sensors * sensors * t * f * static_cast<int64_t>(sizeof(double));
}

inline double nowSeconds() {
  using clock = std::chrono::steady_clock;
  return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// CPU time (user + system) of the calling thread.
inline double cpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Wall and CPU time of one measured span.
struct Span {
  double wall = 0.0;
  double cpu = 0.0;
};

// Starts at construction; elapsed() gives the span so far.
class Stopwatch {
 public:
  Stopwatch() : wall_(nowSeconds()), cpu_(cpuSeconds()) {}
  Span elapsed() const { return {nowSeconds() - wall_, cpuSeconds() - cpu_}; }

 private:
  double wall_, cpu_;
};

// Fills `d` with an n x n matrix of pairs holding t x f real and imaginary
// cells, handed in pair by pair as a host does (so every pair also has its
// raw backup). Values are never exactly zero.
inline void fillDataset(CSpctmTrlCCDatazq& d, int64_t n, int64_t t, int64_t f) {
  d.checkInitSpctmCCData(n, n, t, f, true, 1, 0, nullptr, nullptr);
  std::vector<double> re(static_cast<std::size_t>(t * f)), im(re.size());
  std::vector<const double*> reRows(static_cast<std::size_t>(t)), imRows(reRows.size());
  for (int64_t i = 0; i < t; ++i) {
    reRows[static_cast<std::size_t>(i)] = re.data() + i * f;
    imRows[static_cast<std::size_t>(i)] = im.data() + i * f;
  }
  for (int64_t r = 0; r < n; ++r) {
    for (int64_t c = 0; c < n; ++c) {
      for (int64_t k = 0; k < t * f; ++k) {
        re[static_cast<std::size_t>(k)] = (static_cast<double>((r * 7 + c * 3 + k) % 17) - 8.25) * 0.37;
        im[static_cast<std::size_t>(k)] = (static_cast<double>((r + c * 5 + k) % 13) - 6.5) * 0.21;
      }
      d.getSnsActCC(r, c)->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), t, f);
    }
  }
  d.hasRealPlane = 1;
  d.hasImagPlane = 1;
  d.hasPowerPhasePlane = 0;
  d.setSpctmTimePtFreqPt(t, f, 1);
}

// Releases the power/phase plane of every pair (after a benchmark that made
// one), so later benchmarks see the dataset as the host filled it.
inline void dropPowerPhase(CSpctmTrlCCDatazq& d) {
  megcxc::forEachPair(d, [](int64_t, int64_t, CSpctmChnChnDatazq& p) { CSpctmBasicx::freeBufferF2d(0, 0, p.plane[2]); });
  d.hasPowerPhasePlane = 0;
}

// A plain memcpy between two buffers whose pages already exist. The buffers
// grow to the largest size asked for and are kept for the whole program.
class CopyReference {
 public:
  // Time of one memcpy of `bytes`.
  Span run(std::size_t bytes) {
    if (bytes > src_.size()) {
      src_.assign(bytes, 1);
      dst_.assign(bytes, 2);
    }
    const Stopwatch watch;
    std::memcpy(dst_.data(), src_.data(), bytes);
    benchmark::ClobberMemory();
    return watch.elapsed();
  }

 private:
  std::vector<char> src_, dst_;
};

inline CopyReference& copyReference() {
  static CopyReference ref;
  return ref;
}

// Running sums of one benchmark repetition: the operation's own time and the
// reference's, one sample each per iteration.
class Ratio {
 public:
  void addOperation(Span s) { add(op_, s); ++opRuns_; }
  void addReference(Span s) { add(ref_, s); ++refRuns_; }
  void report(benchmark::State& state) const {
    const double op = opRuns_ ? op_.wall / static_cast<double>(opRuns_) : 0.0;
    const double ref = refRuns_ ? ref_.wall / static_cast<double>(refRuns_) : 0.0;
    const double opCpu = opRuns_ ? op_.cpu / static_cast<double>(opRuns_) : 0.0;
    const double refCpu = refRuns_ ? ref_.cpu / static_cast<double>(refRuns_) : 0.0;
    state.counters["ms"] = op * 1e3;
    state.counters["ref_ms"] = ref * 1e3;
    state.counters["x_ref"] = ref > 0.0 ? op / ref : 0.0;
    state.counters["cpu_x_ref"] = refCpu > 0.0 ? opCpu / refCpu : 0.0;
  }

 private:
  static void add(Span& sum, Span s) {
    sum.wall += s.wall;
    sum.cpu += s.cpu;
  }
  Span op_, ref_;
  int64_t opRuns_ = 0, refRuns_ = 0;
};

}  // namespace megcxc_bench
