#include "compute/connectivity.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <memory>

#include "compute/cross_sums.h"
#include "compute/morlet.h"
#include "compute/morlet_transform.h"
#include "platform/cdialog.h"
#include "platform/cstring.h"
#include "platform/memory_info.h"
#include "platform/parallel.h"
#include "platform/refused.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::compute {

namespace {

struct MethodInfo {
  Method method;
  const char* key;
  const char* title;
};

constexpr MethodInfo kMethods[] = {
    {Method::csd, "csd", "Cross-spectral density"},
    {Method::cohy, "cohy", "Coherency"},
    {Method::coh, "coh", "Coherence"},
    {Method::imcoh, "imcoh", "Imaginary coherence"},
    {Method::plv, "plv", "Phase locking value"},
    {Method::ciplv, "ciplv", "Corrected imaginary PLV"},
    {Method::ppc, "ppc", "Pairwise phase consistency"},
    {Method::pli, "pli", "Phase lag index"},
    {Method::wpli, "wpli", "Weighted phase lag index"},
    {Method::wpli2Debiased, "wpli2_debiased", "Debiased squared WPLI"},
};

const MethodInfo& infoOf(Method m) {
  for (const MethodInfo& i : kMethods) {
    if (i.method == m) return i;
  }
  return kMethods[0];
}

std::string number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

std::string megabytes(int64_t bytes) {
  char text[64];
  if (bytes >= (int64_t{1} << 30)) {
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / (1 << 30));
  } else {
    std::snprintf(text, sizeof text, "%.0f MB", static_cast<double>(bytes) / (1 << 20));
  }
  return text;
}

// Relative tolerance of the frequency axis: the dataset describes the axis by
// its first point and a step or ratio.
constexpr double kAxisTolerance = 1e-6;

void planFrequencyAxis(const std::vector<double>& f, Plan& plan) {
  const std::size_t n = f.size();
  if (n == 1) {
    plan.freqStepHz = 1.0;
    return;
  }
  const double step = (f[n - 1] - f[0]) / static_cast<double>(n - 1);
  bool linear = true;
  for (std::size_t k = 0; k < n && linear; ++k) {
    linear = std::fabs(f[k] - (f[0] + static_cast<double>(k) * step)) <= kAxisTolerance * step;
  }
  if (linear) {
    plan.freqStepHz = step;
    return;
  }
  const double ratio = std::pow(f[n - 1] / f[0], 1.0 / static_cast<double>(n - 1));
  for (std::size_t k = 0; k < n; ++k) {
    if (std::fabs(f[k] - f[0] * std::pow(ratio, static_cast<double>(k))) > kAxisTolerance * f[k]) {
      refuse("the frequencies are neither evenly spaced nor of constant ratio, which a dataset's axis needs");
    }
  }
  plan.geometricFreqs = true;
  plan.freqRatio = ratio;
}

}  // namespace

void checkFiniteSamples(const EpochsView& x) {
  const int64_t n = x.epochs * x.channels * x.samples;
  int64_t bad = -1;
  if (x.float64) {
    for (int64_t i = 0; i < n && bad < 0; ++i) {
      if (!std::isfinite(x.float64[i])) bad = i;
    }
  } else {
    for (int64_t i = 0; i < n && bad < 0; ++i) {
      if (!std::isfinite(x.float32[i])) bad = i;
    }
  }
  if (bad < 0) return;
  const int64_t s = bad % x.samples, ch = bad / x.samples % x.channels, e = bad / x.samples / x.channels;
  const double v = x.at(e, ch, s);
  refuse("sample " + std::to_string(s) + " of channel " + std::to_string(ch) + " in epoch " + std::to_string(e) +
         " is " + (std::isnan(v) ? "NaN" : "infinite") + ": the epochs must hold finite values");
}

std::vector<double> linearFrequencies(double start, double stop, double step) {
  if (!(step > 0.0) || !std::isfinite(step) || !std::isfinite(start) || !std::isfinite(stop)) {
    refuse("a frequency range needs finite numbers and a positive step");
  }
  if (stop < start) refuse("a frequency range must not end (" + number(stop) + " Hz) below its start (" + number(start) + " Hz)");
  std::vector<double> f;
  for (int64_t k = 0;; ++k) {
    const double v = start + static_cast<double>(k) * step;
    if (v > stop + 1e-6 * step) break;
    f.push_back(v);
  }
  return f;
}

