// Dataset matrix benchmarks: build, re-initialise, scale every plane, reload
// from the raw backup, at 64 and 306 sensors (5 time x 40 frequency points,
// real and imaginary planes). Each figure sits next to a plain memcpy of the
// bytes the step touches, so the ratio to memory bandwidth can be read off.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <vector>

#include "trial/spctm_trl_cc_datazq.h"

namespace {

constexpr int64_t kTime = 5, kFreq = 40;

int64_t planeBytes(int64_t sensors) { return sensors * sensors * kTime * kFreq * 8; }

void BM_Build(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    auto d = std::make_unique<CSpctmTrlCCDatazq>();
    benchmark::DoNotOptimize(d->checkInitSpctmCCData(n, n, kTime, kFreq, true, 1, 0, nullptr, nullptr));
    state.PauseTiming();
    d.reset();
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * 2 * planeBytes(n));
  // What the dataset itself says the matrix takes, to set beside the peak RSS.
  CSpctmTrlCCDatazq probe;
  state.counters["estimate_MiB"] = probe.estimateDataSizeMB(n, kTime, kFreq, true, 1, 0);
}

void BM_Reinitialise(benchmark::State& state) {
  const int64_t n = state.range(0);
  CSpctmTrlCCDatazq d;
  d.checkInitSpctmCCData(n, n, kTime, kFreq, true, 1, 0, nullptr, nullptr);
  for (auto _ : state) {
    benchmark::DoNotOptimize(d.checkInitSpctmCCData(n, n, kTime, kFreq, true, 1, 0, nullptr, nullptr));
  }
  state.SetBytesProcessed(state.iterations() * 2 * planeBytes(n));
}

// A filled dataset with raw backups, as after the host handed in every pair.
std::unique_ptr<CSpctmTrlCCDatazq> filled(int64_t n) {
  auto d = std::make_unique<CSpctmTrlCCDatazq>();
  d->checkInitSpctmCCData(n, n, kTime, kFreq, true, 1, 0, nullptr, nullptr);
  std::vector<double> re(kTime * kFreq), im(kTime * kFreq);
  std::vector<double*> reRows(kTime), imRows(kTime);
  for (int64_t t = 0; t < kTime; ++t) {
    reRows[t] = re.data() + t * kFreq;
    imRows[t] = im.data() + t * kFreq;
  }
  for (int64_t r = 0; r < n; ++r) {
    for (int64_t c = 0; c < n; ++c) {
      for (int64_t k = 0; k < kTime * kFreq; ++k) {
        re[k] = static_cast<double>((r * 7 + c * 3 + k) % 17) - 8.0;
        im[k] = static_cast<double>((r + c * 5 + k) % 13) - 6.0;
      }
      d->getSnsActCC(r, c)->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), kTime, kFreq);
    }
  }
  d->hasRealPlane = d->hasImagPlane = 1;
  d->setSpctmTimePtFreqPt(kTime, kFreq, 1);
  return d;
}

void BM_ScaleAll(benchmark::State& state) {
  const int64_t n = state.range(0);
  auto d = filled(n);
  for (auto _ : state) benchmark::DoNotOptimize(d->scaleSpctmAllDataType4Class(1.0000001));
  state.SetBytesProcessed(state.iterations() * 2 * planeBytes(n));
}

void BM_ReloadAll(benchmark::State& state) {
  const int64_t n = state.range(0);
  auto d = filled(n);
  for (auto _ : state) benchmark::DoNotOptimize(d->reloadSpctmDataTrl());
  state.SetBytesProcessed(state.iterations() * 2 * planeBytes(n));
}

// The bandwidth reference: one memcpy of the bytes of the real and imaginary
// planes of every pair (read + write, like a reload).
void BM_MemcpyPlanes(benchmark::State& state) {
  const std::size_t bytes = static_cast<std::size_t>(2 * planeBytes(state.range(0)));
  std::vector<char> a(bytes, 1), b(bytes, 2);
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), bytes);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(BM_Build)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reinitialise)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScaleAll)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReloadAll)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyPlanes)->Arg(64)->Arg(306)->Unit(benchmark::kMillisecond);
