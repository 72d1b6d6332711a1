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

// Cell j of a block in a pair's cell array.
inline int64_t planeIndex(const BlockGeometry& b, int64_t freqPt, int64_t j) {
  return (b.t0 + j % b.times) * freqPt + b.f0 + j / b.times;
}

// ---- csd, cohy, coh, imcoh: Hermitian sums by BLAS ---------------------------

class HermitianSums final : public CrossSums {
 public:
  explicit HermitianSums(Method m) : method_(m) {
    if (openblas_set_num_threads) openblas_set_num_threads(1);
  }
  CoefficientBlock::Layout layout() const override { return CoefficientBlock::Layout::cellMajor; }
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
    const int64_t s = channels_;
    const double n = static_cast<double>(totalEpochs);
    const int64_t F = out.freqPt;
    parallelFor(s, s * cells_, [&](int64_t begin, int64_t end) {
      for (int64_t c = begin; c < end; ++c) {
        for (int64_t j = 0; j < cells_; ++j) {
          const std::complex<double>* m = sums_.data() + j * s * s;
          const int64_t at = planeIndex(block, F, j);
          const double pc = m[c * s + c].real() / n;
          for (int64_t r = 0; r <= c; ++r) {
            const std::complex<double> csd = m[c * s + r] / n;
            const double pr = m[r * s + r].real() / n;
            write(out, r, c, at, csd, pr, pc);
          }
        }
      }
    });
  }

 private:
  void write(const PairPlanes& out, int64_t r, int64_t c, int64_t at, std::complex<double> csd, double pr,
             double pc) const {
    const int64_t s = out.channels;
    double* rcRe = out.real[static_cast<std::size_t>(r * s + c)];
    double* crRe = out.real[static_cast<std::size_t>(c * s + r)];
    switch (method_) {
      case Method::csd:
      case Method::cohy: {
        const std::complex<double> v = method_ == Method::csd ? csd : csd / std::sqrt(pr * pc);
        rcRe[at] = v.real();
        out.imag[static_cast<std::size_t>(r * s + c)][at] = v.imag();
        // The other triangle holds the conjugate (on the diagonal the
        // imaginary part is 0 either way).
        crRe[at] = v.real();
        out.imag[static_cast<std::size_t>(c * s + r)][at] = r == c ? v.imag() : -v.imag();
        break;
      }
      case Method::coh: {
        const double v = std::abs(csd) / std::sqrt(pr * pc);
        rcRe[at] = v;
        crRe[at] = v;
        break;
      }
      default: {  // imcoh: odd under exchange of the two channels
        const double v = csd.imag() / std::sqrt(pr * pc);
        rcRe[at] = v;
        crRe[at] = r == c ? v : -v;
        break;
      }
    }
  }

  Method method_;
  int64_t channels_ = 0, cells_ = 0;
  bool started_ = false;
  std::vector<std::complex<double>> sums_;
};

// ---- plv, ciplv, ppc, pli, wpli, wpli2_debiased: per-epoch pair loops -------

constexpr int64_t kTile = CoefficientBlock::kTile;

// Adds one epoch of pair (a, b) over a tile: x = a conj(b) per cell, then
// the method's term of x into acc (one array of kTile per sum).
template <Method M>
inline void addEpoch(const double* __restrict ar, const double* __restrict ai, const double* __restrict br,
                     const double* __restrict bi, double* __restrict acc) {
  double* __restrict s0 = acc;
  double* __restrict s1 = acc + kTile;
  double* __restrict s2 = acc + 2 * kTile;
  for (int64_t k = 0; k < kTile; ++k) {
    const double xi = ai[k] * br[k] - ar[k] * bi[k];
    if constexpr (M == Method::plv || M == Method::ciplv || M == Method::ppc) {
      const double xr = ar[k] * br[k] + ai[k] * bi[k];
      const double m = std::sqrt(xr * xr + xi * xi);
      double inv = 1.0 / m;
      // plv and ciplv divide by 0 where x is 0 (NaN); ppc counts 0 there.
      if constexpr (M == Method::ppc) inv = m > 0.0 ? inv : 0.0;
      s0[k] += xr * inv;
      s1[k] += xi * inv;
    } else if constexpr (M == Method::pli) {
      s0[k] += xi > 0.0 ? 1.0 : (xi < 0.0 ? -1.0 : 0.0);
    } else {
      s0[k] += xi;
      s1[k] += std::fabs(xi);
      if constexpr (M == Method::wpli2Debiased) s2[k] += xi * xi;
    }
  }
}

template <Method M>
class EpochPairSums final : public CrossSums {
 public:
  static constexpr int kSums = M == Method::pli ? 1 : (M == Method::wpli2Debiased ? 3 : 2);

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
        for (int64_t c = r; c < s; ++c) {
          double* acc = sumsOf(t, pairIndex(r, c));
          for (int64_t e = 0; e < epochs; ++e) {
            addEpoch<M>(w.re(t, e, r), w.im(t, e, r), w.re(t, e, c), w.im(t, e, c), acc);
          }
        }
      }
    });
  }

  void finish(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) override {
    const int64_t s = channels_;
    const double n = static_cast<double>(totalEpochs);
    parallelFor(s, pairs_ / s * cells_ + 1, [&](int64_t begin, int64_t end) {
      for (int64_t r = begin; r < end; ++r) {
        for (int64_t c = r; c < s; ++c) {
          const int64_t p = pairIndex(r, c);
          double* rc = out.real[static_cast<std::size_t>(r * s + c)];
          double* cr = out.real[static_cast<std::size_t>(c * s + r)];
          for (int64_t j = 0; j < cells_; ++j) {
            const double* acc = sumsOf(j / kTile, p) + j % kTile;
            const double v = measure(acc, n);
            const int64_t at = planeIndex(block, out.freqPt, j);
            rc[at] = v;
            cr[at] = v;
          }
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
      if constexpr (M == Method::plv) {
        return std::hypot(s0 / n, s1 / n);
      } else if constexpr (M == Method::ciplv) {
        double re = std::clamp(s0 / n, -1.0, 1.0);
        if (std::fabs(re) == 1.0) re = 0.0;
        return (std::fabs(s1) / n) / std::sqrt(1.0 - re * re);
      } else if constexpr (M == Method::ppc) {
        return (s0 * s0 + s1 * s1 - n) / (n * (n - 1.0));
      } else if constexpr (M == Method::wpli) {
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
    case Method::plv: return std::make_unique<EpochPairSums<Method::plv>>();
    case Method::ciplv: return std::make_unique<EpochPairSums<Method::ciplv>>();
    case Method::ppc: return std::make_unique<EpochPairSums<Method::ppc>>();
    case Method::pli: return std::make_unique<EpochPairSums<Method::pli>>();
    case Method::wpli: return std::make_unique<EpochPairSums<Method::wpli>>();
    case Method::wpli2Debiased: return std::make_unique<EpochPairSums<Method::wpli2Debiased>>();
    default: return std::make_unique<HermitianSums>(method);
  }
}

}  // namespace megcxc::compute
