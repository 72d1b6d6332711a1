// The sums over epochs behind every connectivity measure, and their final
// step into the planes of a dataset.
//
// A run works block by block: a block is a set of cells (frequencies x kept
// time points) for which the wavelet coefficients of every channel are
// computed, one chunk of epochs at a time, and added into the block's sums.
// When all epochs are in, finish() turns the sums into the measure and writes
// every pair's cells.
//
// The coefficients of a block lie in tiles of kTile cells with split real and
// imaginary parts; every pair r <= c of a tile is visited per epoch, the
// cells of a tile side by side in vector lanes. Two kinds of sums:
// - csd, cohy, coh and imcoh need only the mean cross-spectrum
//   sum_e w_r conj(w_c) (a Hermitian rank-k update per cell). plv, ciplv and
//   ppc sum S_e / |S_e|, and since |S_e| = |w_r| |w_c| that is u_r conj(u_c)
//   with u = w / |w|: the same sums over unit coefficients. Kernels for
//   AVX-512 and AVX2 (with fused multiply-add) take a block of pairs at once,
//   so each coefficient loaded serves several pairs; the processor's widest
//   one is chosen at run time, a portable loop otherwise;
// - pli, wpli and wpli2_debiased take the sign or magnitude of Im S_e per
//   epoch, which does not factor: one pair at a time over a tile, loops the
//   compiler vectorises for each processor variant.
#pragma once

#include <complex>
#include <cstdint>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "compute/connectivity.h"
#include "platform/byte_buffer.h"

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
  // When set, finish() calls it for pairs (r, c) and (c, r) (from the thread
  // that writes them, each pair once) before writing their cells: it gives
  // the pairs their planes and sets their pointers above, so a new plane is
  // still in the cache when its first cells arrive. A pair it fails for is
  // skipped and `failed` is set.
  std::function<bool(int64_t r, int64_t c)> prepare;
  std::atomic<bool>* failed = nullptr;

  // Prepares (r, c) and (c, r) when asked to; false when they have no planes.
  bool ready(int64_t r, int64_t c) const {
    if (!prepare) return true;
    if (prepare(r, c) && (r == c || prepare(c, r))) return true;
    *failed = true;
    return false;
  }
};

// Work memory for the sums and coefficients: on 64-byte boundaries, so that
// vector loads of whole tiles never straddle cache lines; large blocks have
// their pages mapped in one call (see populateWorkMemory); resize() leaves
// new elements uninitialised (every user writes them before reading).
void populateWorkMemory(void* p, std::size_t bytes);

template <class T>
struct AlignedAllocator : LeavesNewElementsUnset {
  using value_type = T;
  AlignedAllocator() = default;
  template <class U>
  AlignedAllocator(const AlignedAllocator<U>&) {}
  T* allocate(std::size_t n) {
    T* p = static_cast<T*>(::operator new(n * sizeof(T), std::align_val_t{64}));
    populateWorkMemory(p, n * sizeof(T));
    return p;
  }
  void deallocate(T* p, std::size_t) { ::operator delete(p, std::align_val_t{64}); }
  template <class U>
  bool operator==(const AlignedAllocator<U>&) const { return true; }
};
using AlignedDoubles = std::vector<double, AlignedAllocator<double>>;

// Coefficients of one block for a chunk of epochs: tiles of kTile cells, each
// tile holding every channel and epoch (a channel's epochs one after another,
// so the sums read each channel as one stream).
class CoefficientBlock {
 public:
  static constexpr int64_t kTile = 8;

  // Room for `channels` x `epochs` x `cells` coefficients in whole tiles
  // (kept between calls when large enough; the cells' coefficients are not
  // cleared, the lanes past the last cell are 0).
  void shape(int64_t channels, int64_t epochs, int64_t cells);

  int64_t channels() const { return channels_; }
  int64_t epochs() const { return epochs_; }
  int64_t cells() const { return cells_; }
  int64_t tiles() const { return (cells_ + kTile - 1) / kTile; }
  // kTile real / imaginary parts of channel ch, epoch e, tile t; the next
  // epoch follows after kTile values, the next channel after epochs() kTile.
  const double* re(int64_t t, int64_t e, int64_t ch) const { return re_.data() + ((t * channels_ + ch) * epochs_ + e) * kTile; }
  const double* im(int64_t t, int64_t e, int64_t ch) const { return im_.data() + ((t * channels_ + ch) * epochs_ + e) * kTile; }
  double* re(int64_t t, int64_t e, int64_t ch) { return re_.data() + ((t * channels_ + ch) * epochs_ + e) * kTile; }
  double* im(int64_t t, int64_t e, int64_t ch) { return im_.data() + ((t * channels_ + ch) * epochs_ + e) * kTile; }
  int64_t bytes() const { return static_cast<int64_t>((re_.capacity() + im_.capacity()) * sizeof(double)); }

 private:
  int64_t channels_ = 0, epochs_ = 0, cells_ = 0;
  AlignedDoubles re_, im_;
};

// The vector kernels the sums use: the widest the processor runs, unless
// limited (tests run every kind on one machine).
enum class VectorKernels { portable, avx2, avx512 };
VectorKernels vectorKernels();
// Uses at most `widest` from now on (never more than the processor runs);
// returns the previous limit.
VectorKernels limitVectorKernels(VectorKernels widest);

class CrossSums {
 public:
  virtual ~CrossSums() = default;
  // True when the sums want each coefficient divided by its magnitude
  // (0 staying 0 for ppc, NaN for plv and ciplv as 0 / 0).
  virtual bool unitCoefficients() const { return false; }
  // Bytes per cell for `channels` channels: the sums and the buffers of the
  // final step (with the current number of worker threads).
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
