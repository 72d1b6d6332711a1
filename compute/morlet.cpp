#include "compute/morlet.h"

#include <cmath>
#include <numbers>

namespace megcxc::compute {

namespace {

double sigmaOf(double freq, double cycles) { return cycles / (2.0 * std::numbers::pi * freq); }

// Samples 0, dt, 2 dt, ... below `stop`: the count NumPy's arange gives.
int64_t halfLength(double stop, double dt) {
  const double n = std::ceil(stop / dt);
  return n < 1.0 ? 1 : static_cast<int64_t>(n);
}

}  // namespace

int64_t morletLength(double sfreq, double freq, double cycles) {
  return 2 * halfLength(5.0 * sigmaOf(freq, cycles), 1.0 / sfreq) - 1;
}

double morletMaxCycles(double sfreq, double freq, int64_t samples) {
  // 2m - 1 <= samples  <=>  m <= (samples + 1) / 2  <=>  5 sigma sfreq <= m.
  const int64_t m = (samples + 1) / 2;
  if (m < 1) return 0.0;
  double cycles = static_cast<double>(m) * 2.0 * std::numbers::pi * freq / (5.0 * sfreq);
  // The bound is exact in real numbers; step down past rounding at the edge.
  while (cycles > 0.0 && morletLength(sfreq, freq, cycles) > samples) cycles = std::nextafter(cycles, 0.0);
  return cycles;
}

std::vector<std::complex<double>> morletWavelet(double sfreq, double freq, double cycles, bool zeroMean) {
  const double sigma = sigmaOf(freq, cycles);
  const double dt = 1.0 / sfreq;
  const int64_t m = halfLength(5.0 * sigma, dt);
  const double offset = zeroMean ? std::exp(-2.0 * (std::numbers::pi * freq * sigma) * (std::numbers::pi * freq * sigma)) : 0.0;
  std::vector<std::complex<double>> w(static_cast<std::size_t>(2 * m - 1));
  double sumSq = 0.0;
  for (int64_t k = -(m - 1); k <= m - 1; ++k) {
    // The time of a sample is |k| dt negated for k < 0, as the symmetric
    // construction from the non-negative half gives.
    const double ta = static_cast<double>(k < 0 ? -k : k) * dt;
    const double t = k < 0 ? -ta : ta;
    const double phase = 2.0 * std::numbers::pi * freq * t;
    const double envelope = std::exp(-(t * t) / (2.0 * sigma * sigma));
    const std::complex<double> v((std::cos(phase) - offset) * envelope, std::sin(phase) * envelope);
    w[static_cast<std::size_t>(k + m - 1)] = v;
    sumSq += v.real() * v.real() + v.imag() * v.imag();
  }
  const double scale = 1.0 / (std::sqrt(0.5) * std::sqrt(sumSq));
  for (auto& v : w) v *= scale;
  return w;
}

}  // namespace megcxc::compute