namespace {

// What happens to a coefficient on its way into the block: nothing, divided
// by its magnitude (0 / 0 giving NaN, as plv and ciplv want), or divided by
// its magnitude with 0 staying 0 (ppc).
enum class Scaling { none, unit, unitOrZero };

// The coefficients y[0 .. times-1] of one signal into cells j0 .. j0+times-1
// of a coefficient block: lane j % kTile of tile j / kTile, tile 0 at re / im
// and the next tile `tileStride` values further on. Built for AVX-512, AVX2
// and plain x86-64; the same figures on each.
__attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void spreadCoefficients(
    const std::complex<double>* y, int64_t times, int64_t j0, double* re, double* im, int64_t tileStride, Scaling scaling) {
  constexpr int64_t kTile = CoefficientBlock::kTile;
  const double* v = reinterpret_cast<const double*>(y);
  for (int64_t ti0 = 0; ti0 < times;) {
    const int64_t j = j0 + ti0, lane = j % kTile, run = std::min(kTile - lane, times - ti0);
    double* __restrict dr = re + j / kTile * tileStride + lane;
    double* __restrict di = im + j / kTile * tileStride + lane;
    const double* __restrict x = v + 2 * ti0;
    if (scaling == Scaling::none) {
      for (int64_t k = 0; k < run; ++k) {
        dr[k] = x[2 * k];
        di[k] = x[2 * k + 1];
      }
    } else {
      for (int64_t k = 0; k < run; ++k) {
        const double vr = x[2 * k], vi = x[2 * k + 1];
        const double m = std::sqrt(vr * vr + vi * vi);
        const bool zero = scaling == Scaling::unitOrZero && !(m > 0.0);
        dr[k] = zero ? 0.0 : vr / m;
        di[k] = zero ? 0.0 : vi / m;
      }
    }
    ti0 += run;
  }
}

// As spreadCoefficients, with AVX-512: whole tiles go out by non-temporal
// stores (the block is far larger than the caches, so its lines need not be
// read in first only to be overwritten). The same operations per value.
__attribute__((target("avx512f"))) void spreadCoefficientsStreaming(const std::complex<double>* y, int64_t times,
                                                                    int64_t j0, double* re, double* im,
                                                                    int64_t tileStride, Scaling scaling) {
  constexpr int64_t kTile = CoefficientBlock::kTile;
  static_assert(kTile == 8, "one tile is one AVX-512 vector");
  const double* v = reinterpret_cast<const double*>(y);
  const __m512i evens = _mm512_set_epi64(14, 12, 10, 8, 6, 4, 2, 0);
  const __m512i odds = _mm512_set_epi64(15, 13, 11, 9, 7, 5, 3, 1);
  const __m512d zero = _mm512_setzero_pd();
  for (int64_t ti0 = 0; ti0 < times;) {
    const int64_t j = j0 + ti0, lane = j % kTile, run = std::min(kTile - lane, times - ti0);
    if (run < kTile) {
      spreadCoefficients(y + ti0, run, j, re, im, tileStride, scaling);
      ti0 += run;
      continue;
    }
    double* dr = re + j / kTile * tileStride;
    double* di = im + j / kTile * tileStride;
    const __m512d lo = _mm512_loadu_pd(v + 2 * ti0), hi = _mm512_loadu_pd(v + 2 * ti0 + 8);
    __m512d vr = _mm512_permutex2var_pd(lo, evens, hi), vi = _mm512_permutex2var_pd(lo, odds, hi);
    if (scaling != Scaling::none) {
      // (The masked form: GCC 12 warns about the undefined source of the plain one.)
      const __m512d m = _mm512_mask_sqrt_pd(zero, 0xff, _mm512_add_pd(_mm512_mul_pd(vr, vr), _mm512_mul_pd(vi, vi)));
      if (scaling == Scaling::unit) {
        vr = _mm512_div_pd(vr, m);
        vi = _mm512_div_pd(vi, m);
      } else {
        const __mmask8 positive = _mm512_cmp_pd_mask(m, zero, _CMP_GT_OQ);
        vr = _mm512_mask_blend_pd(positive, zero, _mm512_div_pd(vr, m));
        vi = _mm512_mask_blend_pd(positive, zero, _mm512_div_pd(vi, m));
      }
    }
    _mm512_stream_pd(dr, vr);
    _mm512_stream_pd(di, vi);
    ti0 += run;
  }
}

// Bytes of a dataset of s x s pairs of t x f cells with `planes` working
// planes and as many raw planes (row tables included).
int64_t datasetBytes(int64_t s, int64_t t, int64_t f, int planes) {
  return s * s * 2 * planes * (t * f + t) * static_cast<int64_t>(sizeof(double));
}

// The largest decimation that a hint needs to bring the result under `room`.
int64_t decimThatFits(const Plan& p, int64_t room) {
  for (int64_t k = 2; k <= p.samples; k *= 2) {
    const int64_t t = (p.samples + k - 1) / k;
    if (datasetBytes(p.channels, t, p.freqPoints, p.planes) + p.workBytes <= room) return k;
  }
  return 0;
}

}  // namespace

