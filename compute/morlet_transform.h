// The Morlet transform of one signal at a set of frequencies, by FFT
// convolution with FFTW.
//
// The wavelets' spectra are computed once, scaled by 1/N, for one FFT length
// N that holds the samples plus the longest wavelet less one, so that the
// circular convolution equals the linear one. A signal is transformed once
// (real to complex, its other half filled by symmetry) and multiplied by a
// wavelet's spectrum; the "same" part of the convolution, centred on the
// wavelet, is the result. Only every decim-th sample of it is kept, so N is
// a multiple of decim (N = decim M) and the product is folded onto M bins
// before a transform of length M: with z[i] = sum_k P[k] w^(k i), w =
// exp(2 pi i / N), the kept samples z[start + m decim] equal
// sum_q exp(2 pi i q m / M) sum_p P[q + p M] w^((q + p M) start), and the
// phase w^(k start) is part of the stored wavelet spectrum.
// The plans are made once and shared: any number of threads may transform at
// the same time, each with its own Scratch.
#pragma once

#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

namespace megcxc::compute {

class MorletTransform {
 public:
  // The wavelets of `freqs` with `cycles` (one per frequency) for signals of
  // `samples` samples, keeping samples 0, decim, 2 decim, ... Every wavelet
  // must fit into `samples`.
  MorletTransform(double sfreq, const std::vector<double>& freqs, const std::vector<double>& cycles, bool zeroMean,
                  int64_t samples, int64_t decim = 1);
  ~MorletTransform();
  MorletTransform(const MorletTransform&) = delete;
  MorletTransform& operator=(const MorletTransform&) = delete;

  int64_t fftLength() const { return n_; }
  int64_t samples() const { return samples_; }
  int64_t longestWavelet() const { return longest_; }

  // Buffers of one thread (aligned as the plans expect).
  class Scratch {
   public:
    explicit Scratch(const MorletTransform& t);
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

   private:
    friend class MorletTransform;
    double* signal_;
    std::complex<double>* spectrum_;
    std::complex<double>* product_;
    std::complex<double>* result_;
  };

  // Takes the signal (samples() values, read through `sample(i)`) into the
  // scratch and transforms it; then same(f, scratch) gives its coefficients
  // at frequency f, valid until the next call with this scratch.
  template <class Sample>
  void load(Sample&& sample, Scratch& s) const {
    for (int64_t i = 0; i < samples_; ++i) s.signal_[i] = sample(i);
    forward(s);
  }
  // The coefficients of the loaded signal at frequency index f: element m is
  // that of sample m decim, for every kept sample.
  const std::complex<double>* same(int64_t f, Scratch& s) const;

  // The FFT length for n: the smallest length >= n with no prime factor above
  // 7, or the next power of two when that is at most a quarter longer.
  static int64_t fastLength(int64_t n);
  // The FFT length of a transform keeping every decim-th sample of a linear
  // convolution of length n: decim times fastLength(ceil(n / decim)).
  static int64_t fftLength(int64_t n, int64_t decim) { return decim * fastLength((n + decim - 1) / decim); }

 private:
  void forward(Scratch& s) const;

  int64_t samples_;
  int64_t decim_;
  int64_t n_;
  int64_t bins_;  // n_ / decim_
  int64_t longest_ = 0;
  std::vector<std::complex<double>*> spectra_;
  void* forwardPlan_ = nullptr;
  void* backwardPlan_ = nullptr;  // length bins_
};

}  // namespace megcxc::compute
