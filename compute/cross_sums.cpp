#include "compute/cross_sums.h"

#include <immintrin.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>

#include "platform/parallel.h"

namespace megcxc::compute {

namespace {
#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // the Linux value, for older C library headers
#endif
}  // namespace

void populateWorkMemory(void* p, std::size_t bytes) {
  // Mapping the pages of a large block in one call costs less than faulting
  // them in one by one as the block is first written (a fifth to a half less
  // kernel time measured on a virtual machine). Kernels without
  // MADV_POPULATE_WRITE (before Linux 5.14) refuse it and fault as before.
  constexpr std::size_t kFrom = std::size_t{16} << 20;
  if (bytes < kFrom) return;
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(p) + page - 1) / page * page;
  const uintptr_t end = (reinterpret_cast<uintptr_t>(p) + bytes) / page * page;
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
}

void CoefficientBlock::shape(int64_t channels, int64_t epochs, int64_t cells) {
  channels_ = channels;
  epochs_ = epochs;
  cells_ = cells;
  // Grown when needed, never cleared as a whole: every cell's coefficients
  // are written before the sums read them. The lanes past the last cell are
  // summed too (and never stored); they are set to 0 so that no value there
  // is undefined.
  const std::size_t n = static_cast<std::size_t>(tiles() * kTile * epochs * channels);
  if (re_.size() < n) {
    re_.resize(n);
    im_.resize(n);
  }
  if (const int64_t used = cells % kTile; used > 0) {
    for (int64_t ch = 0; ch < channels; ++ch) {
      for (int64_t e = 0; e < epochs; ++e) {
        std::fill(re(tiles() - 1, e, ch) + used, re(tiles() - 1, e, ch) + kTile, 0.0);
        std::fill(im(tiles() - 1, e, ch) + used, im(tiles() - 1, e, ch) + kTile, 0.0);
      }
    }
  }
}

namespace {

VectorKernels processorKernels() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return VectorKernels::avx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return VectorKernels::avx2;
  return VectorKernels::portable;
}

std::atomic<int>& kernelLimit() {
  static std::atomic<int> limit{static_cast<int>(VectorKernels::avx512)};
  return limit;
}

}  // namespace

VectorKernels vectorKernels() {
  static const VectorKernels supported = processorKernels();
  return static_cast<VectorKernels>(std::min(static_cast<int>(supported), kernelLimit().load()));
}

VectorKernels limitVectorKernels(VectorKernels widest) {
  return static_cast<VectorKernels>(kernelLimit().exchange(static_cast<int>(widest)));
}

namespace {

constexpr int64_t kTile = CoefficientBlock::kTile;

// Item k of 0 .. n-1 taken as 0, n-1, 1, n-2, ...: the columns (or rows) of a
// triangle, whose work grows (or shrinks) with the index, paired so that
// consecutive ranges of items carry about the same work.
inline int64_t balancedIndex(int64_t k, int64_t n) { return k % 2 == 0 ? k / 2 : n - 1 - k / 2; }

// Index of pair (r, c), r <= c, among the pairs of the upper triangle row by
// row.
inline int64_t upperPairIndex(int64_t r, int64_t c, int64_t channels) { return r * channels - r * (r - 1) / 2 + (c - r); }

// ---- csd, cohy, coh, imcoh, plv, ciplv, ppc: Hermitian sums -----------------

// The sums of one lane group of a tile (the kernel's vector width; the whole
// tile for the portable loop) for the pairs (r0 + i, c0 + j), i < R, j < C:
// acc[i C + j] points at the real parts, the imaginary parts follow kTile
// values further on, and both gain, epoch after
// epoch in order, sum_e a conj(b) = (ar br + ai bi) + i (ai br - ar bi) as two
// fused multiply-adds per part. re / im point at channel 0 of epoch 0 of the
// tile; epochs lie kTile apart and channels `channelStride` apart. The AVX-512
// and AVX2 kernels do the same operations in the same order per cell, so
// their figures are identical; the portable loop rounds every product.
template <int R, int C>
__attribute__((target("avx512f"))) void hermitianTileAvx512(const double* re, const double* im, int64_t channelStride,
                                                         int64_t epochs, int64_t r0, int64_t c0, double* const* acc) {
  __m512d sr[R][C], si[R][C];
#pragma GCC unroll 4
  for (int i = 0; i < R; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      sr[i][j] = _mm512_load_pd(acc[i * C + j]);
      si[i][j] = _mm512_load_pd(acc[i * C + j] + kTile);
    }
  }
  const double* ar0 = re + r0 * channelStride;
  const double* ai0 = im + r0 * channelStride;
  const double* br0 = re + c0 * channelStride;
  const double* bi0 = im + c0 * channelStride;
  for (int64_t e = 0; e < epochs; ++e) {
    __m512d ar[R], ai[R];
#pragma GCC unroll 4
    for (int i = 0; i < R; ++i) {
      ar[i] = _mm512_load_pd(ar0 + i * channelStride + e * kTile);
      ai[i] = _mm512_load_pd(ai0 + i * channelStride + e * kTile);
    }
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      const __m512d br = _mm512_load_pd(br0 + j * channelStride + e * kTile);
      const __m512d bi = _mm512_load_pd(bi0 + j * channelStride + e * kTile);
#pragma GCC unroll 4
      for (int i = 0; i < R; ++i) {
        sr[i][j] = _mm512_fmadd_pd(ai[i], bi, _mm512_fmadd_pd(ar[i], br, sr[i][j]));
        si[i][j] = _mm512_fnmadd_pd(ar[i], bi, _mm512_fmadd_pd(ai[i], br, si[i][j]));
      }
    }
  }
