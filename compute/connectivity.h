// Time-frequency connectivity between every pair of sensors, computed from
// sensor epochs into a dataset.
//
// Input: epochs x channels x samples (C order, float64 or float32) sampled at
// `sfreq` Hz. Each epoch and channel is convolved ("same" mode, by FFT) with
// complex Morlet wavelets (compute/morlet.h), giving coefficients W[e, ch, f, t]
// at every kept sample t (the samples tmin .. tmax of the epoch, every
// `decim`-th of them, starting with the first). For a pair of channels
// (r, c) the epoch's cross-spectrum is S_e = W_r conj(W_c); with n epochs:
//
//   csd             mean_e S_e                                   complex
//   cohy            csd_rc / sqrt(P_r P_c),  P_x = mean_e |W_x|^2 complex
//   coh             |csd_rc| / sqrt(P_r P_c)                      real
//   imcoh           Im(csd_rc) / sqrt(P_r P_c)                    real
//   plv             |mean_e S_e / |S_e||                          real
//   ciplv           |Im m| / sqrt(1 - Re(m)^2), m = mean_e S_e/|S_e|, with
//                   Re(m) clipped to [-1, 1] and taken as 0 where |Re(m)| = 1
//   ppc             (|sum_e S_e/|S_e||^2 - n) / (n (n - 1)), terms with
//                   S_e = 0 counting 0
//   pli             |mean_e sign(Im S_e)|
//   wpli            |sum_e Im S_e| / sum_e |Im S_e|  (0 where the sum is 0)
//   wpli2_debiased  ((sum Im S_e)^2 - sum (Im S_e)^2) /
//                   ((sum |Im S_e|)^2 - sum (Im S_e)^2)  (0 where that is 0)
//
// These are the estimators of mne-connectivity's spectral_connectivity_epochs
// in mode "cwt_morlet" (which always uses zero-mean wavelets: set zeroMean to
// get its figures), pair (r, c) holding what it reports for seed r and target
// c. plv and ciplv, as there, give NaN where a cross-spectrum is exactly 0.
//
// The dataset: rows and columns are the channels, every ordered pair present;
// pair (c, r) holds the conjugate of (r, c) for csd and cohy, the negative for
// imcoh and the same value for the real measures. Complex measures fill the
// real and imaginary planes, real measures the real plane alone (no imaginary
// plane); each pair keeps its raw backup. Axes: frequency in Hz (linear or
// geometric, as the frequencies given are), time point k at sample
// timeDataBegin + k * timeStep of the epoch (timeDataBegin = first sample
// used, timeStep = decim); auxFactor1 = sfreq (samples per second) and
// auxValue1 = the time of point 0 in seconds, so the time statistics report
// labels its lines in seconds. cmptType 0 ("CWT"), cxcType the measure's name.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CDialog;
class CString;
class CSpctmTrlCCDatazq;

namespace megcxc::compute {

enum class Method { csd, cohy, coh, imcoh, plv, ciplv, ppc, pli, wpli, wpli2Debiased };

inline constexpr Method kAllMethods[] = {Method::csd, Method::cohy, Method::coh,  Method::imcoh, Method::plv,
                                         Method::ciplv, Method::ppc, Method::pli, Method::wpli,  Method::wpli2Debiased};

// "csd", "cohy", ..., "wpli2_debiased".
const char* methodKey(Method method);
// The method of a key, or nothing.
std::optional<Method> methodFromKey(std::string_view key);
// Readable name ("Coherence"), the dataset's cxcType.
const char* methodTitle(Method method);
// True for csd and cohy (real and imaginary planes).
bool isComplexMethod(Method method);

// A view of epochs x channels x samples values in C order, owned elsewhere.
struct EpochsView {
  const double* float64 = nullptr;  // exactly one of the two pointers is set
  const float* float32 = nullptr;
  int64_t epochs = 0;
  int64_t channels = 0;
  int64_t samples = 0;

