// The measures against mne-connectivity 0.5 (spectral_connectivity_epochs,
// mode "cwt_morlet") on the stored reference run of tests/compute/data (see
// make_fixtures.py there): every pair in both orientations and the diagonal,
// every cell, to 1e-9 relative (1e-12 absolute near 0). Also the same figures
// whatever the blocks, epoch chunks, threads, input type and decimation.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <tuple>
#include <vector>

#include "compute/connectivity.h"
#include "compute/cross_sums.h"
#include "compute_fixtures.h"
#include "platform/parallel.h"
#include "trial/spctm_trl_cc_datazq.h"

using megcxc::compute::Method;

namespace {

class AgreementTest : public ::testing::Test {
 protected:
  void SetUp() override { epochs = loadReference("epochs.npy"); }

  megcxc::compute::EpochsView view() const {
    return {.float64 = epochs.values.data(), .float32 = nullptr, .epochs = epochs.shape[0],
            .channels = epochs.shape[1], .samples = epochs.shape[2]};
  }

  static megcxc::compute::Options runA(Method m) {
    megcxc::compute::Options o;
    o.sfreq = 100.0;
    o.freqs = {8.0, 12.0, 16.0};
    o.nCycles = {2.0, 3.0, 3.0};
    o.zeroMean = true;
    o.method = m;
    return o;
  }

  static megcxc::compute::Options runB(Method m) {
    megcxc::compute::Options o = runA(m);
    o.freqs = {10.0, 15.0, 22.5};
    o.nCycles = {2.0};
    o.tmin = 0.1;
    o.tmax = 0.55;
    return o;
  }

  // Every cell of every pair against reference[r, c, f, t * step].
  void expectMatches(CSpctmTrlCCDatazq& d, Method m, const std::string& file, int64_t step = 1) {
    const RefArray ref = loadReference(file);
    const int64_t S = ref.shape[0], F = ref.shape[2], T = ref.shape[3];
    const bool complex = megcxc::compute::isComplexMethod(m);
    ASSERT_EQ(std::tuple(d.rowSnsCount, d.colSnsCount, d.freqPt, d.timePt), std::tuple(S, S, F, (T + step - 1) / step));
    for (int64_t r = 0; r < S; ++r) {
      for (int64_t c = 0; c < S; ++c) {
        const CSpctmChnChnDatazq* pair = d.getSnsActCC(r, c);
        ASSERT_NE(pair->plane[0], nullptr);
        ASSERT_EQ(pair->plane[1] != nullptr, complex);
        for (int64_t t = 0; t < d.timePt; ++t) {
          for (int64_t f = 0; f < F; ++f) {
            const int64_t at = ((r * S + c) * F + f) * T + t * step;
            expectClose(pair->plane[0][t][f], ref.real(at), m, r, c, t, f);
            if (complex) expectClose(pair->plane[1][t][f], ref.imag(at), m, r, c, t, f);
          }
        }
      }
    }
  }

  static void expectClose(double got, double want, Method m, int64_t r, int64_t c, int64_t t, int64_t f) {
    const char* key = megcxc::compute::methodKey(m);
    if (std::isnan(want)) {
      EXPECT_TRUE(std::isnan(got)) << key << " pair (" << r << ", " << c << ") t " << t << " f " << f;
      return;
    }
    EXPECT_NEAR(got, want, std::max(1e-9 * std::fabs(want), 1e-12))
        << key << " pair (" << r << ", " << c << ") t " << t << " f " << f;
  }