#pragma GCC unroll 4
  for (int i = 0; i < R; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      _mm512_store_pd(acc[i * C + j], sr[i][j]);
      _mm512_store_pd(acc[i * C + j] + kTile, si[i][j]);
    }
  }
}

template <int R, int C>
__attribute__((target("avx2,fma"))) void hermitianTileAvx2(const double* re, const double* im, int64_t channelStride,
                                                         int64_t epochs, int64_t r0, int64_t c0, double* const* acc) {
  __m256d sr[R][C], si[R][C];
#pragma GCC unroll 4
  for (int i = 0; i < R; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      sr[i][j] = _mm256_load_pd(acc[i * C + j]);
      si[i][j] = _mm256_load_pd(acc[i * C + j] + kTile);
    }
  }
  const double* ar0 = re + r0 * channelStride;
  const double* ai0 = im + r0 * channelStride;
  const double* br0 = re + c0 * channelStride;
  const double* bi0 = im + c0 * channelStride;
  for (int64_t e = 0; e < epochs; ++e) {
    __m256d ar[R], ai[R];
#pragma GCC unroll 4
    for (int i = 0; i < R; ++i) {
      ar[i] = _mm256_load_pd(ar0 + i * channelStride + e * kTile);
      ai[i] = _mm256_load_pd(ai0 + i * channelStride + e * kTile);
    }
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      const __m256d br = _mm256_load_pd(br0 + j * channelStride + e * kTile);
      const __m256d bi = _mm256_load_pd(bi0 + j * channelStride + e * kTile);
#pragma GCC unroll 4
      for (int i = 0; i < R; ++i) {
        sr[i][j] = _mm256_fmadd_pd(ai[i], bi, _mm256_fmadd_pd(ar[i], br, sr[i][j]));
        si[i][j] = _mm256_fnmadd_pd(ar[i], bi, _mm256_fmadd_pd(ai[i], br, si[i][j]));
      }
    }
  }
#pragma GCC unroll 4
  for (int i = 0; i < R; ++i) {
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      _mm256_store_pd(acc[i * C + j], sr[i][j]);
      _mm256_store_pd(acc[i * C + j] + kTile, si[i][j]);
    }
  }
}

template <int R, int C>
void hermitianTilePortable(const double* re, const double* im, int64_t channelStride, int64_t epochs, int64_t r0,
                           int64_t c0, double* const* acc) {
  for (int i = 0; i < R; ++i) {
    for (int j = 0; j < C; ++j) {
      double* __restrict sr = acc[i * C + j];
      double* __restrict si = sr + kTile;
      for (int64_t e = 0; e < epochs; ++e) {
        const double* __restrict ar = re + (r0 + i) * channelStride + e * kTile;
        const double* __restrict ai = im + (r0 + i) * channelStride + e * kTile;
        const double* __restrict br = re + (c0 + j) * channelStride + e * kTile;
        const double* __restrict bi = im + (c0 + j) * channelStride + e * kTile;
        for (int64_t k = 0; k < kTile; ++k) {
          sr[k] = sr[k] + ar[k] * br[k] + ai[k] * bi[k];
          si[k] = si[k] + ai[k] * br[k] - ar[k] * bi[k];
        }
      }
    }
  }
}

using HermitianTileFn = void (*)(const double*, const double*, int64_t, int64_t, int64_t, int64_t, double* const*);

