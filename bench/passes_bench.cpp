// Whole-dataset passes at 64 and 306 sensors (5 time x 40 frequency points):
// magnitude, phase, scale, the three accumulations, the all-pairs class
// summary, active-control (A-C against a control already collapsed to one
// time slice, so no question is asked), RMS normalisation and the three
// statistics reports. Each sits beside a plain memcpy of the plane bytes the
// pass reads (see bench_support.h for the counters).
//
// The dataset is filled as a host fills it: real and imaginary planes with
// their raw backups. A reference of "2 planes" is a memcpy of the real and
// imaginary cells of every pair (2 x n^2 x 200 doubles), "1 plane" the real
// cells only.
#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "face/meg_spctm_cc_data_facezq.h"

namespace {

using namespace megcxc_bench;

// One collection per sensor count: the active dataset and a control dataset
// of one time slice. Built once and kept for the whole program; benchmarks
// that add a plane take it away again.
struct Collection {
  explicit Collection(int64_t n) {
    auto* active = new CSpctmTrlCCDatazq;
    fillDataset(*active, n, kTime, kFreq);
    face.addSpctmDataSet(active, 0);
    auto* control = new CSpctmTrlCCDatazq;
    fillDataset(*control, n, 1, kFreq);
    face.addSpctmDataSet(control, 1);
    face.actCtlOperation = 0;
  }
  CSpctmTrlCCDatazq& active() { return *face.trialByClass[0]; }
  CMEGSpctmCCDataFacezq face;
};

Collection& collection(int64_t n) {
  static std::map<int64_t, std::unique_ptr<Collection>> cache;
  auto& slot = cache[n];
  if (!slot) slot = std::make_unique<Collection>(n);
  return *slot;
}

// Times `op` once per iteration and, untimed after it, one memcpy of
// `refBytes`; `prepare` (untimed) runs before the first call and after each
// reference.
template <class Prepare, class Op>
void runPass(benchmark::State& state, int64_t refBytes, Prepare prepare, Op op) {
  Ratio ratio;
  prepare();
  for (auto _ : state) {
    const Stopwatch watch;
    op();
    ratio.addOperation(watch.elapsed());
    state.PauseTiming();
    ratio.addReference(copyReference().run(static_cast<std::size_t>(refBytes)));
    prepare();
    state.ResumeTiming();
  }
  ratio.report(state);
  state.SetBytesProcessed(state.iterations() * refBytes);
}

template <class Op>
void runPass(benchmark::State& state, int64_t refBytes, Op op) {
  runPass(state, refBytes, [] {}, op);
}

void BM_Magnitude(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  // The first call allocates the power/phase planes; the timed calls reuse them.
  d.computeMagnitude(0);
  runPass(state, 2 * planeBytes(n), [&] { benchmark::DoNotOptimize(d.computeMagnitude(0)); });
  dropPowerPhase(d);
}

void BM_MagnitudeSignOfReal(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  d.computeMagnitude(1);
  runPass(state, 2 * planeBytes(n), [&] { benchmark::DoNotOptimize(d.computeMagnitude(1)); });
  dropPowerPhase(d);
}

void BM_Phase(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  d.computePhase();
  runPass(state, 2 * planeBytes(n), [&] { benchmark::DoNotOptimize(d.computePhase()); });
  dropPowerPhase(d);
}

// What computing the phase costs by itself: std::atan2 over the same number
// of cells held in three plain contiguous arrays, without any record.
void BM_PhaseFloorPlainAtan2(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::size_t cells = static_cast<std::size_t>(n * n * kTime * kFreq);
  std::vector<double> re(cells), im(cells), out(cells);
  for (std::size_t i = 0; i < cells; ++i) {
    re[i] = (static_cast<double>(i % 17) - 8.25) * 0.37;
    im[i] = (static_cast<double>(i % 13) - 6.5) * 0.21;
  }
  runPass(state, 2 * planeBytes(n), [&] {
    for (std::size_t i = 0; i < cells; ++i) out[i] = std::atan2(im[i], re[i]);
    benchmark::ClobberMemory();
  });
}

void BM_Scale(benchmark::State& state) {
  const int64_t n = state.range(0);
  Collection& c = collection(n);
  double factor = 1.0000001;
  runPass(state, 2 * planeBytes(n), [&] {
    benchmark::DoNotOptimize(c.face.scaleSpctmAllClassDataType(0, factor));
    factor = 1.0 / factor;
  });
}

// The accumulations replace the matrix, so every call works on a fresh copy
// of the active dataset (made untimed).
template <class Op>
void runAccumulation(benchmark::State& state, Op op) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& source = collection(n).active();
  auto work = std::make_unique<CSpctmTrlCCDatazq>();
  runPass(
      state, 2 * planeBytes(n), [&] { *work = source; },
      [&] { benchmark::DoNotOptimize(op(*work)); });
}

