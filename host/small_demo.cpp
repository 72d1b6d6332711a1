#include "host/small_demo.h"

#include <cmath>

#include "face/meg_spctm_cc_data_facezq.h"
#include "spectral/spctm_basicx.h"

namespace megcxc::host::smalldemo {

namespace {

bool isCoupled(int64_t sensor) {
  for (int64_t s : kCoupledSensors) {
    if (s == sensor) return true;
  }
  return false;
}

// A deterministic value in [-1, 1] for the given coordinates.
double noise(uint64_t a, uint64_t b, uint64_t c, uint64_t d, uint64_t salt) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ salt;
  for (uint64_t v : {a, b, c, d}) {
    h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  return static_cast<double>(h >> 11) / static_cast<double>(1ull << 52) - 1.0;
}

}  // namespace

void demoValue(bool active, int64_t a, int64_t b, int64_t t, int64_t f, double& re, double& im) {
  if (a == b) {
    re = 1.0;
    im = 0.0;
    return;
  }
  const double dx = static_cast<double>(a % 4 - b % 4);
  const double dy = static_cast<double>(a / 4 - b / 4);
  const double spread = 0.35 * std::exp(-std::sqrt(dx * dx + dy * dy) / 1.2);
  const int64_t lo = a < b ? a : b;
  const int64_t hi = a < b ? b : a;
  const uint64_t salt = active ? 1 : 2;
  re = spread + 0.05 * noise(lo, hi, t, f, salt);
  // Coherency is Hermitian: pair (b, a) is the conjugate of pair (a, b).
  im = (a < b ? 1.0 : -1.0) * 0.03 * noise(lo, hi, t, f, salt + 10);
  if (active && isCoupled(a) && isCoupled(b) && f >= kBandFirst && f <= kBandLast) {
    const double dt = static_cast<double>(t - kPeakTime) / 1.8;
    const double df = static_cast<double>(f - (kBandFirst + kBandLast) / 2) / 1.2;
    const double strength = 0.6 * std::exp(-dt * dt - df * df);
    const double lag = (a < b ? 1.0 : -1.0) * 0.7;
    re += strength * std::cos(lag);
    im += strength * std::sin(lag);
  }
}

int buildDemoCollection(CMEGSpctmCCDataFacezq& collection, CDialog* progressDlg, CString* progressText) {
  collection.cleanSpctmCCTrls();
  for (int cls = 0; cls < 2; ++cls) {
    const bool active = cls == 0;
    CSpctmTrlCCDatazq* trial = collection.checkInitSpctmCxCData4Class(
        cls, kSensors, kSensors, kTimePoints, kFreqPoints, true, 1, 1, progressDlg, progressText);
    if (trial == nullptr) {
      collection.cleanSpctmCCTrls();
      return 0;
    }
    for (int64_t a = 0; a < kSensors; ++a) {
      for (int64_t b = 0; b < kSensors; ++b) {
        CSpctmChnChnDatazq& pair = trial->pairMatrix[a][b];
        // Channels numbered from 0 like the matrix rows and columns, so the
        // manager's "C5" is sensor 5 of every picture.
        pair.chnA = a;
        pair.chnB = b;
        // Nothing is marked yet; "Show" in the manager marks pairs.
        pair.isSelected = false;
        double* re = megcxc::planeData(pair.plane[0], pair.timePt);
        double* im = megcxc::planeData(pair.plane[1], pair.timePt);
        double* mag = megcxc::planeData(pair.plane[2], pair.timePt);
        if (re == nullptr || im == nullptr || mag == nullptr) continue;
        for (int64_t t = 0; t < kTimePoints; ++t) {
          for (int64_t f = 0; f < kFreqPoints; ++f) {
            const int64_t cell = t * kFreqPoints + f;
            demoValue(active, a, b, t, f, re[cell], im[cell]);
            mag[cell] = std::sqrt(re[cell] * re[cell] + im[cell] * im[cell]);
          }
        }
        pair.storeData2Backupfile();
      }
    }
    trial->setSpctmTimePtFreqPt(kTimePoints, kFreqPoints, 25);
    trial->setTrialTimeDataRange4Spctm(0, 250);
    trial->freqFirstHz = kFirstHz;
    trial->freqStepHz = kStepHz;
    trial->freqLastHz = kFirstHz + kStepHz * static_cast<double>(kFreqPoints - 1);
    trial->freqRatio = 1.0;
    trial->freqAxisLog = 0;
    trial->cmptType = 0;
    trial->storeType = active ? 0 : 1;
    trial->cxcType = "Coherency";
    trial->delay = 0.0;
    trial->hasRealPlane = 1;
    trial->hasImagPlane = 1;
    trial->hasPowerPhasePlane = 1;
    trial->curActSns = kCoupledSensors[0];
    trial->curCxcSns = kCoupledSensors[1];
    trial->selTimeBegin = trial->selTimeEnd = kPeakTime;
    trial->selFreqBegin = trial->selFreqEnd = (kBandFirst + kBandLast) / 2;
  }
  collection.collectionName = "Demo: alpha-band coupling";
  collection.currentClass = 0;
  return 1;
}

}  // namespace megcxc::host::smalldemo