// Block shapes: as many accumulators as the registers hold beside the
// coefficients of a row block and one column (AVX-512: 32 registers, 3 x 3
// pairs; AVX2: 16 registers, 2 x 2 pairs). kernels[R - 1][C - 1] takes the
// smaller blocks at the triangle's edge.
struct HermitianKernels {
  int rows = 2, cols = 2;
  int64_t lanes = kTile;
  HermitianTileFn kernels[3][3] = {};
};

HermitianKernels hermitianKernels(VectorKernels kind) {
  HermitianKernels k;
  if (kind == VectorKernels::avx512) {
    k.rows = k.cols = 3;
    k.lanes = 8;
    k.kernels[0][0] = hermitianTileAvx512<1, 1>;
    k.kernels[0][1] = hermitianTileAvx512<1, 2>;
    k.kernels[0][2] = hermitianTileAvx512<1, 3>;
    k.kernels[1][0] = hermitianTileAvx512<2, 1>;
    k.kernels[1][1] = hermitianTileAvx512<2, 2>;
    k.kernels[1][2] = hermitianTileAvx512<2, 3>;
    k.kernels[2][0] = hermitianTileAvx512<3, 1>;
    k.kernels[2][1] = hermitianTileAvx512<3, 2>;
    k.kernels[2][2] = hermitianTileAvx512<3, 3>;
  } else if (kind == VectorKernels::avx2) {
    k.lanes = 4;
    k.kernels[0][0] = hermitianTileAvx2<1, 1>;
    k.kernels[0][1] = hermitianTileAvx2<1, 2>;
    k.kernels[1][0] = hermitianTileAvx2<2, 1>;
    k.kernels[1][1] = hermitianTileAvx2<2, 2>;
  } else {
    k.kernels[0][0] = hermitianTilePortable<1, 1>;
    k.kernels[0][1] = hermitianTilePortable<1, 2>;
    k.kernels[1][0] = hermitianTilePortable<2, 1>;
    k.kernels[1][1] = hermitianTilePortable<2, 2>;
  }
  return k;
}

class HermitianSums final : public CrossSums {
 public:
  explicit HermitianSums(Method m) : method_(m) {}
  bool unitCoefficients() const override {
    return method_ == Method::plv || method_ == Method::ciplv || method_ == Method::ppc;
  }
  int64_t bytesPerCell(int64_t channels) const override {
    // The sums, and in the final step the powers and each thread's row
    // buffers (real and imaginary parts).
    return (channels * (channels + 1) / 2 * 2 + channels * (1 + 2 * workerThreads())) * static_cast<int64_t>(sizeof(double));
  }
  int64_t bytes() const override { return static_cast<int64_t>(sums_.capacity() * sizeof(double)); }

  void start(int64_t channels, int64_t cells) override {
    channels_ = channels;
    cells_ = cells;
    pairs_ = channels * (channels + 1) / 2;
    tiles_ = (cells + kTile - 1) / kTile;
    sums_.assign(static_cast<std::size_t>(tiles_ * pairs_ * 2 * kTile), 0.0);
  }

  void add(const CoefficientBlock& w, int64_t epochs) override {
    const int64_t s = channels_;
    const HermitianKernels k = hermitianKernels(vectorKernels());
    const int64_t rowBlocks = (s + k.rows - 1) / k.rows;
    // One item: a tile and a block of rows, with the pairs (r, c >= r) of
    // those rows, so no two threads touch the same sums. Pairs below the
    // diagonal in the diagonal block are computed into a scratch tile.
    parallelFor(tiles_ * rowBlocks, pairs_ / rowBlocks * epochs * kTile + 1, [&](int64_t begin, int64_t end) {
      alignas(64) double scratch[2 * kTile] = {};
      double* acc[9];
      for (int64_t item = begin; item < end; ++item) {
        const int64_t t = item / rowBlocks;
        const int64_t r0 = balancedIndex(item % rowBlocks, rowBlocks) * k.rows;
        const int rn = static_cast<int>(std::min<int64_t>(k.rows, s - r0));
        // A lane group at a time, so that the row block's coefficients stay
        // in the first-level cache while the columns stream past.
        for (int64_t g = 0; g < kTile; g += k.lanes) {
          for (int64_t c0 = r0; c0 < s; c0 += k.cols) {
            const int cn = static_cast<int>(std::min<int64_t>(k.cols, s - c0));
            for (int i = 0; i < rn; ++i) {
              for (int j = 0; j < cn; ++j) {
                acc[i * cn + j] = (r0 + i <= c0 + j ? sumsOf(t, upperPairIndex(r0 + i, c0 + j, s)) : scratch) + g;
              }
            }
            k.kernels[rn - 1][cn - 1](w.re(t, 0, 0) + g, w.im(t, 0, 0) + g, w.epochs() * kTile, epochs, r0, c0, acc);
          }
        }
      }
    });
  }

