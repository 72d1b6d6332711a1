// The sums over epochs behind every connectivity measure, and their final
// step into the planes of a dataset.
//
// A run works block by block: a block is a set of cells (frequencies x kept
// time points) for which the wavelet coefficients of every channel are
// computed, one chunk of epochs at a time, and added into the block's sums.
// When all epochs are in, finish() turns the sums into the measure and writes
// every pair's cells.
//
// Two kinds of sums:
// - csd, cohy, coh and imcoh need only the mean cross-spectrum: per cell the
//   Hermitian matrix sum_e w_e w_e^H of the channels' coefficient vectors, a
//   rank-k update done by BLAS (zherk) per cell, cells spread over threads.
//   plv, ciplv and ppc sum S_e / |S_e|, and since |S_e| = |w_r| |w_c| that is
//   u_r conj(u_c) with u = w / |w|: the same update over unit coefficients;
// - pli, wpli and wpli2_debiased take the sign or magnitude of Im S_e per
//   epoch, which does not factor, so every pair r <= c is visited per epoch:
//   loops over tiles of kTile cells with split real and imaginary parts,
//   which the compiler vectorises, tiles spread over threads.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#include "compute/connectivity.h"

namespace megcxc::compute {

// Where the cells of one block lie in the dataset: frequency points
// f0 .. f0+freqs-1 and time points t0 .. t0+times-1; cell j of the block is
// frequency f0 + j / times at time point t0 + j % times.
struct BlockGeometry {
  int64_t f0 = 0, freqs = 1, t0 = 0, times = 1;
  int64_t cells() const { return freqs * times; }
};

// The working planes of every pair of a dataset as cell arrays (row-major
// time x frequency, freqPt cells a row): pair (r, c) at r * channels + c.
struct PairPlanes {
  int64_t channels = 0;
  int64_t freqPt = 0;
  std::vector<double*> real;
  std::vector<double*> imag;  // empty for real measures
};

// Coefficients of one block for a chunk of epochs, laid out for the sums.
class CoefficientBlock {
 public:
  static constexpr int64_t kTile = 32;
  enum class Layout { cellMajor, tiles };

  // Room for `channels` x `epochs` x `cells` coefficients (kept between calls
  // when large enough). Tiles are zero-padded to whole tiles.
  void shape(Layout layout, int64_t channels, int64_t epochs, int64_t cells);

  // Coefficient of channel ch, epoch e (of the chunk), cell j.
  void put(int64_t ch, int64_t e, int64_t j, std::complex<double> v) {
    if (layout_ == Layout::cellMajor) {
      data_[static_cast<std::size_t>((j * epochs_ + e) * channels_ + ch)] = v;
    } else {
      const int64_t at = ((j / kTile * epochs_ + e) * channels_ + ch) * kTile + j % kTile;
      re_[static_cast<std::size_t>(at)] = v.real();
      im_[static_cast<std::size_t>(at)] = v.imag();
    }
  }

  Layout layout() const { return layout_; }
  int64_t channels() const { return channels_; }
  int64_t epochs() const { return epochs_; }
  int64_t cells() const { return cells_; }
  int64_t tiles() const { return (cells_ + kTile - 1) / kTile; }
  // cellMajor: cell j's channels x epochs matrix, column-major (a channel's
  // coefficients of one epoch next to each other).
  const std::complex<double>* cell(int64_t j) const { return data_.data() + j * epochs_ * channels_; }
  // tiles: kTile real / imaginary parts of channel ch, epoch e, tile t.
  const double* re(int64_t t, int64_t e, int64_t ch) const { return re_.data() + ((t * epochs_ + e) * channels_ + ch) * kTile; }
  const double* im(int64_t t, int64_t e, int64_t ch) const { return im_.data() + ((t * epochs_ + e) * channels_ + ch) * kTile; }
  int64_t bytes() const {
    return static_cast<int64_t>(data_.capacity() * sizeof(std::complex<double>) + (re_.capacity() + im_.capacity()) * sizeof(double));
  }

 private:
  Layout layout_ = Layout::cellMajor;
  int64_t channels_ = 0, epochs_ = 0, cells_ = 0;
  std::vector<std::complex<double>> data_;
  std::vector<double> re_, im_;
};

class CrossSums {
 public:
  virtual ~CrossSums() = default;
  virtual CoefficientBlock::Layout layout() const = 0;
  // True when the sums want each coefficient divided by its magnitude
  // (0 staying 0 for ppc, NaN for plv and ciplv as 0 / 0).
  virtual bool unitCoefficients() const { return false; }
  // Bytes of sums per cell for `channels` channels.
  virtual int64_t bytesPerCell(int64_t channels) const = 0;
  // Zeroes the sums for a block of `cells` cells.
  virtual void start(int64_t channels, int64_t cells) = 0;
  // Adds the first `epochs` epochs of the coefficients.
  virtual void add(const CoefficientBlock& w, int64_t epochs) = 0;
  // Writes the measure over `totalEpochs` epochs into the block's cells of
  // every pair (both triangles and the diagonal).
  virtual void finish(int64_t totalEpochs, const BlockGeometry& block, const PairPlanes& out) = 0;
  virtual int64_t bytes() const = 0;
};

std::unique_ptr<CrossSums> makeCrossSums(Method method);

}  // namespace megcxc::compute