  double at(int64_t e, int64_t ch, int64_t s) const {
    const int64_t i = (e * channels + ch) * samples + s;
    return float64 ? float64[i] : static_cast<double>(float32[i]);
  }
};

struct Options {
  double sfreq = 0.0;                // sampling rate in Hz
  std::vector<double> freqs;         // wavelet frequencies in Hz, increasing
  std::vector<double> nCycles{7.0};  // one value, or one per frequency
  bool zeroMean = false;             // zero-mean wavelets (mne-connectivity uses them)
  int64_t decim = 1;                 // keep every decim-th sample
  std::optional<double> tmin;        // seconds from the first sample of an epoch
  std::optional<double> tmax;        // inclusive; both rounded to the nearest sample
  Method method = Method::coh;
  // Bytes for the wavelet coefficients and the running sums held at once
  // besides the result; 0 chooses a fifth of result plus input (at least
  // 256 MB). The work is split into frequency (or time) blocks and epoch
  // chunks to stay within it.
  int64_t workBytes = 0;
};

// What a run will do, worked out (and checked) before anything is allocated.
struct Plan {
  int64_t epochs = 0, channels = 0;
  int64_t firstSample = 0;   // of the epoch, the first one transformed
  int64_t samples = 0;       // samples transformed (tmin .. tmax)
  int64_t timePoints = 0;    // kept samples
  int64_t freqPoints = 0;
  int64_t fftLength = 0;
  int64_t longestWavelet = 0;
  bool geometricFreqs = false;
  double freqStepHz = 0.0;   // linear axis
  double freqRatio = 1.0;    // geometric axis
  int planes = 0;            // working planes per pair (1 real, 2 complex)
  int64_t resultBytes = 0;   // the dataset: planes and their raw backup
  int64_t inputBytes = 0;    // the epochs as handed in
  int64_t workBytes = 0;     // coefficients and sums at most, besides
  int64_t freqsPerBlock = 0; // frequencies per block (0: one frequency in time blocks)
  int64_t timesPerBlock = 0;
  int64_t epochsPerChunk = 0;
};

// Checks epochs and options and works out the plan. Throws megcxc::Refused
// with one line for: fewer than 2 epochs, an empty dimension, a sampling rate
// that is not positive, no frequency, a frequency that is not positive, not
// increasing or above the Nyquist frequency, frequencies neither evenly spaced
// nor of constant ratio, cycles that are not positive or not one per frequency,
// decim below 1, a tmin / tmax range without samples, a wavelet longer than the
// samples transformed (naming the frequency and the most cycles that fit).
// The samples themselves are checked by computeConnectivity.
Plan planConnectivity(const EpochsView& epochs, const Options& options);

// Throws megcxc::Refused naming the first sample that is NaN or infinite
// (epoch, channel, sample).
void checkFiniteSamples(const EpochsView& epochs);

// start, start + step, ... up to stop (included when the steps reach it to
// within a millionth of a step). Refused for a step that is not positive or
// a stop below the start.
std::vector<double> linearFrequencies(double start, double stop, double step);

// Progress of a run: `callback` (when set) hears each phase ("wavelets",
// "sums", "result") with work done and total; the dataset's own progress
// notices go to dialog / text (may be null) while its pairs are built, and
// when no callback is set the blocks of the computation are posted there too.
struct Progress {
  std::function<void(const char* phase, int64_t done, int64_t total)> callback;
  CDialog* dialog = nullptr;
  CString* text = nullptr;
};

// What a run did.
struct RunFigures {
  double seconds = 0.0;
  double cpuSeconds = 0.0;  // of the whole process meanwhile (every thread)
  int64_t blocks = 0;
  int64_t epochChunks = 0;
  int64_t peakWorkBytes = 0;  // coefficients and sums held at once
  // Where the time went: building the matrix of pairs, wavelet transforms,
  // sums over epochs, the measure into the planes (the pairs' planes are
  // made and first touched there, in the first block), the raw backups.
  double buildSeconds = 0.0, transformSeconds = 0.0, sumsSeconds = 0.0, resultSeconds = 0.0, backupSeconds = 0.0;
};

// Computes the measure into `dataset`, replacing what it held: builds its
// channels x channels pairs, fills them, sets its axes and takes the raw
// backups. Throws megcxc::Refused for everything planConnectivity refuses, for
// a sample that is not finite (naming epoch, channel and sample) and when the
// dataset cannot be built; the dataset is untouched by a refusal found before
// the computation starts. Uses workerThreads() threads.
RunFigures computeConnectivity(const EpochsView& epochs, const Options& options, CSpctmTrlCCDatazq& dataset,
                               const Progress& progress = {});

}  // namespace megcxc::compute