  void finish(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) override {
    switch (method_) {
      case Method::csd: return finishAs<Method::csd>(totalEpochs, block, out);
      case Method::cohy: return finishAs<Method::cohy>(totalEpochs, block, out);
      case Method::coh: return finishAs<Method::coh>(totalEpochs, block, out);
      case Method::imcoh: return finishAs<Method::imcoh>(totalEpochs, block, out);
      case Method::plv: return finishAs<Method::plv>(totalEpochs, block, out);
      case Method::ciplv: return finishAs<Method::ciplv>(totalEpochs, block, out);
      default: return finishAs<Method::ppc>(totalEpochs, block, out);
    }
  }

 private:
  double* sumsOf(int64_t tile, int64_t pair) { return sums_.data() + (tile * pairs_ + pair) * 2 * kTile; }
  const double* sumsOf(int64_t tile, int64_t pair) const { return sums_.data() + (tile * pairs_ + pair) * 2 * kTile; }

  template <Method M>
  void finishAs(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) {
    const int64_t s = channels_, cells = cells_;
    const double n = static_cast<double>(totalEpochs);
    constexpr bool complex = M == Method::csd || M == Method::cohy;
    // The mean power of every channel and cell, from the diagonal pairs. Their
    // imaginary sums are 0 but for rounding (the fused products of w conj(w)
    // do not cancel exactly); they are set to 0, as for the exact figure.
    AlignedDoubles power(static_cast<std::size_t>(s * tiles_ * kTile));
    for (int64_t r = 0; r < s; ++r) {
      for (int64_t t = 0; t < tiles_; ++t) {
        double* d = sumsOf(t, upperPairIndex(r, r, s));
        std::fill(d + kTile, d + 2 * kTile, 0.0);
        double* p = power.data() + (r * tiles_ + t) * kTile;
        for (int64_t k = 0; k < kTile; ++k) p[k] = d[k] / n;
      }
    }
    // A row r at a time: the measure of pairs (r, c >= r) for every cell, a
    // tile of all those pairs after another (their sums lie side by side),
    // then each pair's cells into the planes of (r, c) and (c, r).
    const int64_t padded = tiles_ * kTile;
    parallelFor(s, pairs_ / s * cells + 1, [&](int64_t begin, int64_t end) {
      AlignedDoubles re(static_cast<std::size_t>(s * padded)), im(complex ? re.size() : 0);
      for (int64_t item = begin; item < end; ++item) {
        const int64_t r = balancedIndex(item, s);
        const int64_t first = upperPairIndex(r, r, s);
        const double* pr = power.data() + r * padded;
        for (int64_t t = 0; t < tiles_; ++t) {
          const double* __restrict wr = pr + t * kTile;
          for (int64_t c = r; c < s; ++c) {
            const double* __restrict sr = sumsOf(t, first + (c - r));
            const double* __restrict si = sr + kTile;
            const double* __restrict wc = power.data() + c * padded + t * kTile;
            double* __restrict vr = re.data() + (c - r) * padded + t * kTile;
            double* __restrict vi = complex ? im.data() + (c - r) * padded + t * kTile : nullptr;
            for (int64_t k = 0; k < kTile; ++k) {
              const double cr = sr[k] / n, ci = si[k] / n;
              if constexpr (M == Method::csd) {
                vr[k] = cr;
                vi[k] = ci;
              } else if constexpr (M == Method::cohy) {
                const double scale = 1.0 / std::sqrt(wr[k] * wc[k]);
                vr[k] = cr * scale;
                vi[k] = ci * scale;
              } else if constexpr (M == Method::coh) {
                vr[k] = std::sqrt(cr * cr + ci * ci) / std::sqrt(wr[k] * wc[k]);
              } else if constexpr (M == Method::imcoh) {
                vr[k] = ci / std::sqrt(wr[k] * wc[k]);
              } else if constexpr (M == Method::plv) {  // the sums are of unit coefficients from here on
                vr[k] = std::sqrt(cr * cr + ci * ci);
              } else if constexpr (M == Method::ciplv) {
                double real = std::clamp(cr, -1.0, 1.0);
                if (std::fabs(real) == 1.0) real = 0.0;
                vr[k] = std::fabs(ci) / std::sqrt(1.0 - real * real);
              } else {  // ppc, from the sums themselves
                vr[k] = (sr[k] * sr[k] + si[k] * si[k] - n) / (n * (n - 1.0));
              }
            }
          }
        }
        for (int64_t c = r; c < s; ++c) {
          if (out.ready(r, c)) store(out, r, c, block, re.data() + (c - r) * padded, complex ? im.data() + (c - r) * padded : nullptr);
        }
      }
    });
  }