  RefArray epochs;
};

// Each kind of vector kernel the sums can run (the processor's widest, AVX2,
// the portable loops), every method.
TEST_F(AgreementTest, EveryMethodEqualsMneConnectivity) {
  using megcxc::compute::VectorKernels;
  for (const VectorKernels kernels : {VectorKernels::avx512, VectorKernels::avx2, VectorKernels::portable}) {
    const VectorKernels before = megcxc::compute::limitVectorKernels(kernels);
    for (const Method m : megcxc::compute::kAllMethods) {
      SCOPED_TRACE(std::string(megcxc::compute::methodKey(m)) + " kernels " + std::to_string(static_cast<int>(kernels)));
      CSpctmTrlCCDatazq d;
      megcxc::compute::computeConnectivity(view(), runA(m), d);
      expectMatches(d, m, std::string("con_a_") + megcxc::compute::methodKey(m) + ".npy");
    }
    megcxc::compute::limitVectorKernels(before);
  }
}

TEST_F(AgreementTest, TimeRangeAndGeometricFrequenciesEqualMneConnectivity) {
  for (const Method m : {Method::coh, Method::cohy, Method::wpli}) {
    CSpctmTrlCCDatazq d;
    megcxc::compute::computeConnectivity(view(), runB(m), d);
    expectMatches(d, m, std::string("con_b_") + megcxc::compute::methodKey(m) + ".npy");
    // tmin 0.1 s is sample 10; the axis is geometric with ratio 1.5.
    EXPECT_EQ(d.timeDataBegin, 10);
    EXPECT_EQ(d.freqAxisLog, 1);
    EXPECT_NEAR(d.getSpctmFreq4FreqIndex(0), 10.0, 1e-9);
    EXPECT_NEAR(d.getSpctmFreq4FreqIndex(2), 22.5, 1e-9);
  }
}

// Decimation keeps every 3rd sample from the first. One cell per block and one
// epoch per chunk: the sums run over many blocks (time blocks within a
// frequency) and chunks, with the same figures.
TEST_F(AgreementTest, DecimationAndTheSmallestWorkBudgetGiveTheSameFigures) {
  for (const Method m : {Method::imcoh, Method::pli, Method::cohy, Method::ppc, Method::wpli2Debiased}) {
    const std::string file = std::string("con_a_") + megcxc::compute::methodKey(m) + ".npy";
    megcxc::compute::Options o = runA(m);
    o.decim = 3;
    CSpctmTrlCCDatazq d;
    megcxc::compute::computeConnectivity(view(), o, d);
    expectMatches(d, m, file, 3);
    EXPECT_EQ(d.timeStep, 3);
    o = runA(m);
    o.workBytes = 1;
    const megcxc::compute::Plan plan = megcxc::compute::planConnectivity(view(), o);
    EXPECT_TRUE(plan.freqsPerBlock == 1 && plan.timesPerBlock == 1 && plan.epochsPerChunk == 1);
    CSpctmTrlCCDatazq small;
    const megcxc::compute::RunFigures run = megcxc::compute::computeConnectivity(view(), o, small);
    EXPECT_TRUE(run.blocks == 3 * 64 && run.epochChunks == 6) << run.blocks << " " << run.epochChunks;
    expectMatches(small, m, file);
  }
}

TEST_F(AgreementTest, ThreadCountAndFloat32InputDoNotChangeTheFigures) {
  std::vector<float> narrow(epochs.values.begin(), epochs.values.end());
  std::vector<double> widened(narrow.begin(), narrow.end());
  megcxc::compute::EpochsView v64 = view(), v32 = view();
  v64.float64 = widened.data();
  v32.float64 = nullptr;
  v32.float32 = narrow.data();
  for (const Method m : {Method::coh, Method::wpli}) {
    CSpctmTrlCCDatazq one, two, single;
    const int before = megcxc::setWorkerThreads(1);
    megcxc::compute::computeConnectivity(v64, runA(m), one);
    megcxc::setWorkerThreads(2);
    megcxc::compute::computeConnectivity(v64, runA(m), two);
    megcxc::compute::computeConnectivity(v32, runA(m), single);
    megcxc::setWorkerThreads(before);
    for (int64_t k = 0; k < 16 * one.timePt * one.freqPt; ++k) {
      const int64_t r = k / 4 % 4, c = k % 4, t = k / 16 % one.timePt, f = k / 16 / one.timePt;
      const double a = one.getSnsActCC(r, c)->plane[0][t][f];
      ASSERT_EQ(a, two.getSnsActCC(r, c)->plane[0][t][f]) << k;
      ASSERT_EQ(a, single.getSnsActCC(r, c)->plane[0][t][f]) << k;
    }
  }
}

}  // namespace
