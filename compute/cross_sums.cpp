#include "compute/cross_sums.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>

#include "platform/parallel.h"

// OpenBLAS runs its own threads inside a call; the sums run one call per
// thread instead, so its threads are switched off when the library is
// OpenBLAS (the symbol is absent with other BLAS libraries).
extern "C" void openblas_set_num_threads(int) __attribute__((weak));

namespace megcxc::compute {

void CoefficientBlock::shape(Layout layout, int64_t channels, int64_t epochs, int64_t cells) {
  layout_ = layout;
  channels_ = channels;
  epochs_ = epochs;
  cells_ = cells;
  if (layout == Layout::cellMajor) {
    data_.assign(static_cast<std::size_t>(channels * epochs * cells), {});
  } else {
    const std::size_t n = static_cast<std::size_t>(tiles() * kTile * epochs * channels);
    re_.assign(n, 0.0);
    im_.assign(n, 0.0);
  }
}

namespace {

// Item k of 0 .. n-1 taken as 0, n-1, 1, n-2, ...: the columns (or rows) of a
// triangle, whose work grows (or shrinks) with the index, paired so that
// consecutive ranges of items carry about the same work.
inline int64_t balancedIndex(int64_t k, int64_t n) { return k % 2 == 0 ? k / 2 : n - 1 - k / 2; }

// ---- csd, cohy, coh, imcoh, plv, ciplv, ppc: Hermitian sums by BLAS ---------

class HermitianSums final : public CrossSums {
 public:
  explicit HermitianSums(Method m) : method_(m) {
    if (openblas_set_num_threads) openblas_set_num_threads(1);
  }
  CoefficientBlock::Layout layout() const override { return CoefficientBlock::Layout::cellMajor; }
  bool unitCoefficients() const override {
    return method_ == Method::plv || method_ == Method::ciplv || method_ == Method::ppc;
  }
  int64_t bytesPerCell(int64_t channels) const override {
    return channels * channels * static_cast<int64_t>(sizeof(std::complex<double>));
  }
  int64_t bytes() const override { return static_cast<int64_t>(sums_.capacity() * sizeof(std::complex<double>)); }

  void start(int64_t channels, int64_t cells) override {
    channels_ = channels;
    cells_ = cells;
    started_ = false;
    sums_.resize(static_cast<std::size_t>(channels * channels * cells));
  }

