// The power/phase passes and the accumulations over a whole dataset run on
// worker threads: the results must not depend on the number of threads, and
// the allocations and messages must stay those of the pair-by-pair operation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>

#include "platform/alloc_test_hook.h"
#include "platform/parallel.h"
#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

// 64 x 64 pairs of 5 x 40 cells (819,200 cells: enough for three threads)
// with random real and imaginary planes, zeros and signed zeros mixed in.
// With holes, pair (3, 5) has no imaginary plane and pair (10, 2) no planes.
void build(CSpctmTrlCCDatazq& ds, bool holes = true) {
  ASSERT_EQ(ds.checkInitSpctmCCData(64, 64, 5, 40, true, 1, 0, nullptr, nullptr), 1);
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> value(-4.0, 4.0);
  for (int64_t r = 0; r < 64; ++r)
    for (int64_t c = 0; c < 64; ++c)
      for (int d = 0; d < 2; ++d)
        for (int64_t k = 0; k < 200; ++k) {
          const double v = value(rng);
          ds.pairMatrix[r][c].plane[d][k / 40][k % 40] = k % 17 == 0 ? (v < 0 ? -0.0 : 0.0) : v;
        }
  if (!holes) return;
  ASSERT_EQ(ds.pairMatrix[3][5].checkInitpctmSpace(5, 40, false, 0, 0), 1);
  ds.pairMatrix[10][2]._cleanSpctmData();
}

bool samePlanes(const CSpctmTrlCCDatazq& a, const CSpctmTrlCCDatazq& b) {
  for (int64_t r = 0; r < 64; ++r)
    for (int64_t c = 0; c < 64; ++c) {
      const double* x = a.pairMatrix[r][c].plane[2] ? a.pairMatrix[r][c].plane[2][0] : nullptr;
      const double* y = b.pairMatrix[r][c].plane[2] ? b.pairMatrix[r][c].plane[2][0] : nullptr;
      if ((x == nullptr) != (y == nullptr)) return false;
      if (x != nullptr && std::memcmp(x, y, 200 * sizeof(double)) != 0) return false;
    }
  return true;
}

class WorkerThreads : public ::testing::Test {
 protected:
  void TearDown() override { megcxc::setWorkerThreads(0); }
  megcxc::test::MessageRecorder messages;
};

TEST_F(WorkerThreads, PhaseAndSignedMagnitudeDoNotDependOnTheThreadCount) {
  CSpctmTrlCCDatazq one, three;
  build(one);
  build(three);
  for (const bool phase : {true, false}) {
    for (auto [ds, threads] : {std::pair{&one, 1}, {&three, 3}}) {
      megcxc::setWorkerThreads(threads);
      ASSERT_EQ(phase ? ds->computePhase() : ds->computeMagnitude(1), 1);
    }
    EXPECT_TRUE(samePlanes(one, three)) << phase;
    if (!phase) continue;
    const CSpctmChnChnDatazq& p = three.pairMatrix[63][17];
    EXPECT_DOUBLE_EQ(p.plane[2][4][39], std::atan2(p.plane[1][4][39], p.plane[0][4][39]));
    EXPECT_EQ(three.pairMatrix[3][5].plane[2][2][7], std::atan(three.pairMatrix[3][5].plane[0][2][7]));
  }
  const CSpctmChnChnDatazq& p = three.pairMatrix[63][17];
  const double re = p.plane[0][1][3], im = p.plane[1][1][3];
  EXPECT_EQ(p.plane[2][1][3], std::sqrt(re * re + im * im) * (re / std::fabs(re)));
  EXPECT_EQ(three.pairMatrix[10][2].plane[2], nullptr);
  EXPECT_TRUE(messages.texts().empty());
}

// A failed plane shows its message and leaves only its own pair without a
// result. Then a damaged file's current pair: absurd extents and no planes,
// which the dataset takes as its own; the pass must not overflow sizing its
// threads, and computes the pairs that hold planes.
TEST_F(WorkerThreads, AFailedPlaneOrAPairWithoutPlanesLeavesOnlyThatPairWithoutResult) {
  CSpctmTrlCCDatazq ds;
  build(ds);
  megcxc::setWorkerThreads(4);
  {
    megcxc::AllocationFailureScope fail(70);  // the power/phase plane of pair (1, 5)
    ASSERT_EQ(ds.computePhase(), 1);
  }
  EXPECT_EQ(messages.only(), "Has enough memory?");
  EXPECT_EQ(ds.pairMatrix[1][5].plane[2], nullptr);
  EXPECT_TRUE(ds.pairMatrix[1][4].plane[2] && ds.pairMatrix[1][6].plane[2] && ds.pairMatrix[63][63].plane[2]);
  CSpctmChnChnDatazq& current = ds.pairMatrix[0][0];
  current._cleanSpctmData();
  current.timePt = current.freqPt = int64_t{1} << 40;
  megcxc::setWorkerThreads(2);
  ASSERT_EQ(ds.computeMagnitude(0), 1);
  EXPECT_EQ(current.plane[2], nullptr);
  const CSpctmChnChnDatazq& p = ds.pairMatrix[40][9];
  EXPECT_EQ(p.plane[2][3][3], std::sqrt(p.plane[0][3][3] * p.plane[0][3][3] + p.plane[1][3][3] * p.plane[1][3][3]));
}

// The accumulations share the rows among the threads, each moving planes
// into blocks it takes in batches; pairs without a backup get one made
// beforehand, which the thread of their row must find.
TEST_F(WorkerThreads, AccumulationsGiveTheSamePlanesAndBackupsOnAnyThreadCount) {
  for (const int which : {0, 1, 2}) {
    CSpctmTrlCCDatazq one, three;
    for (CSpctmTrlCCDatazq* ds : {&one, &three}) {
      build(*ds, false);
      ds->pairMatrix[2][3]._cleanBkSpctmData();
      ds->pairMatrix[50][60]._cleanBkSpctmData();
      ASSERT_EQ(ds->checkDataIntegraty(), 1);  // the dataset's extents and plane flags
    }
    auto accumulate = [which](CSpctmTrlCCDatazq& ds) {
      return which == 0 ? ds.accumulateTime1() : which == 1 ? ds.accumulateFreq1() : ds.accumulateTimeFreq1();
    };
    megcxc::setWorkerThreads(1);
    ASSERT_EQ(accumulate(one), 1);
    megcxc::setWorkerThreads(3);
    ASSERT_EQ(accumulate(three), 1);
    const int64_t cells = which == 0 ? 40 : which == 1 ? 5 : 1;
    for (int64_t r = 0; r < 64; ++r)
      for (int64_t c = 0; c < 64; ++c) {
        const CSpctmChnChnDatazq& a = one.pairMatrix[r][c];
        const CSpctmChnChnDatazq& b = three.pairMatrix[r][c];
        ASSERT_TRUE(a.timePt == b.timePt && a.freqPt == b.freqPt && a.timePt * a.freqPt == cells) << r << " " << c;
        for (int d = 0; d < 2; ++d) {
          ASSERT_TRUE(b.plane[d] && b.rawPlane[d]) << r << " " << c;
          EXPECT_EQ(std::memcmp(a.plane[d][0], b.plane[d][0], cells * sizeof(double)), 0) << r << " " << c;
          EXPECT_EQ(std::memcmp(b.rawPlane[d][0], b.plane[d][0], cells * sizeof(double)), 0) << r << " " << c;
        }
      }
  }
  EXPECT_TRUE(messages.texts().empty());
}

}  // namespace