const char* methodKey(Method method) { return infoOf(method).key; }
const char* methodTitle(Method method) { return infoOf(method).title; }
bool isComplexMethod(Method method) { return method == Method::csd || method == Method::cohy; }

std::optional<Method> methodFromKey(std::string_view key) {
  for (const MethodInfo& i : kMethods) {
    if (key == i.key) return i.method;
  }
  return std::nullopt;
}

Plan planConnectivity(const EpochsView& x, const Options& o) {
  Plan p;
  if ((x.float64 == nullptr) == (x.float32 == nullptr)) refuse("no epochs given");
  if (x.epochs < 2) refuse("connectivity needs at least 2 epochs, found " + std::to_string(x.epochs));
  if (x.channels < 1 || x.samples < 1) refuse("the epochs have no channels or no samples");
  if (!(o.sfreq > 0.0) || !std::isfinite(o.sfreq)) refuse("the sampling rate must be a positive number of Hz");
  if (o.freqs.empty()) refuse("no frequencies given");
  const double nyquist = o.sfreq / 2.0;
  for (std::size_t k = 0; k < o.freqs.size(); ++k) {
    const double f = o.freqs[k];
    if (!(f > 0.0) || !std::isfinite(f)) refuse("frequency " + number(f) + " Hz is not a positive number");
    if (k > 0 && !(f > o.freqs[k - 1])) refuse("the frequencies must increase (" + number(f) + " Hz follows " + number(o.freqs[k - 1]) + " Hz)");
    if (f > nyquist) {
      refuse("frequency " + number(f) + " Hz lies above the Nyquist frequency " + number(nyquist) + " Hz of the sampling rate " +
             number(o.sfreq) + " Hz");
    }
  }
  if (o.nCycles.size() != 1 && o.nCycles.size() != o.freqs.size()) {
    refuse("give one number of cycles or one per frequency (" + std::to_string(o.freqs.size()) + "), not " +
           std::to_string(o.nCycles.size()));
  }
  for (const double c : o.nCycles) {
    if (!(c > 0.0) || !std::isfinite(c)) refuse("the number of cycles must be positive, found " + number(c));
  }
  if (o.decim < 1) refuse("decim must be 1 or more");

  // tmin and tmax name the nearest samples (ties to even, as Python rounds).
  int64_t first = 0, last = x.samples - 1;
  if (o.tmin) {
    const double k = std::nearbyint(*o.tmin * o.sfreq);
    if (!std::isfinite(k)) refuse("tmin is not a number");
    first = k < 0.0 ? 0 : (k > static_cast<double>(last) ? last + 1 : static_cast<int64_t>(k));
  }
  if (o.tmax) {
    const double k = std::nearbyint(*o.tmax * o.sfreq);
    if (!std::isfinite(k)) refuse("tmax is not a number");
    last = k > static_cast<double>(last) ? last : (k < 0.0 ? -1 : static_cast<int64_t>(k));
  }
  if (first > last) {
    refuse("no sample lies between tmin and tmax (an epoch spans 0 .. " + number(static_cast<double>(x.samples - 1) / o.sfreq) + " s)");
  }
  p.epochs = x.epochs;
  p.channels = x.channels;
  p.firstSample = first;
  p.samples = last - first + 1;
  p.timePoints = (p.samples + o.decim - 1) / o.decim;
  p.freqPoints = static_cast<int64_t>(o.freqs.size());

  for (std::size_t k = 0; k < o.freqs.size(); ++k) {
    const double cycles = o.nCycles.size() == 1 ? o.nCycles[0] : o.nCycles[k];
    const int64_t len = morletLength(o.sfreq, o.freqs[k], cycles);
    p.longestWavelet = std::max(p.longestWavelet, len);
    if (len > p.samples) {
      char most[32];
      std::snprintf(most, sizeof most, "%.2f", std::floor(morletMaxCycles(o.sfreq, o.freqs[k], p.samples) * 100.0) / 100.0);
      refuse("the wavelet at " + number(o.freqs[k]) + " Hz with " + number(cycles) + " cycles spans " + std::to_string(len) +
             " samples, more than the " + std::to_string(p.samples) + " samples of an epoch; at " + number(o.freqs[k]) +
             " Hz at most " + most + " cycles fit");
    }
  }
  p.fftLength = MorletTransform::fftLength(p.samples + p.longestWavelet - 1, o.decim);
  planFrequencyAxis(o.freqs, p);

  p.planes = isComplexMethod(o.method) ? 2 : 1;
  p.resultBytes = datasetBytes(p.channels, p.timePoints, p.freqPoints, p.planes);
  p.inputBytes = x.epochs * x.channels * x.samples * static_cast<int64_t>(x.float64 ? sizeof(double) : sizeof(float));

  // Work memory: half for the sums of a block, the rest for the coefficients
  // of an epoch chunk.
  int64_t budget = o.workBytes > 0 ? o.workBytes : std::max<int64_t>(int64_t{256} << 20, (p.resultBytes + p.inputBytes) / 5);
  const int64_t sumsPerCell = makeCrossSums(o.method)->bytesPerCell(p.channels);
  const int64_t coefPerCellEpoch = p.channels * static_cast<int64_t>(sizeof(std::complex<double>));
  const int64_t cellsFit = std::max<int64_t>(1, budget / 2 / sumsPerCell);
  if (cellsFit >= p.timePoints) {
    p.freqsPerBlock = std::min(p.freqPoints, cellsFit / p.timePoints);
    p.timesPerBlock = p.timePoints;
  } else {
    p.freqsPerBlock = 1;
    p.timesPerBlock = cellsFit;
  }
  const int64_t cells = p.freqsPerBlock * p.timesPerBlock;
  const int64_t sumsBytes = cells * sumsPerCell;
  p.epochsPerChunk = std::clamp<int64_t>((budget - sumsBytes) / (cells * coefPerCellEpoch), 1, p.epochs);
  p.workBytes = sumsBytes + p.epochsPerChunk * cells * coefPerCellEpoch;
  return p;
}