void BM_AccumulateTime(benchmark::State& state) {
  runAccumulation(state, [](CSpctmTrlCCDatazq& d) { return d.accumulateTime1(); });
}

void BM_AccumulateFreq(benchmark::State& state) {
  runAccumulation(state, [](CSpctmTrlCCDatazq& d) { return d.accumulateFreq1(); });
}

void BM_AccumulateTimeFreq(benchmark::State& state) {
  runAccumulation(state, [](CSpctmTrlCCDatazq& d) { return d.accumulateTimeFreq1(); });
}

void BM_ClassSummaryAllPairs(benchmark::State& state) {
  const int64_t n = state.range(0);
  Collection& c = collection(n);
  runPass(state, planeBytes(n),
          [&] { benchmark::DoNotOptimize(c.face.cmpSumCCSpctmData(nullptr, 0, 0)); });
}

void BM_ActiveControl(benchmark::State& state) {
  const int64_t n = state.range(0);
  Collection& c = collection(n);
  // The first call creates the active-control dataset; the timed calls
  // re-initialise it in place and fill it.
  c.face.doAct_Ctl_operation();
  runPass(state, 2 * planeBytes(n), [&] { benchmark::DoNotOptimize(c.face.doAct_Ctl_operation()); });
  c.face.deleteSpctmTrlData(2);
  c.face.currentClass = 0;
}

void BM_RmsNormalise(benchmark::State& state) {
  const int64_t n = state.range(0);
  Collection& c = collection(n);
  runPass(state, 2 * planeBytes(n),
          [&] { benchmark::DoNotOptimize(c.face.normSpctmCCData_rootMeanSquare(0)); });
}

void BM_ReportFreq(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  runPass(state, planeBytes(n), [&] { benchmark::DoNotOptimize(d.getStatisticsF(0).GetLength()); });
}

void BM_ReportFreqCompact(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  runPass(state, planeBytes(n), [&] { benchmark::DoNotOptimize(d.getStatisticsFx(0).GetLength()); });
}

void BM_ReportTimeCompact(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq& d = collection(n).active();
  runPass(state, planeBytes(n), [&] { benchmark::DoNotOptimize(d.getStatisticsTx(0).GetLength()); });
}

}  // namespace

#define MEGCXC_PASS(fn) BENCHMARK(fn)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond)->UseRealTime()

MEGCXC_PASS(BM_Magnitude);
MEGCXC_PASS(BM_MagnitudeSignOfReal);
MEGCXC_PASS(BM_Phase);
MEGCXC_PASS(BM_PhaseFloorPlainAtan2);
MEGCXC_PASS(BM_Scale);
MEGCXC_PASS(BM_AccumulateTime);
MEGCXC_PASS(BM_AccumulateFreq);
MEGCXC_PASS(BM_AccumulateTimeFreq);
MEGCXC_PASS(BM_ClassSummaryAllPairs);
MEGCXC_PASS(BM_ActiveControl);
MEGCXC_PASS(BM_RmsNormalise);
MEGCXC_PASS(BM_ReportFreq);
MEGCXC_PASS(BM_ReportFreqCompact);
MEGCXC_PASS(BM_ReportTimeCompact);