  // The cells of pair (r, c) into its planes and those of (c, r): the same
  // value, the conjugate (csd, cohy) or the negative (imcoh).
  void store(const PairPlanes& out, int64_t r, int64_t c, const BlockGeometry& b, const double* re,
             const double* im) const {
    const int64_t s = out.channels;
    double* rcRe = out.real[static_cast<std::size_t>(r * s + c)];
    double* crRe = out.real[static_cast<std::size_t>(c * s + r)];
    const double mirror = method_ == Method::imcoh && r != c ? -1.0 : 1.0;
    for (int64_t ti = 0; ti < b.times; ++ti) {
      const int64_t row = (b.t0 + ti) * out.freqPt + b.f0;
      for (int64_t fi = 0; fi < b.freqs; ++fi) rcRe[row + fi] = re[fi * b.times + ti];
      for (int64_t fi = 0; fi < b.freqs; ++fi) crRe[row + fi] = mirror * re[fi * b.times + ti];
    }
    if (!im) return;
    double* rcIm = out.imag[static_cast<std::size_t>(r * s + c)];
    double* crIm = out.imag[static_cast<std::size_t>(c * s + r)];
    const double conj = r != c ? -1.0 : 1.0;
    for (int64_t ti = 0; ti < b.times; ++ti) {
      const int64_t row = (b.t0 + ti) * out.freqPt + b.f0;
      for (int64_t fi = 0; fi < b.freqs; ++fi) rcIm[row + fi] = im[fi * b.times + ti];
      for (int64_t fi = 0; fi < b.freqs; ++fi) crIm[row + fi] = conj * im[fi * b.times + ti];
    }
  }

  Method method_;
  int64_t channels_ = 0, cells_ = 0, pairs_ = 0, tiles_ = 0;
  AlignedDoubles sums_;
};

// ---- pli, wpli, wpli2_debiased: per-epoch pair loops ------------------------

// The cells of a block into the planes of pairs (r, c) and (c, r), in plane
// order (time-major, where the block's cells are frequency-major).
void storeSymmetric(const PairPlanes& out, int64_t r, int64_t c, const BlockGeometry& b, const double* values) {
  const int64_t s = out.channels;
  double* rc = out.real[static_cast<std::size_t>(r * s + c)];
  double* cr = out.real[static_cast<std::size_t>(c * s + r)];
  for (int64_t ti = 0; ti < b.times; ++ti) {
    const int64_t row = (b.t0 + ti) * out.freqPt + b.f0;
    for (int64_t fi = 0; fi < b.freqs; ++fi) rc[row + fi] = values[fi * b.times + ti];
    for (int64_t fi = 0; fi < b.freqs; ++fi) cr[row + fi] = values[fi * b.times + ti];
  }
}

// Adds the epochs of pair (a, b) over a tile: x = a conj(b) per cell and
// epoch, then the method's term of x into acc (one array of kTile per sum).
// `stride` doubles lie between the coefficients of neighbouring epochs. Each
// cell is summed in epoch order with one rounding per operation, whatever the
// vector width, so every build variant gives the same figures.
template <Method M>
inline __attribute__((always_inline)) void addPairTile(const double* __restrict ar, const double* __restrict ai,
                                                       const double* __restrict br, const double* __restrict bi,
                                                       int64_t stride, int64_t epochs, double* __restrict acc) {
  double* __restrict s0 = acc;
  double* __restrict s1 = acc + kTile;
  double* __restrict s2 = acc + 2 * kTile;
  for (int64_t e = 0; e < epochs; ++e) {
    const double* __restrict a0 = ar + e * stride;
    const double* __restrict a1 = ai + e * stride;
    const double* __restrict b0 = br + e * stride;
    const double* __restrict b1 = bi + e * stride;
    for (int64_t k = 0; k < kTile; ++k) {
      const double xi = a1[k] * b0[k] - a0[k] * b1[k];
      if constexpr (M == Method::pli) {
        s0[k] += xi > 0.0 ? 1.0 : (xi < 0.0 ? -1.0 : 0.0);
      } else {
        s0[k] += xi;
        s1[k] += std::fabs(xi);
        if constexpr (M == Method::wpli2Debiased) s2[k] += xi * xi;
      }
    }
  }
}

