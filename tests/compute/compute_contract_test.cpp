// The wavelets against MNE-Python's morlet(), the dataset a run leaves (planes,
// backups, axes) and the refusals, which come before the dataset is touched.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "compute/connectivity.h"
#include "compute/morlet.h"
#include "compute_fixtures.h"
#include "platform/alloc_test_hook.h"
#include "platform/message_box.h"
#include "platform/refused.h"
#include "trial/spctm_trl_cc_datazq.h"

using megcxc::compute::Method;

namespace {

// The stored wavelets: 5, 12 and 31 Hz with 3, 7 and 4.5 cycles at 100 Hz,
// first without, then with zero mean.
TEST(MorletTest, WaveletsEqualMneMorlet) {
  const RefArray w = loadReference("wavelets.npy");
  const RefArray lengths = loadReference("wavelet_lengths.npy");
  const double freqs[3] = {5.0, 12.0, 31.0}, cycles[3] = {3.0, 7.0, 4.5};
  for (int k = 0; k < 6; ++k) {
    const auto ours = megcxc::compute::morletWavelet(100.0, freqs[k % 3], cycles[k % 3], k >= 3);
    ASSERT_EQ(static_cast<double>(ours.size()), lengths.real(k));
    EXPECT_EQ(megcxc::compute::morletLength(100.0, freqs[k % 3], cycles[k % 3]), static_cast<int64_t>(ours.size()));
    for (std::size_t i = 0; i < ours.size(); ++i) {
      const int64_t at = k * w.shape[1] + static_cast<int64_t>(i);
      EXPECT_NEAR(ours[i].real(), w.real(at), 1e-14) << k << " " << i;
      EXPECT_NEAR(ours[i].imag(), w.imag(at), 1e-14) << k << " " << i;
    }
  }
}

TEST(MorletTest, MaxCyclesIsTheLargestThatFits) {
  for (const int64_t samples : {9, 64, 101, 500}) {
    for (const double f : {3.0, 10.0, 40.0}) {
      const double most = megcxc::compute::morletMaxCycles(250.0, f, samples);
      EXPECT_LE(megcxc::compute::morletLength(250.0, f, most), samples);
      EXPECT_GT(megcxc::compute::morletLength(250.0, f, most * (1.0 + 1e-9)), samples);
    }
  }
}

TEST(FrequencyRangeTest, StopIsIncludedWhenReached) {
  const std::vector<double> f = megcxc::compute::linearFrequencies(4.0, 40.0, 2.0);
  ASSERT_EQ(f.size(), 19u);
  EXPECT_EQ(f.front(), 4.0);
  EXPECT_EQ(f.back(), 40.0);
  EXPECT_EQ(megcxc::compute::linearFrequencies(4.0, 9.0, 2.0).size(), 3u);
  EXPECT_EQ(megcxc::compute::linearFrequencies(0.1, 0.3, 0.1).size(), 3u);
  EXPECT_THROW(megcxc::compute::linearFrequencies(4.0, 40.0, 0.0), megcxc::Refused);
  EXPECT_THROW(megcxc::compute::linearFrequencies(40.0, 4.0, 2.0), megcxc::Refused);
}

class RunTest : public ::testing::Test {
 protected:
  RunTest() : samples(3 * 5 * 100) {
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::sin(0.37 * static_cast<double>(i)) + 0.01 * static_cast<double>(i % 7);
  }

  megcxc::compute::EpochsView view(int64_t epochs = 3) {
    return {.float64 = samples.data(), .float32 = nullptr, .epochs = epochs, .channels = 5, .samples = 100};
  }

  static megcxc::compute::Options options(Method m) {
    megcxc::compute::Options o;
    o.sfreq = 200.0;
    o.freqs = {20.0, 30.0, 40.0};
    o.nCycles = {3.0};
    o.method = m;
    o.decim = 4;
    o.tmin = 0.05;
    return o;
  }

  // Planning and computing into a dataset that holds one pair of a 2 x 1 grid
  // must be refused with a text containing `part`, the dataset untouched.
  void expectRefused(const megcxc::compute::EpochsView& v, const megcxc::compute::Options& o, const std::string& part) {
    CSpctmTrlCCDatazq d;
    d.checkInitSpctmCCData(1, 1, 2, 1, true, 0, 0, nullptr, nullptr);
    try {
      megcxc::compute::computeConnectivity(v, o, d);
      ADD_FAILURE() << "not refused: " << part;
    } catch (const megcxc::Refused& e) {
      EXPECT_NE(std::string(e.what()).find(part), std::string::npos) << e.what();
    }
    EXPECT_TRUE(d.rowSnsCount == 1 && d.getSnsActCC(0, 0)->timePt == 2) << "the dataset was touched: " << part;
  }

