#include "host/demo_data.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "face/meg_spctm_cc_data_facezq.h"
#include "host/metadata.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace megcxc::host {

namespace {

// Largest demo: 512 sensors make 262144 pairs, already far beyond "a few
// seconds"; the limits keep a typo from asking for terabytes.
constexpr int64_t kMaxSensors = 512;
constexpr int64_t kMaxPoints = 4096;

// Background coherency at zero distance and its decay length (in units of
// the helmet radius): neighbouring sensors share about a quarter of their
// signal through field spread.
constexpr double kSpreadCoherency = 0.75;
constexpr double kSpreadLength = 0.25;
// Coherency added between coupled sensors at the centre of the band and the
// time window.
constexpr double kCoupling = 0.6;
// Phase lag between the two hemispheres of the coupled group (radians).
constexpr double kHemisphereLag = 0.9;
// Standard deviation of the complex estimation noise of the coherency.
constexpr double kCoherencyNoise = 0.03;
// Power: 1/f with this scale, an alpha bump of this relative height and width
// (Hz), a per-sensor gain spread and a per-cell log-normal fluctuation.
constexpr double kPowerScale = 300.0;
constexpr double kAlphaBump = 2.0;
constexpr double kAlphaWidthHz = 2.0;
constexpr double kGainSpread = 0.2;
constexpr double kPowerFluctuation = 0.05;
constexpr double kCentreHz = 10.0;

uint64_t splitmix64(uint64_t& state) {
  uint64_t z = (state += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

// xoshiro256** seeded through splitmix64 from a key, with Box-Muller normals.
class Random {
 public:
  explicit Random(uint64_t key) {
    uint64_t s = key;
    for (uint64_t& w : state_) w = splitmix64(s);
  }
  uint64_t next() {
    const uint64_t result = rotl(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = rotl(state_[3], 45);
    return result;
  }
  // Uniform in (0, 1].
  double uniform() { return (static_cast<double>(next() >> 11) + 1.0) * 0x1.0p-53; }
  double normal() {
    if (hasSpare_) {
      hasSpare_ = false;
      return spare_;
    }
    const double r = std::sqrt(-2.0 * std::log(uniform()));
    const double phi = 2.0 * std::numbers::pi * uniform();
    spare_ = r * std::sin(phi);
    hasSpare_ = true;
    return r * std::cos(phi);
  }

 private:
  static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t state_[4];
  double spare_ = 0.0;
  bool hasSpare_ = false;
};

// A key that depends on the seed, the stream's purpose and its indices only,
// so every value is the same whatever order the pairs are visited in.
uint64_t streamKey(uint64_t seed, uint64_t purpose, uint64_t a, uint64_t b) {
  uint64_t s = seed ^ (purpose * 0xD1B54A32D192ED03ull);
  s = splitmix64(s) ^ (a * 0x9E3779B97F4A7C15ull);
  s = splitmix64(s) ^ (b * 0xC2B2AE3D27D4EB4Full);
  return splitmix64(s);
}

struct Point {
  double x, y, z;
};

// Sensors on a half sphere (a helmet), spread evenly by the golden angle.
std::vector<Point> sensorPositions(int64_t count) {
  std::vector<Point> p(static_cast<std::size_t>(count));
  const double golden = std::numbers::pi * (3.0 - std::sqrt(5.0));
  for (int64_t i = 0; i < count; ++i) {
    const double z = 1.0 - 0.9 * (static_cast<double>(i) + 0.5) / static_cast<double>(count);
    const double r = std::sqrt(1.0 - z * z);
    const double phi = golden * static_cast<double>(i);
    p[static_cast<std::size_t>(i)] = {r * std::cos(phi), r * std::sin(phi), z};
  }
  return p;
}

double distance(const Point& a, const Point& b) {
  return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
}

// The `n` sensors nearest to `centre` that are not yet in `taken`.
void takeNearest(const std::vector<Point>& sensors, const Point& centre, int64_t n, std::vector<int64_t>& taken) {
  for (int64_t k = 0; k < n; ++k) {
    int64_t best = -1;
    double bestDistance = 0.0;
    for (int64_t i = 0; i < static_cast<int64_t>(sensors.size()); ++i) {
      if (std::find(taken.begin(), taken.end(), i) != taken.end()) continue;
      const double d = distance(sensors[static_cast<std::size_t>(i)], centre);
      if (best < 0 || d < bestDistance) {
        best = i;
        bestDistance = d;
      }
    }
    if (best >= 0) taken.push_back(best);
  }
}

}  // namespace

std::string checkDemoOptions(const DemoOptions& o) {
  if (o.sensors < 2 || o.sensors > kMaxSensors) {
    return "--sensors must lie between 2 and " + std::to_string(kMaxSensors);
  }
  if (o.timePt < 1 || o.timePt > kMaxPoints) return "--time must lie between 1 and " + std::to_string(kMaxPoints);
  if (o.freqPt < 1 || o.freqPt > kMaxPoints) return "--freq must lie between 1 and " + std::to_string(kMaxPoints);
  return "";
}

double demoFrequencyHz(const DemoOptions& o, int64_t k) {
  if (o.freqPt < 2) return o.firstHz;
  return o.firstHz + static_cast<double>(k) * (o.lastHz - o.firstHz) / static_cast<double>(o.freqPt - 1);
}

DemoTruth demoTruth(const DemoOptions& o) {
  DemoTruth truth;
  const std::vector<Point> sensors = sensorPositions(o.sensors);
  int64_t size = std::clamp<int64_t>(o.sensors / 8, 2, 12);
  size -= size % 2;
  const double norm = std::sqrt(0.8 * 0.8 + 0.1 * 0.1 + 0.6 * 0.6);
  takeNearest(sensors, {-0.8 / norm, 0.1 / norm, 0.6 / norm}, size / 2, truth.group);
  takeNearest(sensors, {0.8 / norm, 0.1 / norm, 0.6 / norm}, size / 2, truth.group);
  std::sort(truth.group.begin(), truth.group.end());

  // The band centre is the grid point nearest 10 Hz, so the peak is sampled.
  int64_t centre = 0;
  for (int64_t k = 1; k < o.freqPt; ++k) {
    if (std::fabs(demoFrequencyHz(o, k) - kCentreHz) < std::fabs(demoFrequencyHz(o, centre) - kCentreHz)) centre = k;
  }
  truth.bandCentreHz = demoFrequencyHz(o, centre);
  const double step = o.freqPt > 1 ? (o.lastHz - o.firstHz) / static_cast<double>(o.freqPt - 1) : 1.0;
  truth.bandSigmaHz = std::max(1.5, 0.75 * step);

  if (o.timePt >= 4) {
    truth.timeBegin = o.timePt / 4;
    truth.timeEnd = o.timePt - 1 - o.timePt / 4;
  } else {
    truth.timeBegin = 0;
    truth.timeEnd = o.timePt - 1;
  }
  return truth;
}

void setDemoAxes(CSpctmTrlCCDatazq& dataset, const DemoOptions& o) {
  dataset.setSpctmTimePtFreqPt(o.timePt, o.freqPt, o.timeStep);
  dataset.setTrialTimeDataRange4Spctm(0, o.timePt * o.timeStep);
  dataset.timePtOffset = 0;
  setSamplingRate(dataset, o.sfreq, 0.0);
  dataset.freqFirstHz = o.firstHz;
  dataset.freqLastHz = o.freqPt > 1 ? o.lastHz : o.firstHz;
  dataset.freqAxisLog = 0;
  dataset.freqStepHz = o.freqPt > 1 ? (o.lastHz - o.firstHz) / static_cast<double>(o.freqPt - 1) : 1.0;
  dataset.freqRatio = 1.0;
  dataset.cmptType = 0;   // Morlet wavelets: "CWT"
  dataset.storeType = 1;  // averaged over trials: "Accumulate"
  dataset.cxcType = "Cross-spectrum";
}

bool fillDemoDataset(CSpctmTrlCCDatazq& dataset, const DemoOptions& o, bool active, const RowProgress& progress) {
  const int64_t S = o.sensors;
  const int64_t T = o.timePt;
  const int64_t F = o.freqPt;
  const int64_t cells = T * F;
  const DemoTruth truth = demoTruth(o);
  const std::vector<Point> sensors = sensorPositions(S);
  const uint64_t condition = active ? 1 : 2;

  // Square root of each sensor's power at each cell.
  std::vector<double> rootPower(static_cast<std::size_t>(S * cells));
  for (int64_t s = 0; s < S; ++s) {
    Random rng(streamKey(o.seed, condition * 16 + 1, static_cast<uint64_t>(s), 0));
    const double gain = std::exp(kGainSpread * rng.normal());
    double* out = &rootPower[static_cast<std::size_t>(s * cells)];
    for (int64_t t = 0; t < T; ++t) {
      for (int64_t f = 0; f < F; ++f) {
        const double hz = std::max(demoFrequencyHz(o, f), 0.5);
        const double bump =
            1.0 + kAlphaBump * std::exp(-(hz - kCentreHz) * (hz - kCentreHz) / (2.0 * kAlphaWidthHz * kAlphaWidthHz));
        const double power = gain * kPowerScale / hz * bump * std::exp(kPowerFluctuation * rng.normal());
        out[t * F + f] = std::sqrt(power);
      }
    }
  }

  // Coupling weight per cell (band x time window) and each sensor's phase.
  std::vector<double> coupling(static_cast<std::size_t>(cells), 0.0);
  if (active) {
    const double width = static_cast<double>(truth.timeEnd - truth.timeBegin + 2);
    for (int64_t t = truth.timeBegin; t <= truth.timeEnd; ++t) {
      const double s = std::sin(std::numbers::pi * static_cast<double>(t - truth.timeBegin + 1) / width);
      const double wt = T >= 4 ? s * s : 1.0;
      for (int64_t f = 0; f < F; ++f) {
        const double dz = (demoFrequencyHz(o, f) - truth.bandCentreHz) / truth.bandSigmaHz;
        coupling[static_cast<std::size_t>(t * F + f)] = kCoupling * wt * std::exp(-0.5 * dz * dz);
      }
    }
  }
  std::vector<double> phase(static_cast<std::size_t>(S), 0.0);
  std::vector<char> inGroup(static_cast<std::size_t>(S), 0);
  for (std::size_t k = 0; k < truth.group.size(); ++k) {
    const auto s = static_cast<std::size_t>(truth.group[k]);
    inGroup[s] = 1;
    phase[s] = sensors[s].x > 0.0 ? kHemisphereLag : 0.0;
  }

  std::vector<double> re(static_cast<std::size_t>(cells));
  std::vector<double> im(static_cast<std::size_t>(cells));
  std::vector<double> imConj(static_cast<std::size_t>(cells));
  std::vector<const double*> reRows(static_cast<std::size_t>(T));
  std::vector<const double*> imRows(static_cast<std::size_t>(T));
  std::vector<const double*> imConjRows(static_cast<std::size_t>(T));
  for (int64_t t = 0; t < T; ++t) {
    reRows[static_cast<std::size_t>(t)] = &re[static_cast<std::size_t>(t * F)];
    imRows[static_cast<std::size_t>(t)] = &im[static_cast<std::size_t>(t * F)];
    imConjRows[static_cast<std::size_t>(t)] = &imConj[static_cast<std::size_t>(t * F)];
  }

  for (int64_t a = 0; a < S; ++a) {
    const double* ra = &rootPower[static_cast<std::size_t>(a * cells)];
    for (int64_t b = a; b < S; ++b) {
      const double* rb = &rootPower[static_cast<std::size_t>(b * cells)];
      if (a == b) {
        for (int64_t k = 0; k < cells; ++k) {
          re[static_cast<std::size_t>(k)] = ra[k] * ra[k];
          im[static_cast<std::size_t>(k)] = 0.0;
        }
      } else {
        Random rng(streamKey(o.seed, condition * 16 + 2, static_cast<uint64_t>(a), static_cast<uint64_t>(b)));
        const double background = kSpreadCoherency * std::exp(-distance(sensors[static_cast<std::size_t>(a)],
                                                                        sensors[static_cast<std::size_t>(b)]) /
                                                              kSpreadLength);
        const bool coupled = active && inGroup[static_cast<std::size_t>(a)] && inGroup[static_cast<std::size_t>(b)];
        const double lag = phase[static_cast<std::size_t>(a)] - phase[static_cast<std::size_t>(b)];
        const double cosLag = std::cos(lag);
        const double sinLag = std::sin(lag);
        const double noise = kCoherencyNoise / std::numbers::sqrt2;
        for (int64_t k = 0; k < cells; ++k) {
          double cr = background + noise * rng.normal();
          double ci = noise * rng.normal();
          if (coupled) {
            const double w = coupling[static_cast<std::size_t>(k)];
            cr += w * cosLag;
            ci += w * sinLag;
          }
          const double amplitude = ra[k] * rb[k];
          re[static_cast<std::size_t>(k)] = amplitude * cr;
          im[static_cast<std::size_t>(k)] = amplitude * ci;
        }
      }
      CSpctmChnChnDatazq* pair = dataset.getSnsActCC(a, b);
      if (!pair || !pair->addSpctmData2ChannelCWTri(reRows.data(), imRows.data(), T, F)) return false;
      pair->chnA = a;
      pair->chnB = b;
      if (a != b) {
        for (int64_t k = 0; k < cells; ++k) imConj[static_cast<std::size_t>(k)] = -im[static_cast<std::size_t>(k)];
        CSpctmChnChnDatazq* mirror = dataset.getSnsActCC(b, a);
        if (!mirror || !mirror->addSpctmData2ChannelCWTri(reRows.data(), imConjRows.data(), T, F)) return false;
        mirror->chnA = b;
        mirror->chnB = a;
      }
    }
    if (progress) progress(a + 1, S);
  }
  return true;
}

double demoMemoryMB(const DemoOptions& o) {
  const double threePlanes = CSpctmTrlCCDatazq().estimateDataSizeMB(o.sensors, o.timePt, o.freqPt, true, 1, 1);
  return threePlanes * 3.0 + threePlanes / 3.0 * 4.0;
}

std::string buildDemoDatasets(CMEGSpctmCCDataFacezq& collection, const DemoOptions& o, CDialog* progressDlg,
                              CString* progressText, const ClassRowProgress& rows) {
  const std::string problem = checkDemoOptions(o);
  if (!problem.empty()) return problem;
  for (int cls = 0; cls < 2; ++cls) {
    collection.deleteSpctmTrlData(cls);
    CSpctmTrlCCDatazq* d = collection.checkInitSpctmCxCData4Class(cls, o.sensors, o.sensors, o.timePt, o.freqPt, true,
                                                                  1, 0, progressDlg, progressText);
    if (!d) return "not enough memory for the demo";
    setDemoAxes(*d, o);
    RowProgress fillProgress;
    if (rows) fillProgress = [&rows, cls](int64_t done, int64_t total) { rows(cls, done, total); };
    if (!fillDemoDataset(*d, o, cls == 0, fillProgress)) return "not enough memory for the demo";
    d->checkDataIntegraty();
  }
  return {};
}

}  // namespace megcxc::host