// The portable kernel: one function per method, each built for AVX-512,
// AVX2 and plain x86-64 (the loader picks the widest the processor has).
#define MEGCXC_PAIR_TILE(name, method)                                                                              \
  __attribute__((target_clones("arch=x86-64-v4", "arch=x86-64-v3", "default"))) void name(                          \
      const double* ar, const double* ai, const double* br, const double* bi, int64_t stride, int64_t epochs,       \
      double* acc) {                                                                                                \
    addPairTile<method>(ar, ai, br, bi, stride, epochs, acc);                                                       \
  }
MEGCXC_PAIR_TILE(addTilePli, Method::pli)
MEGCXC_PAIR_TILE(addTileWpli, Method::wpli)
MEGCXC_PAIR_TILE(addTileWpli2, Method::wpli2Debiased)
#undef MEGCXC_PAIR_TILE

using PairTileFn = void (*)(const double*, const double*, const double*, const double*, int64_t, int64_t, double*);

constexpr PairTileFn pairTileFunction(Method m) {
  switch (m) {
    case Method::pli: return addTilePli;
    case Method::wpli: return addTileWpli;
    default: return addTileWpli2;
  }
}

// The vector kernels: pairs (r, c0 + j), j < C, over one lane group of a
// tile, the row's coefficients loaded once per epoch for C columns and the
// sums held in registers over the epochs. acc[j] points at the pair's first
// sum at the lane group; sum k lies k kTile values further on. re / im point
// at channel 0 of epoch 0 of the tile at the lane group (epochs kTile apart,
// channels `channelStride` apart). The operations per cell are those of
// addPairTile, in the same order: the same figures.
template <Method M, int C>
__attribute__((target("avx512f,avx512dq"))) void pairLanesAvx512(const double* re, const double* im,
                                                                  int64_t channelStride, int64_t epochs, int64_t r,
                                                                  int64_t c0, double* const* acc) {
  constexpr int kSums = M == Method::pli ? 1 : (M == Method::wpli2Debiased ? 3 : 2);
  __m512d sum[C][kSums];
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) {
#pragma GCC unroll 3
    for (int k = 0; k < kSums; ++k) sum[j][k] = _mm512_loadu_pd(acc[j] + k * kTile);
  }
  const __m512d one = _mm512_set1_pd(1.0), zero = _mm512_setzero_pd();
  const double* ar = re + r * channelStride;
  const double* ai = im + r * channelStride;
  for (int64_t e = 0; e < epochs; ++e) {
    const __m512d a0 = _mm512_load_pd(ar + e * kTile), a1 = _mm512_load_pd(ai + e * kTile);
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      const __m512d b0 = _mm512_load_pd(re + (c0 + j) * channelStride + e * kTile);
      const __m512d b1 = _mm512_load_pd(im + (c0 + j) * channelStride + e * kTile);
      const __m512d xi = _mm512_sub_pd(_mm512_mul_pd(a1, b0), _mm512_mul_pd(a0, b1));
      if constexpr (M == Method::pli) {
        const __mmask8 above = _mm512_cmp_pd_mask(xi, zero, _CMP_GT_OQ);
        const __mmask8 below = _mm512_cmp_pd_mask(xi, zero, _CMP_LT_OQ);
        const __m512d sign = _mm512_mask_blend_pd(above, _mm512_mask_blend_pd(below, zero, _mm512_set1_pd(-1.0)), one);
        sum[j][0] = _mm512_add_pd(sum[j][0], sign);
      } else {
        sum[j][0] = _mm512_add_pd(sum[j][0], xi);
        sum[j][1] = _mm512_add_pd(sum[j][1], _mm512_abs_pd(xi));
        if constexpr (M == Method::wpli2Debiased) sum[j][2] = _mm512_add_pd(sum[j][2], _mm512_mul_pd(xi, xi));
      }
    }
  }
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) {
#pragma GCC unroll 3
    for (int k = 0; k < kSums; ++k) _mm512_storeu_pd(acc[j] + k * kTile, sum[j][k]);
  }
}