  std::vector<double> samples;
};

TEST_F(RunTest, DatasetHoldsAxesPlanesAndBackups) {
  CSpctmTrlCCDatazq d;
  megcxc::compute::computeConnectivity(view(), options(Method::coh), d);
  // tmin 0.05 s = sample 10; samples 10 .. 99, every 4th: 23 time points.
  // Coherence is real: no imaginary plane.
  EXPECT_EQ(std::tuple(d.timePt, d.freqPt, d.timeStep, d.timeDataBegin, d.hasImagPlane), std::tuple(23, 3, 4, 10, 0));
  EXPECT_EQ(d.getSpctmFreq4FreqIndex(2), 40.0);
  for (int64_t k = 0; k < 25; ++k) {
    const CSpctmChnChnDatazq* p = d.getSnsActCC(k / 5, k % 5);
    EXPECT_EQ(p->chnB, k % 5);
    ASSERT_NE(p->rawPlane[0], nullptr);
    EXPECT_EQ(p->rawPlane[1], nullptr);
    for (int64_t t = 0; t < 23 * 3; ++t) ASSERT_EQ(p->rawPlane[0][t / 3][t % 3], p->plane[0][t / 3][t % 3]) << k;
  }
}

// A plane that cannot be had (the pairs' own planes come in the first block,
// their raw backups at the end) makes the run refuse with the matrix
// released, not leave pairs without planes.
TEST_F(RunTest, PlanesThatCannotBeHadAreRefusedWithTheMatrixReleased) {
  const MessageBoxHandler quiet = setMessageBoxHandler([](const CString&, unsigned) { return IDOK; });
  // The last 50 counted allocations of a run: 25 planes of the full extent,
  // then 25 raw backups.
  int64_t total = 0;
  {
    CSpctmTrlCCDatazq d;
    megcxc::setAllocationFailureAt(0);
    megcxc::compute::computeConnectivity(view(), options(Method::coh), d);
    total = megcxc::countedAllocations();
  }
  for (const int64_t failing : {total - 49, total - 30, total - 24, total}) {
    CSpctmTrlCCDatazq d;
    megcxc::AllocationFailureScope fail(failing);
    try {
      megcxc::compute::computeConnectivity(view(), options(Method::coh), d);
      ADD_FAILURE() << "allocation " << failing << " failed and the run went on";
    } catch (const megcxc::Refused& e) {
      EXPECT_NE(std::string(e.what()).find("not enough memory for 5 x 5 pairs of 23 x 3 cells"), std::string::npos) << e.what();
    }
    EXPECT_EQ(d.rowSnsCount, 0) << failing;
    EXPECT_EQ(d.getSnsActCC(0, 0), nullptr) << failing;
  }
  setMessageBoxHandler(quiet);
}

TEST_F(RunTest, BadInputIsRefusedBeforeTheDatasetChanges) {
  expectRefused(view(1), options(Method::coh), "at least 2 epochs, found 1");
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  for (const auto& [at, bad, part] : {std::tuple{1 * 100 + 7, nan, "sample 7 of channel 1 in epoch 0 is NaN"},
                                      {2 * 500 + 4 * 100 + 99, inf, "sample 99 of channel 4 in epoch 2 is infinite"}}) {
    const double kept = std::exchange(samples[at], bad);
    expectRefused(view(), options(Method::coh), part);
    samples[at] = kept;
  }
  megcxc::compute::Options o = options(Method::coh);
  o.freqs = {20.0, 120.0};
  expectRefused(view(), o, "frequency 120 Hz lies above the Nyquist frequency 100 Hz");
  o.freqs = {4.0, 10.0};
  o.nCycles = {7.0};
  // 4 Hz, 7 cycles: 5 sigma = 1.39 s = 278.5 samples, so 2 * 279 - 1 in all;
  // 90 samples remain after tmin, room for 5 sigma <= 45 samples: 1.13 cycles.
  expectRefused(view(), o, "the wavelet at 4 Hz with 7 cycles spans 557 samples, more than the 90 samples");
  expectRefused(view(), o, "at most 1.13 cycles fit");
  o = options(Method::coh);
  o.nCycles = {3.0, 4.0};
  expectRefused(view(), o, "one per frequency (3), not 2");
  o.nCycles = {3.0};
  o.freqs = {20.0, 20.0};
  expectRefused(view(), o, "must increase");
  o.freqs = {20.0, 22.0, 30.0};
  expectRefused(view(), o, "neither evenly spaced nor of constant ratio");
  o = options(Method::coh);
  o.tmin = 0.3;
  o.tmax = 0.2;
  expectRefused(view(), o, "no sample lies between tmin and tmax");
}

}  // namespace