RunFigures computeConnectivity(const EpochsView& x, const Options& o, CSpctmTrlCCDatazq& d, const Progress& progress) {
  const auto started = std::chrono::steady_clock::now();
  const std::clock_t cpuStarted = std::clock();
  const Plan p = planConnectivity(x, o);
  checkFiniteSamples(x);
  const int64_t available = availableMemoryBytes();
  if (available > 0 && p.resultBytes + p.workBytes > available) {
    std::string hint;
    if (const int64_t k = decimThatFits(p, available); k > 0) hint = "; keep fewer time points, e.g. decim " + std::to_string(k * o.decim);
    refuse("the result needs " + megabytes(p.resultBytes) + " (" + std::to_string(p.channels) + " x " +
           std::to_string(p.channels) + " pairs of " + std::to_string(p.timePoints) + " time x " +
           std::to_string(p.freqPoints) + " frequency points, " + (p.planes == 2 ? "real and imaginary planes" : "one plane") +
           " and their raw backup) and " + megabytes(available) + " of memory are available" + hint);
  }

  const int64_t S = p.channels, T = p.timePoints, F = p.freqPoints, E = p.epochs;
  std::vector<double> cycles(static_cast<std::size_t>(F));
  for (int64_t k = 0; k < F; ++k) cycles[static_cast<std::size_t>(k)] = o.nCycles.size() == 1 ? o.nCycles[0] : o.nCycles[static_cast<std::size_t>(k)];
  const MorletTransform transform(o.sfreq, o.freqs, cycles, o.zeroMean, p.samples, o.decim);

  auto lap = std::chrono::steady_clock::now();
  const auto seconds = [&lap]() {
    const auto now = std::chrono::steady_clock::now();
    const double s = std::chrono::duration<double>(now - lap).count();
    lap = now;
    return s;
  };
  RunFigures figures;
  d._cleanSumCCSpctmData();
  // The matrix of pairs is made with one-cell planes (this posts the
  // dataset's progress notices); each pair gets its full planes in the first
  // block's final step, from the worker thread that then writes its first
  // cells, so the first touch of the new memory (page faults, zeroing) is
  // shared between the threads and the plane is still in the cache when it
  // is written.
  const int withImag = p.planes == 2 ? 1 : 0;
  if (!d.checkInitSpctmCCData(S, S, 1, 1, true, withImag, 0, progress.dialog, progress.text)) {
    refuse("not enough memory for " + std::to_string(S) + " x " + std::to_string(S) + " pairs");
  }
  const auto notEnoughMemory = [&] {
    d._cleanAll();
    refuse("not enough memory for " + std::to_string(S) + " x " + std::to_string(S) + " pairs of " + std::to_string(T) +
           " x " + std::to_string(F) + " cells");
  };
  std::atomic<bool> failed{false};
  PairPlanes planes;
  planes.channels = S;
  planes.freqPt = F;
  planes.real.assign(static_cast<std::size_t>(S * S), nullptr);
  if (withImag) planes.imag.assign(static_cast<std::size_t>(S * S), nullptr);
  planes.failed = &failed;
  planes.prepare = [&](int64_t r, int64_t c) {
    CSpctmChnChnDatazq* pair = d.getSnsActCC(r, c);
    if (pair->checkInitpctmSpace(T, F, false, withImag, 0) != 1) return false;
    planes.real[static_cast<std::size_t>(r * S + c)] = pair->plane[0][0];
    if (withImag) planes.imag[static_cast<std::size_t>(r * S + c)] = pair->plane[1][0];
    return true;
  };

  std::vector<BlockGeometry> blocks;
  for (int64_t f0 = 0; f0 < F; f0 += p.freqsPerBlock) {
    for (int64_t t0 = 0; t0 < T; t0 += p.timesPerBlock) {
      blocks.push_back({f0, std::min(p.freqsPerBlock, F - f0), t0, std::min(p.timesPerBlock, T - t0)});
    }
  }
  const int64_t chunks = (E + p.epochsPerChunk - 1) / p.epochsPerChunk;
  const int64_t steps = static_cast<int64_t>(blocks.size()) * chunks;
  int64_t done = 0;
  const auto report = [&](const char* phase, int64_t at, int64_t total) {
    if (progress.callback) {
      progress.callback(phase, at, total);
    } else if (progress.dialog && progress.text && progress.dialog->IsWindowVisible()) {
      progress.text->Format("Connectivity %s (Block::%I64d->%I64d)...", methodKey(o.method), total, at);
      progress.dialog->PostMessage(WM_SPCTM_PROGRESS, 0, 0);
    }
  };

  figures.buildSeconds = seconds();
  std::unique_ptr<CrossSums> sums = makeCrossSums(o.method);
  CoefficientBlock w;
  const bool unit = sums->unitCoefficients();
  for (const BlockGeometry& b : blocks) {
    sums->start(S, b.cells());
    for (int64_t e0 = 0; e0 < E; e0 += p.epochsPerChunk) {
      const int64_t ne = std::min(p.epochsPerChunk, E - e0);
      w.shape(S, p.epochsPerChunk, b.cells());
      // One item: a channel in a group of neighbouring epochs, transformed at
      // the block's frequencies; a cell's coefficients of these epochs lie
      // side by side in the block, so each item fills whole stretches of it.
      constexpr int64_t kGroup = 8;
      const int64_t groups = (ne + kGroup - 1) / kGroup;
      const int64_t tileStride = w.re(1, 0, 0) - w.re(0, 0, 0);
      const Scaling scaling = !unit ? Scaling::none : (o.method == Method::ppc ? Scaling::unitOrZero : Scaling::unit);
      const bool streaming = vectorKernels() == VectorKernels::avx512;
      parallelFor(groups * S, p.fftLength * (b.freqs + 1) * 4 * kGroup, [&](int64_t begin, int64_t end) {
        std::vector<std::unique_ptr<MorletTransform::Scratch>> scratch;
        for (int64_t g = 0; g < kGroup; ++g) scratch.push_back(std::make_unique<MorletTransform::Scratch>(transform));
        const std::complex<double>* y[kGroup];
        for (int64_t item = begin; item < end; ++item) {
          const int64_t ch = item / groups, eg = item % groups * kGroup, count = std::min(kGroup, ne - eg);
          for (int64_t g = 0; g < count; ++g) {
            transform.load([&](int64_t i) { return x.at(e0 + eg + g, ch, p.firstSample + i); }, *scratch[static_cast<std::size_t>(g)]);
          }
          for (int64_t fi = 0; fi < b.freqs; ++fi) {
            for (int64_t g = 0; g < count; ++g) y[g] = transform.same(b.f0 + fi, *scratch[static_cast<std::size_t>(g)]);
            const int64_t j0 = fi * b.times;
            for (int64_t g = 0; g < count; ++g) {
              if (streaming) {
                spreadCoefficientsStreaming(y[g] + b.t0, b.times, j0, w.re(0, eg + g, ch), w.im(0, eg + g, ch), tileStride,
                                            scaling);
              } else {
                spreadCoefficients(y[g] + b.t0, b.times, j0, w.re(0, eg + g, ch), w.im(0, eg + g, ch), tileStride, scaling);
              }
            }
          }
        }
        // Non-temporal stores are weakly ordered: done before the sums read them.
        if (streaming) _mm_sfence();
      });
      figures.transformSeconds += seconds();
      sums->add(w, ne);
      figures.sumsSeconds += seconds();
      figures.peakWorkBytes = std::max(figures.peakWorkBytes, w.bytes() + sums->bytes());
      report("wavelets and sums", ++done, steps);
    }
    sums->finish(E, b, planes);
    planes.prepare = nullptr;
    if (failed) notEnoughMemory();
    figures.resultSeconds += seconds();
  }
  figures.blocks = static_cast<int64_t>(blocks.size());
  figures.epochChunks = chunks;

  // Raw backups and pair numbers, a few rows at a time from the worker
  // threads (the copies touch new memory), with progress between the rounds.
  constexpr int64_t kBackupRounds = 16;
  for (int64_t round = 0; round < kBackupRounds && !failed; ++round) {
    const int64_t r0 = S * round / kBackupRounds, r1 = S * (round + 1) / kBackupRounds;
    if (r1 == r0) continue;
    parallelFor(r1 - r0, S * T * F * p.planes, [&](int64_t begin, int64_t end) {
      for (int64_t r = r0 + begin; r < r0 + end && !failed; ++r) {
        for (int64_t c = 0; c < S; ++c) {
          CSpctmChnChnDatazq* pair = d.getSnsActCC(r, c);
          pair->chnA = r;
          pair->chnB = c;
          if (!pair->storeData2Backupfile()) failed = true;
        }
      }
    });
    report("raw backup", r1, S);
  }
  if (failed) notEnoughMemory();
  figures.backupSeconds = seconds();
  d.setSpctmTimePtFreqPt(T, F, o.decim);
  d.setTrialTimeDataRange4Spctm(p.firstSample, p.firstSample + p.samples);
  d.timePtOffset = 0;
  d.auxFactor1 = o.sfreq;
  d.auxValue1 = static_cast<double>(p.firstSample) / o.sfreq;
  d.freqAxisLog = p.geometricFreqs ? 1 : 0;
  d.freqFirstHz = p.geometricFreqs ? o.freqs.front() / p.freqRatio : o.freqs.front();
  d.freqLastHz = o.freqs.back();
  d.freqStepHz = p.freqStepHz;
  d.freqRatio = p.freqRatio;
  d.cmptType = 0;
  d.cxcType = methodTitle(o.method);
  d.setTrialSpctmSelectTime(0, 0);
  d.setTrialSpctmSelectFreq(0, 0);
  d.checkDataIntegraty();
  figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  figures.cpuSeconds = static_cast<double>(std::clock() - cpuStarted) / CLOCKS_PER_SEC;
  return figures;
}

}  // namespace megcxc::compute
