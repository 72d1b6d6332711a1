// The trial dataset's display layer: current pair, integrity check, stepping
// of the selection box, statistics reports and the operations on every pair.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "trial/trial_helpers.h"

namespace {
using namespace megcxc::test;

struct TrialShowTest : ::testing::Test { CSpctmTrlCCDatazq ds; };

// Without a matrix nothing is stored or computed. The integrity check takes
// extents and planes from the clamped current pair; the pair setters clamp;
// zeroDiagnonal clears every plane of the diagonal pairs only. (Magnitude and
// phase over every pair: WorkerThreads.PhaseAndSignedMagnitude...)
TEST_F(TrialShowTest, CurrentPairIntegrityAndZeroDiagonal) {
  ds.curActSns = 3;
  EXPECT_EQ(ds.setActSns(5) * 10 + ds.curActSns, 3);  // nothing stored
  EXPECT_EQ(ds.setCxcSns(4), -1);                     // no columns at all
  EXPECT_EQ(ds.checkDataIntegraty() + ds.computeMagnitude(1) + ds.computePhase() + ds.zeroDiagnonal(), 0);
  build(ds, 3, 3, 40, 4, 1);
  ds.timePt = 50, ds.curActSns = 9, ds.curCxcSns = -2, ds.hasPowerPhasePlane = 1;
  setBox(ds, {45, 49, 3, 1});
  ASSERT_EQ(ds.checkDataIntegraty(), 1);
  EXPECT_TRUE(ds.curActSns == 2 && ds.curCxcSns == 0 && ds.timePt == 40 && ds.freqPt == 4);
  EXPECT_EQ(box(ds), (Box{45, 39, 1, 1}));  // time end lowered, begin left; frequency begin lowered to the end
  EXPECT_TRUE(ds.hasRealPlane == 1 && ds.hasImagPlane == 1 && ds.hasPowerPhasePlane == 1);  // never cleared
  build(ds, 3, 12, 2, 2);
  EXPECT_EQ(ds.setCxcSns(-4) * 100 + ds.setCxcSns(99), 11);
  EXPECT_EQ(ds.setActSns(7) * 100 + ds.setActSns(-3), 200);
  EXPECT_EQ(ds.curActSns * 100 + ds.curCxcSns, 11);
  build(ds, 3, 3, 1, 1, 1, 1);
  for (int64_t i = 0; i < 27; ++i) ds.pairMatrix[i / 9][i / 3 % 3].plane[i % 3][0][0] = 1.0 + i % 3;
  ASSERT_EQ(ds.zeroDiagnonal(), 1);
  for (int64_t i = 0; i < 9; ++i) {
    const CSpctmChnChnDatazq& p = ds.pairMatrix[i / 3][i % 3];
    EXPECT_EQ(p.plane[0][0][0] + p.plane[1][0][0] * 10 + p.plane[2][0][0] * 100, i / 3 == i % 3 ? 0.0 : 321.0) << i;
  }
}

// On a 10 x 4 grid: 'T' nextSelectT, 'F' nextSelectF (both return the new
// begin), 'B' nextSelectTF (returns 1).
TEST_F(TrialShowTest, SteppingWrapsOrStopsAtTheEdges) {
  const struct { char op; Box from; int step, wrap; Box to; int64_t result; } rows[] = {
      {'T', {8, 9, 2, 3}, 1, 1, {0, 1, 2, 3}, 0},   {'T', {8, 9, 0, 0}, 1, 0, {8, 9, 0, 0}, 8},
      {'T', {1, 2, 0, 0}, -3, 1, {8, 9, 0, 0}, 8},  {'T', {1, 2, 0, 0}, -3, 0, {0, 1, 0, 0}, 0},
      {'T', {5, 3, 0, 0}, 2, 0, {7, 7, 0, 0}, 7},   // end below begin: a one-point box
      {'F', {2, 3, 1, 1}, 2, 1, {2, 3, 3, 3}, 3},   {'F', {2, 3, 1, 2}, 2, 1, {2, 3, 0, 1}, 0},
      {'F', {2, 3, 1, 2}, 2, 0, {2, 3, 2, 3}, 2},   {'F', {2, 3, 0, 2}, -1, 0, {2, 3, 0, 2}, 0},
      {'B', {9, 9, 1, 1}, 1, 1, {9, 9, 2, 2}, 1},   {'B', {9, 9, 3, 3}, 1, 1, {0, 0, 0, 0}, 1},
      {'B', {9, 9, 3, 3}, 1, 0, {9, 9, 3, 3}, 1},   {'B', {4, 4, 1, 1}, 1, 1, {5, 5, 1, 1}, 1},
      {'B', {0, 0, 0, 0}, -1, 1, {9, 9, 3, 3}, 1},  // off both starts: the last cell
      {'B', {0, 0, 2, 2}, -1, 1, {0, 0, 1, 1}, 1},  // off the time start only: frequency steps back
  };
  ds.timePt = 10, ds.freqPt = 4;
  for (const auto& row : rows) {
    setBox(ds, row.from);
    const int64_t result = row.op == 'T' ? ds.nextSelectT(row.step, row.wrap)
                           : row.op == 'F' ? ds.nextSelectF(row.step, row.wrap) : ds.nextSelectTF(row.step, row.wrap);
    EXPECT_EQ(std::make_pair(result, box(ds)), std::make_pair(row.result, row.to)) << &row - rows;
  }
}

// Reports need extents and pairs; an invalid type prints zeros. Hand-worked
// real plane of a 2 x 1 dataset of 2 x 2 cells, 2 Hz + 0.5 Hz per point:
// pair (0,0) rows (1, 4), (3, -4); pair (1,0) rows (-2, 2), (-2, 2).
TEST_F(TrialShowTest, ReportsNeedExtentsAndMatchTheHandWorkedGrid) {
  ds.timePt = ds.freqPt = 2;
  EXPECT_TRUE(ds.getStatisticsF(0).IsEmpty() && ds.getStatisticsTx(0).IsEmpty());
  build(ds, 1, 1, 2, 1);
  ds.pairMatrix[0][0].plane[0][1][0] = 5.0;
  EXPECT_EQ(ds.getStatisticsF(5).toUtf8(),
            "CxC Data: Freq:0.000000 Min:0.000000\tMean:0.000000 Max:0.000000 AbsSum:0.000000 "
            "RmsSum:0.000000 \n");
  ds.freqPt = 0;
  EXPECT_TRUE(ds.getStatisticsF(0).IsEmpty() && ds.getStatisticsFx(0).IsEmpty() && ds.getStatisticsTx(0).IsEmpty());
  build(ds, 2, 1, 2, 2);
  const double cells[] = {1, 4, 3, -4, -2, 2, -2, 2};
  for (int i = 0; i < 8; ++i) ds.pairMatrix[i / 4][0].plane[0][i / 2 % 2][i % 2] = cells[i];
  ds.freqFirstHz = 2.0, ds.freqStepHz = 0.5;
  // Frequency 2 Hz: Rms = sqrt((sqrt(5) + sqrt(4)) / 2).
  EXPECT_EQ(ds.getStatisticsF(0).toUtf8(),
            "CxC Data: Freq:2.000000 Min:-2.000000\tMean:0.000000 Max:3.000000 AbsSum:2.000000 "
            "RmsSum:1.455347 \nCxC Data: Freq:2.500000 Min:-4.000000\tMean:1.000000 Max:4.000000 "
            "AbsSum:3.000000 RmsSum:1.732051 \n");
  EXPECT_TRUE(ds.freqProfile.size() == 2 && ds.freqProfile[0] == 0.0 && ds.freqProfile[1] == 1.0);
  ds.trialName = "T1";
  EXPECT_EQ(ds.getStatisticsFx(0).toUtf8(),
            "T1: 2.000000   -2.000000   0.000000   3.000000   2.000000   1.455347 \n"
            "T1: 2.500000   -4.000000   1.000000   4.000000   3.000000   1.732051 \n"
            "All Time-Freq:-3.000000   0.500000   3.500000   2.500000   1.593699 \n");
  ds.auxValue1 = 0.5, ds.timeStep = 4, ds.auxFactor1 = 2.0;
  EXPECT_EQ(ds.getStatisticsTx(0).toUtf8(),
            "T1: 0.500000   -2.000000   1.250000   4.000000   2.250000   1.567717 \n"
            "T1: 2.500000   -4.000000   -0.250000   3.000000   2.750000   1.663661 \n"
            "All Time-Freq:-3.000000   0.500000   3.500000   2.500000   1.615689 \n");
  EXPECT_TRUE(ds.timeProfile.size() == 2 && ds.timeProfile[1] == -0.25);
  ds.auxFactor1 = -1.0;  // no factor: the label counts samples
  EXPECT_NE(ds.getStatisticsTx(0).toUtf8().find("\nT1: 4.500000   "), std::string::npos);
  ds.freqAxisLog = 1, ds.freqFirstHz = 1.0, ds.freqRatio = 2.0;  // label: first + ratio^k, uncapped
  const std::string geometric = ds.getStatisticsFx(0).toUtf8();
  EXPECT_EQ(geometric.rfind("T1: 2.000000   ", 0), 0u);
  EXPECT_NE(geometric.find("\nT1: 3.000000   "), std::string::npos);
}

}  // namespace