template <Method M, int C>
__attribute__((target("avx2"))) void pairLanesAvx2(const double* re, const double* im, int64_t channelStride,
                                                   int64_t epochs, int64_t r, int64_t c0, double* const* acc) {
  constexpr int kSums = M == Method::pli ? 1 : (M == Method::wpli2Debiased ? 3 : 2);
  __m256d sum[C][kSums];
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) {
#pragma GCC unroll 3
    for (int k = 0; k < kSums; ++k) sum[j][k] = _mm256_loadu_pd(acc[j] + k * kTile);
  }
  const __m256d one = _mm256_set1_pd(1.0), zero = _mm256_setzero_pd();
  const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7fffffffffffffffLL));
  const double* ar = re + r * channelStride;
  const double* ai = im + r * channelStride;
  for (int64_t e = 0; e < epochs; ++e) {
    const __m256d a0 = _mm256_load_pd(ar + e * kTile), a1 = _mm256_load_pd(ai + e * kTile);
#pragma GCC unroll 4
    for (int j = 0; j < C; ++j) {
      const __m256d b0 = _mm256_load_pd(re + (c0 + j) * channelStride + e * kTile);
      const __m256d b1 = _mm256_load_pd(im + (c0 + j) * channelStride + e * kTile);
      const __m256d xi = _mm256_sub_pd(_mm256_mul_pd(a1, b0), _mm256_mul_pd(a0, b1));
      if constexpr (M == Method::pli) {
        const __m256d above = _mm256_and_pd(_mm256_cmp_pd(xi, zero, _CMP_GT_OQ), one);
        const __m256d below = _mm256_and_pd(_mm256_cmp_pd(xi, zero, _CMP_LT_OQ), one);
        sum[j][0] = _mm256_add_pd(sum[j][0], _mm256_sub_pd(above, below));
      } else {
        sum[j][0] = _mm256_add_pd(sum[j][0], xi);
        sum[j][1] = _mm256_add_pd(sum[j][1], _mm256_and_pd(xi, magnitude));
        if constexpr (M == Method::wpli2Debiased) sum[j][2] = _mm256_add_pd(sum[j][2], _mm256_mul_pd(xi, xi));
      }
    }
  }
#pragma GCC unroll 4
  for (int j = 0; j < C; ++j) {
#pragma GCC unroll 3
    for (int k = 0; k < kSums; ++k) _mm256_storeu_pd(acc[j] + k * kTile, sum[j][k]);
  }
}

using PairLanesFn = void (*)(const double*, const double*, int64_t, int64_t, int64_t, int64_t, double* const*);
constexpr int kPairColumns = 4;

template <Method M>
struct PairKernels {
  int64_t lanes = 0;  // 0: the portable kernel, a whole tile per pair
  PairLanesFn kernels[kPairColumns] = {};
};

template <Method M>
PairKernels<M> pairKernels(VectorKernels kind) {
  PairKernels<M> k;
  if (kind == VectorKernels::avx512) {
    k.lanes = 8;
    k.kernels[0] = pairLanesAvx512<M, 1>;
    k.kernels[1] = pairLanesAvx512<M, 2>;
    k.kernels[2] = pairLanesAvx512<M, 3>;
    k.kernels[3] = pairLanesAvx512<M, 4>;
  } else if (kind == VectorKernels::avx2) {
    k.lanes = 4;
    k.kernels[0] = pairLanesAvx2<M, 1>;
    k.kernels[1] = pairLanesAvx2<M, 2>;
    k.kernels[2] = pairLanesAvx2<M, 3>;
    k.kernels[3] = pairLanesAvx2<M, 4>;
  }
  return k;
}

template <Method M>
class EpochPairSums final : public CrossSums {
 public:
  static constexpr int kSums = M == Method::pli ? 1 : (M == Method::wpli2Debiased ? 3 : 2);
  static constexpr PairTileFn kAdd = pairTileFunction(M);

  int64_t bytesPerCell(int64_t channels) const override {
    // The sums, and in the final step each thread's row buffer.
    return (channels * (channels + 1) / 2 * kSums + channels * workerThreads()) * static_cast<int64_t>(sizeof(double));
  }
  int64_t bytes() const override { return static_cast<int64_t>(sums_.capacity() * sizeof(double)); }

  void start(int64_t channels, int64_t cells) override {
    channels_ = channels;
    cells_ = cells;
    pairs_ = channels * (channels + 1) / 2;
    tiles_ = (cells + kTile - 1) / kTile;
    sums_.assign(static_cast<std::size_t>(tiles_ * pairs_ * kSums * kTile), 0.0);
  }

