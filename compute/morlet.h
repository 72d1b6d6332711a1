// Complex Morlet wavelets, as the time-frequency transform of the compute
// module uses them.
//
// The wavelet of frequency f (Hz) with n cycles at sampling rate sfreq:
//   sigma = n / (2 pi f)                     Gaussian width in seconds
//   t_k   = k / sfreq for k = -(m-1) .. m-1, where m is the number of
//           samples 0, 1/sfreq, 2/sfreq, ... below 5 sigma (ceil(5 sigma sfreq))
//   w(t)  = (exp(2 pi i f t) - z) exp(-t^2 / (2 sigma^2))
//           with z = exp(-2 (pi f sigma)^2) for a zero-mean wavelet, else 0
// scaled so that its Euclidean norm is sqrt(2) (its real part then has norm
// 1). These are the wavelets of MNE-Python's mne.time_frequency.morlet; the
// length is always odd, 2m - 1, with a sample at t = 0 in the middle.
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace megcxc::compute {

// Number of samples of the wavelet of `freq` Hz with `cycles` cycles.
int64_t morletLength(double sfreq, double freq, double cycles);

// The largest number of cycles whose wavelet at `freq` Hz still fits into
// `samples` samples (0 when not even one sample fits).
double morletMaxCycles(double sfreq, double freq, int64_t samples);

// The wavelet as described above; freq, cycles and sfreq must be positive.
std::vector<std::complex<double>> morletWavelet(double sfreq, double freq, double cycles, bool zeroMean);

}  // namespace megcxc::compute