  void add(const CoefficientBlock& w, int64_t epochs) override {
    const int64_t s = channels_;
    const double beta = started_ ? 1.0 : 0.0;
    started_ = true;
    // sum_e w w^H per cell: the upper triangle (row r <= column c) of a
    // column-major s x s matrix, entry (r, c) = sum_e w_r conj(w_c).
    parallelFor(cells_, s * s * epochs, [&](int64_t begin, int64_t end) {
      for (int64_t j = begin; j < end; ++j) {
        cblas_zherk(CblasColMajor, CblasUpper, CblasNoTrans, static_cast<int>(s), static_cast<int>(epochs), 1.0,
                    w.cell(j), static_cast<int>(s), beta, sums_.data() + j * s * s, static_cast<int>(s));
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
  template <Method M>
  void finishAs(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) {
    const int64_t s = channels_;
    const double n = static_cast<double>(totalEpochs);
    constexpr bool complex = M == Method::csd || M == Method::cohy;
    // The mean power of every channel and cell, from the diagonals.
    std::vector<double> power(static_cast<std::size_t>(cells_ * s));
    for (int64_t j = 0; j < cells_; ++j) {
      for (int64_t r = 0; r < s; ++r) power[static_cast<std::size_t>(j * s + r)] = sums_[static_cast<std::size_t>(j * s * s + r * s + r)].real() / n;
    }
    // A column c at a time: the measure of pairs (r <= c, c) for every cell
    // into a buffer (reading each cell's column of sums in order), then each
    // pair's cells into its planes in plane order.
    parallelFor(s, s * cells_, [&](int64_t begin, int64_t end) {
      std::vector<double> re(static_cast<std::size_t>(s * cells_)), im(complex ? re.size() : 0);
      for (int64_t item = begin; item < end; ++item) {
        const int64_t c = balancedIndex(item, s);
        for (int64_t j = 0; j < cells_; ++j) {
          const std::complex<double>* column = sums_.data() + j * s * s + c * s;
          const double* pw = power.data() + j * s;
          const double pc = pw[c];
          for (int64_t r = 0; r <= c; ++r) {
            const std::size_t at = static_cast<std::size_t>(r * cells_ + j);
            const double cr = column[r].real() / n, ci = column[r].imag() / n;
            if constexpr (M == Method::csd) {
              re[at] = cr;
              im[at] = ci;
            } else if constexpr (M == Method::cohy) {
              const double scale = 1.0 / std::sqrt(pw[r] * pc);
              re[at] = cr * scale;
              im[at] = ci * scale;
            } else if constexpr (M == Method::coh) {
              re[at] = std::sqrt(cr * cr + ci * ci) / std::sqrt(pw[r] * pc);
            } else if constexpr (M == Method::imcoh) {
              re[at] = ci / std::sqrt(pw[r] * pc);
            } else if constexpr (M == Method::plv) {  // the sums are of unit coefficients from here on
              re[at] = std::sqrt(cr * cr + ci * ci);
            } else if constexpr (M == Method::ciplv) {
              double real = std::clamp(cr, -1.0, 1.0);
              if (std::fabs(real) == 1.0) real = 0.0;
              re[at] = std::fabs(ci) / std::sqrt(1.0 - real * real);
            } else {  // ppc, from the sums themselves
              const double sr = column[r].real(), si = column[r].imag();
              re[at] = (sr * sr + si * si - n) / (n * (n - 1.0));
            }
          }
        }
        for (int64_t r = 0; r <= c; ++r) {
          store(out, r, c, block, re.data() + r * cells_, complex ? im.data() + r * cells_ : nullptr);
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
    double* rcIm = im ? out.imag[static_cast<std::size_t>(r * s + c)] : nullptr;
    double* crIm = im ? out.imag[static_cast<std::size_t>(c * s + r)] : nullptr;
    const double mirror = method_ == Method::imcoh && r != c ? -1.0 : 1.0;
    const double conj = r != c ? -1.0 : 1.0;
    for (int64_t ti = 0; ti < b.times; ++ti) {
      const int64_t row = (b.t0 + ti) * out.freqPt + b.f0;
      for (int64_t fi = 0; fi < b.freqs; ++fi) {
        const int64_t j = fi * b.times + ti;
        rcRe[row + fi] = re[j];
        crRe[row + fi] = mirror * re[j];
        if (im) {
          rcIm[row + fi] = im[j];
          crIm[row + fi] = conj * im[j];
        }
      }
    }
  }

  Method method_;
  int64_t channels_ = 0, cells_ = 0;
  bool started_ = false;
  std::vector<std::complex<double>> sums_;
};

// ---- pli, wpli, wpli2_debiased: per-epoch pair loops ------------------------

// The cells of a block (cell j = frequency j / times, time j % times) into
// the planes of pairs (r, c) and (c, r), in plane order.
void storeSymmetric(const PairPlanes& out, int64_t r, int64_t c, const BlockGeometry& b, const double* values) {
  const int64_t s = out.channels;
  double* rc = out.real[static_cast<std::size_t>(r * s + c)];
  double* cr = out.real[static_cast<std::size_t>(c * s + r)];
  for (int64_t ti = 0; ti < b.times; ++ti) {
    const int64_t row = (b.t0 + ti) * out.freqPt + b.f0;
    for (int64_t fi = 0; fi < b.freqs; ++fi) {
      rc[row + fi] = values[fi * b.times + ti];
      cr[row + fi] = values[fi * b.times + ti];
    }
  }
}

constexpr int64_t kTile = CoefficientBlock::kTile;

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

// One function per method, each built for AVX-512, AVX2 and plain x86-64;
// the loader picks the widest the processor has.
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

template <Method M>
class EpochPairSums final : public CrossSums {
 public:
  static constexpr int kSums = M == Method::pli ? 1 : (M == Method::wpli2Debiased ? 3 : 2);
  static constexpr PairTileFn kAdd = pairTileFunction(M);

  CoefficientBlock::Layout layout() const override { return CoefficientBlock::Layout::tiles; }
  int64_t bytesPerCell(int64_t channels) const override {
    return channels * (channels + 1) / 2 * kSums * static_cast<int64_t>(sizeof(double));
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
    // One item is a tile and a row channel r: the pairs (r, c >= r) of that
    // tile, so no two threads touch the same sums.
    parallelFor(tiles_ * s, pairs_ / s * epochs * kTile + 1, [&](int64_t begin, int64_t end) {
      for (int64_t item = begin; item < end; ++item) {
        const int64_t t = item / s, r = item % s;
        const int64_t stride = s * kTile;
        for (int64_t c = r; c < s; ++c) {
          kAdd(w.re(t, 0, r), w.im(t, 0, r), w.re(t, 0, c), w.im(t, 0, c), stride, epochs, sumsOf(t, pairIndex(r, c)));
        }
      }
    });
  }

  void finish(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) override {
    const int64_t s = channels_;
    const double n = static_cast<double>(totalEpochs);
    parallelFor(s, pairs_ / s * cells_ + 1, [&](int64_t begin, int64_t end) {
      std::vector<double> values(static_cast<std::size_t>(cells_));
      for (int64_t item = begin; item < end; ++item) {
        const int64_t r = balancedIndex(item, s);
        for (int64_t c = r; c < s; ++c) {
          const int64_t p = pairIndex(r, c);
          for (int64_t j = 0; j < cells_; ++j) values[static_cast<std::size_t>(j)] = measure(sumsOf(j / kTile, p) + j % kTile, n);
          storeSymmetric(out, r, c, block, values.data());
        }
      }
    });
  }

 private:
  int64_t pairIndex(int64_t r, int64_t c) const { return r * channels_ - r * (r - 1) / 2 + (c - r); }
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
  std::vector<double> sums_;
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