  void add(const CoefficientBlock& w, int64_t epochs) override {
    const int64_t s = channels_;
    const PairKernels<M> k = pairKernels<M>(vectorKernels());
    // One item is a tile and a row channel r: the pairs (r, c >= r) of that
    // tile, so no two threads touch the same sums. The vector kernels take
    // a lane group at a time (the row's coefficients stay in the first-level
    // cache while the columns stream past) and kPairColumns columns a call.
    parallelFor(tiles_ * s, pairs_ / s * epochs * kTile + 1, [&](int64_t begin, int64_t end) {
      double* acc[kPairColumns];
      for (int64_t item = begin; item < end; ++item) {
        const int64_t t = item / s, r = item % s;
        if (k.lanes == 0) {
          for (int64_t c = r; c < s; ++c) {
            kAdd(w.re(t, 0, r), w.im(t, 0, r), w.re(t, 0, c), w.im(t, 0, c), kTile, epochs, sumsOf(t, pairIndex(r, c)));
          }
          continue;
        }
        for (int64_t g = 0; g < kTile; g += k.lanes) {
          for (int64_t c0 = r; c0 < s; c0 += kPairColumns) {
            const int cn = static_cast<int>(std::min<int64_t>(kPairColumns, s - c0));
            for (int j = 0; j < cn; ++j) acc[j] = sumsOf(t, pairIndex(r, c0 + j)) + g;
            k.kernels[cn - 1](w.re(t, 0, 0) + g, w.im(t, 0, 0) + g, w.epochs() * kTile, epochs, r, c0, acc);
          }
        }
      }
    });
  }

  void finish(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) override {
    const int64_t s = channels_;
    const double n = static_cast<double>(totalEpochs);
    // A row r at a time, a tile of all pairs (r, c >= r) after another (their
    // sums lie side by side), then each pair's cells into its planes.
    const int64_t padded = tiles_ * kTile;
    parallelFor(s, pairs_ / s * cells_ + 1, [&](int64_t begin, int64_t end) {
      AlignedDoubles values(static_cast<std::size_t>(s * padded));
      for (int64_t item = begin; item < end; ++item) {
        const int64_t r = balancedIndex(item, s);
        const int64_t first = pairIndex(r, r);
        for (int64_t t = 0; t < tiles_; ++t) {
          for (int64_t c = r; c < s; ++c) {
            const double* acc = sumsOf(t, first + (c - r));
            double* v = values.data() + (c - r) * padded + t * kTile;
            for (int64_t k = 0; k < kTile; ++k) v[k] = measure(acc + k, n);
          }
        }
        for (int64_t c = r; c < s; ++c) {
          if (out.ready(r, c)) storeSymmetric(out, r, c, block, values.data() + (c - r) * padded);
        }
      }
    });
  }

 private:
  int64_t pairIndex(int64_t r, int64_t c) const { return upperPairIndex(r, c, channels_); }
  double* sumsOf(int64_t tile, int64_t pair) { return sums_.data() + (tile * pairs_ + pair) * kSums * kTile; }
  const double* sumsOf(int64_t tile, int64_t pair) const {
    return sums_.data() + (tile * pairs_ + pair) * kSums * kTile;
  }

  // The measure from the sums of one cell (acc[k * kTile] is sum k).
  static double measure(const double* acc, double n) {
    const double s0 = acc[0];
    if constexpr (M == Method::pli) {
      return std::fabs(s0 / n);
    } else {
      const double s1 = acc[kTile];
      if constexpr (M == Method::wpli) {
        return s1 == 0.0 ? 0.0 : std::fabs(s0) / s1;
      } else {
        const double s2 = acc[2 * kTile];
        const double denom = s1 * s1 - s2;
        return denom == 0.0 ? 0.0 : (s0 * s0 - s2) / denom;
      }
    }
  }

  int64_t channels_ = 0, cells_ = 0, pairs_ = 0, tiles_ = 0;
  AlignedDoubles sums_;
};

}  // namespace

std::unique_ptr<CrossSums> makeCrossSums(Method method) {
  switch (method) {
    case Method::pli: return std::make_unique<EpochPairSums<Method::pli>>();
    case Method::wpli: return std::make_unique<EpochPairSums<Method::wpli>>();
    case Method::wpli2Debiased: return std::make_unique<EpochPairSums<Method::wpli2Debiased>>();
    default: return std::make_unique<HermitianSums>(method);
  }
}

}  // namespace megcxc::compute
