// The trial dataset's display layer: integrity check, current pair, stepping
// of the selection box, statistics reports and the operations on every pair.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "support/message_recorder.h"
#include "trial/spctm_trl_cc_datazq.h"

namespace {

class TrialShowTest : public ::testing::Test {
 protected:
  void build(int64_t rows, int64_t cols, int64_t t, int64_t f, int withImag = 0) {
    ASSERT_EQ(ds.checkInitSpctmCCData(rows, cols, t, f, true, withImag, 0, nullptr, nullptr), 1);
    ds.setSpctmTimePtFreqPt(t, f, 1);
  }
  void box(int64_t tb, int64_t te, int64_t fb, int64_t fe) {
    ds.selTimeBegin = tb;
    ds.selTimeEnd = te;
    ds.selFreqBegin = fb;
    ds.selFreqEnd = fe;
  }
  void expectBox(int64_t tb, int64_t te, int64_t fb, int64_t fe) {
    EXPECT_EQ(ds.selTimeBegin, tb);
    EXPECT_EQ(ds.selTimeEnd, te);
    EXPECT_EQ(ds.selFreqBegin, fb);
    EXPECT_EQ(ds.selFreqEnd, fe);
  }
  // Real plane of a 2 x 1 dataset, 2 time points x 2 frequency points:
  // pair (0,0) rows (1, 4), (3, -4); pair (1,0) rows (-2, 2), (-2, 2).
  void buildSmallReportGrid() {
    build(2, 1, 2, 2);
    double** a = ds.pairMatrix[0][0].plane[0];
    double** b = ds.pairMatrix[1][0].plane[0];
    a[0][0] = 1, a[0][1] = 4, a[1][0] = 3, a[1][1] = -4;
    b[0][0] = -2, b[0][1] = 2, b[1][0] = -2, b[1][1] = 2;
    ds.freqFirstHz = 2.0;
    ds.freqStepHz = 0.5;
  }

  megcxc::test::MessageRecorder messages;
  CSpctmTrlCCDatazq ds;
};

TEST_F(TrialShowTest, IntegrityTakesExtentsAndPlanesFromTheClampedCurrentPair) {
  build(3, 3, 40, 4, 1);
  ds.timePt = 50;
  ds.curActSns = 9;
  ds.curCxcSns = -2;
  box(45, 49, 3, 1);
  ds.hasPowerPhasePlane = 1;
  ASSERT_EQ(ds.checkDataIntegraty(), 1);
  EXPECT_EQ(ds.curActSns, 2);
  EXPECT_EQ(ds.curCxcSns, 0);
  EXPECT_EQ(ds.timePt, 40);
  EXPECT_EQ(ds.freqPt, 4);
  expectBox(45, 39, 1, 1);  // time end lowered, begin left; frequency begin lowered to the end
  EXPECT_EQ(ds.hasRealPlane, 1);
  EXPECT_EQ(ds.hasImagPlane, 1);
  EXPECT_EQ(ds.hasPowerPhasePlane, 1);  // never cleared
}

TEST_F(TrialShowTest, DatasetWithoutPairsRefusesEveryWholeDatasetOperation) {
  ds.timePt = 7;
  ds.curActSns = 5;
  EXPECT_EQ(ds.checkDataIntegraty(), 0);
  EXPECT_EQ(ds.computeMagnitude(1), 0);
  EXPECT_EQ(ds.computePhase(), 0);
  EXPECT_EQ(ds.zeroDiagnonal(), 0);
  EXPECT_EQ(ds.timePt, 7);
  EXPECT_EQ(ds.curActSns, 5);
  ds.freqPt = 3;
  EXPECT_TRUE(ds.getStatisticsF(0).IsEmpty());
  EXPECT_TRUE(ds.getStatisticsTx(0).IsEmpty());
}

TEST_F(TrialShowTest, CurrentPairSettersClampAndActNeedsAMatrix) {
  ds.curActSns = 3;
  EXPECT_EQ(ds.setActSns(5), 0);
  EXPECT_EQ(ds.curActSns, 3);
  EXPECT_EQ(ds.setCxcSns(4), -1);  // no columns at all
  build(3, 12, 2, 2);
  EXPECT_EQ(ds.setCxcSns(-4), 0);
  EXPECT_EQ(ds.setCxcSns(99), 11);
  EXPECT_EQ(ds.curCxcSns, 11);
  EXPECT_EQ(ds.setActSns(7), 2);
  EXPECT_EQ(ds.setActSns(-3), 0);
  EXPECT_EQ(ds.curActSns, 0);
}

TEST_F(TrialShowTest, TimeStepWrapsOrStopsAtTheEdges) {
  ds.timePt = 10;
  box(8, 9, 0, 0);
  EXPECT_EQ(ds.nextSelectT(1, 1), 0);
  expectBox(0, 1, 0, 0);
  box(8, 9, 0, 0);
  EXPECT_EQ(ds.nextSelectT(1, 0), 8);
  expectBox(8, 9, 0, 0);
  box(1, 2, 0, 0);
  EXPECT_EQ(ds.nextSelectT(-3, 1), 8);
  expectBox(8, 9, 0, 0);
  box(1, 2, 0, 0);
  EXPECT_EQ(ds.nextSelectT(-3, 0), 0);
  expectBox(0, 1, 0, 0);
  box(5, 3, 0, 0);  // end below begin counts as a one-point box
  EXPECT_EQ(ds.nextSelectT(2, 0), 7);
  expectBox(7, 7, 0, 0);
}

TEST_F(TrialShowTest, FrequencyStepMovesOnlyTheFrequencyBox) {
  ds.freqPt = 6;
  box(2, 3, 1, 3);
  EXPECT_EQ(ds.nextSelectF(2, 1), 3);
  expectBox(2, 3, 3, 5);
  EXPECT_EQ(ds.nextSelectF(1, 1), 0);
  expectBox(2, 3, 0, 2);
  EXPECT_EQ(ds.nextSelectF(-1, 0), 0);
  expectBox(2, 3, 0, 2);
}

TEST_F(TrialShowTest, CombinedStepCarriesIntoFrequencyOnlyAtTheTimeEdges) {
  ds.timePt = 10;
  ds.freqPt = 4;
  box(9, 9, 1, 1);
  EXPECT_EQ(ds.nextSelectTF(1, 1), 1);
  expectBox(9, 9, 2, 2);
  box(9, 9, 3, 3);
  ds.nextSelectTF(1, 1);
  expectBox(0, 0, 0, 0);
  box(9, 9, 3, 3);
  ds.nextSelectTF(1, 0);
  expectBox(9, 9, 3, 3);
  box(4, 4, 1, 1);
  ds.nextSelectTF(1, 1);
  expectBox(5, 5, 1, 1);
  box(0, 0, 0, 0);
  ds.nextSelectTF(-1, 1);  // off both starts: jumps to the last cell
  expectBox(9, 9, 3, 3);
  box(0, 0, 2, 2);
  ds.nextSelectTF(-1, 1);  // off the time start only: time clamps, frequency steps back
  expectBox(0, 0, 1, 1);
}

TEST_F(TrialShowTest, FrequencyReportOfHandWorkedGrid) {
  buildSmallReportGrid();
  EXPECT_EQ(ds.getStatisticsF(0).toUtf8(),
            "CxC Data: Freq:2.000000 Min:-2.000000\tMean:0.000000 Max:3.000000 AbsSum:2.000000 "
            "RmsSum:1.455347 \n"
            "CxC Data: Freq:2.500000 Min:-4.000000\tMean:1.000000 Max:4.000000 AbsSum:3.000000 "
            "RmsSum:1.732051 \n");
  ASSERT_EQ(ds.freqProfile.size(), 2);
  EXPECT_EQ(ds.freqProfile[0], 0.0);
  EXPECT_EQ(ds.freqProfile[1], 1.0);
  ds.trialName = "T1";
  EXPECT_EQ(ds.getStatisticsFx(0).toUtf8(),
            "T1: 2.000000   -2.000000   0.000000   3.000000   2.000000   1.455347 \n"
            "T1: 2.500000   -4.000000   1.000000   4.000000   3.000000   1.732051 \n"
            "All Time-Freq:-3.000000   0.500000   3.500000   2.500000   1.593699 \n");
}

TEST_F(TrialShowTest, GeometricAxisLabelAddsAPowerOfTheRatio) {
  buildSmallReportGrid();
  ds.freqAxisLog = 1;
  ds.freqFirstHz = 1.0;
  ds.freqRatio = 2.0;
  const std::string report = ds.getStatisticsFx(0).toUtf8();
  EXPECT_EQ(report.rfind("CxC Data: 2.000000   ", 0), 0u);
  EXPECT_NE(report.find("\nCxC Data: 3.000000   "), std::string::npos);
}

TEST_F(TrialShowTest, TimeReportLabelsEachLineWithItsTime) {
  buildSmallReportGrid();
  ds.auxValue1 = 0.5;
  ds.timeStep = 4;
  ds.auxFactor1 = 2.0;
  EXPECT_EQ(ds.getStatisticsTx(0).toUtf8(),
            "CxC Data: 0.500000   -2.000000   1.250000   4.000000   2.250000   1.567717 \n"
            "CxC Data: 2.500000   -4.000000   -0.250000   3.000000   2.750000   1.663661 \n"
            "All Time-Freq:-3.000000   0.500000   3.500000   2.500000   1.615689 \n");
  ASSERT_EQ(ds.timeProfile.size(), 2);
  EXPECT_EQ(ds.timeProfile[1], -0.25);
  ds.auxFactor1 = -1.0;  // no factor: the label counts samples
  EXPECT_NE(ds.getStatisticsTx(0).toUtf8().find("\nCxC Data: 4.500000   "), std::string::npos);
}

TEST_F(TrialShowTest, ReportWithoutExtentsIsEmptyAndInvalidTypePrintsZeros) {
  build(1, 1, 2, 1);
  ds.pairMatrix[0][0].plane[0][1][0] = 5.0;
  EXPECT_EQ(ds.getStatisticsF(5).toUtf8(),
            "CxC Data: Freq:0.000000 Min:0.000000\tMean:0.000000 Max:0.000000 AbsSum:0.000000 "
            "RmsSum:0.000000 \n");
  ds.freqPt = 0;
  EXPECT_TRUE(ds.getStatisticsF(0).IsEmpty());
  EXPECT_TRUE(ds.getStatisticsFx(0).IsEmpty());
  EXPECT_TRUE(ds.getStatisticsTx(0).IsEmpty());
}

// One report line computed straight from the description: line k outer,
// pairs row by row, each pair's cells at k read through its row pointers.
std::string referenceReport(const CSpctmTrlCCDatazq& ds, int dataType, bool timeAxis,
                            bool compact) {
  const int64_t lines = timeAxis ? ds.timePt : ds.freqPt;
  const double rows = static_cast<double>(ds.rowSnsCount);
  const double cols = static_cast<double>(ds.colSnsCount);
  double sums[5] = {0, 0, 0, 0, 0};
  std::string out;
  char buf[512];
  for (int64_t k = 0; k < lines; ++k) {
    double lineMin = 0, lineMax = 0, accMean = 0, accAbs = 0, accRms = 0;
    for (int64_t r = 0; r < ds.rowSnsCount; ++r) {
      double rowMean = 0, rowAbs = 0, rowSq = 0;
      for (int64_t c = 0; c < ds.colSnsCount; ++c) {
        const CSpctmChnChnDatazq& p = ds.pairMatrix[r][c];
        double** plane = p.plane[dataType];
        const int64_t along = timeAxis ? p.timePt : p.freqPt;
        const int64_t n = timeAxis ? p.freqPt : p.timePt;
        double mn = 0, mx = 0, mean = 0, abs = 0, rms = 0;
        if (plane != nullptr && k < along && n >= 1) {
          double s = 0, a = 0, q = 0;
          mn = mx = timeAxis ? plane[k][0] : plane[0][k];
          for (int64_t i = 0; i < n; ++i) {
            const double x = timeAxis ? plane[k][i] : plane[i][k];
            mn = x < mn ? x : mn;
            mx = x > mx ? x : mx;
            s += x;
            a += std::fabs(x);
            q += x * x;
          }
          mean = s / n, abs = a / n, rms = std::sqrt(q / n);
        }
        if (r == 0 && c == 0) lineMin = mn, lineMax = mx;
        lineMin = mn < lineMin ? mn : lineMin;
        lineMax = mx > lineMax ? mx : lineMax;
        rowMean += mean, rowAbs += abs, rowSq += rms * rms;
      }
      accMean += rowMean / cols, accAbs += rowAbs / cols, accRms += std::sqrt(rowSq / cols);
    }
    const double fig[5] = {lineMin, accMean / rows, lineMax, accAbs / rows,
                           std::sqrt(accRms / rows)};
    const double label = timeAxis ? ds.auxValue1 + k * (double(ds.timeStep) / ds.auxFactor1)
                                  : ds.freqFirstHz + k * ds.freqStepHz;
    std::snprintf(buf, sizeof buf,
                  compact ? "R: %f   %f   %f   %f   %f   %f \n"
                          : "R: Freq:%f Min:%f\tMean:%f Max:%f AbsSum:%f RmsSum:%f \n",
                  label, fig[0], fig[1], fig[2], fig[3], fig[4]);
    out += buf;
    for (int i = 0; i < 5; ++i) sums[i] += fig[i];
  }
  if (compact) {
    const double n = static_cast<double>(lines);
    std::snprintf(buf, sizeof buf, "All Time-Freq:%f   %f   %f   %f   %f \n", sums[0] / n,
                  sums[1] / n, sums[2] / n, sums[3] / n, sums[4] / n);
    out += buf;
  }
  return out;
}

TEST_F(TrialShowTest, ReportsOfRandomGridMatchAPlainReferenceLoop) {
  build(3, 4, 5, 6, 1);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> value(-3.0, 3.0);
  for (int64_t r = 0; r < 3; ++r)
    for (int64_t c = 0; c < 4; ++c)
      for (int d = 0; d < 2; ++d)
        for (int t = 0; t < 5; ++t)
          for (int f = 0; f < 6; ++f) ds.pairMatrix[r][c].plane[d][t][f] = value(rng);
  // One pair smaller than the dataset, and a power/phase plane in one pair only.
  ds.pairMatrix[2][3].checkInitpctmSpace(3, 4, false, 1, 0);
  ds.pairMatrix[2][3].plane[0][2][3] = 9.0;
  ds.pairMatrix[1][2].computeMagnitude();
  ds.trialName = "R";
  ds.freqFirstHz = 1.5;
  ds.freqStepHz = 0.25;
  ds.auxValue1 = -1.0;
  ds.timeStep = 3;
  ds.auxFactor1 = 4.0;
  for (int d : {0, 2}) {
    SCOPED_TRACE(d);
    EXPECT_EQ(ds.getStatisticsF(d).toUtf8(), referenceReport(ds, d, false, false));
    EXPECT_EQ(ds.getStatisticsFx(d).toUtf8(), referenceReport(ds, d, false, true));
    EXPECT_EQ(ds.getStatisticsTx(d).toUtf8(), referenceReport(ds, d, true, true));
  }
}

TEST_F(TrialShowTest, ZeroDiagonalTouchesOnlyTheDiagonalPairs) {
  build(3, 3, 2, 2, 1);
  for (int64_t i = 0; i < 9; ++i) {
    CSpctmChnChnDatazq& p = ds.pairMatrix[i / 3][i % 3];
    p.plane[0][1][1] = 3.0, p.plane[1][1][1] = 4.0;
    p.computeMagnitude();
  }
  ASSERT_EQ(ds.zeroDiagnonal(), 1);
  for (int64_t i = 0; i < 9; ++i) {
    const CSpctmChnChnDatazq& p = ds.pairMatrix[i / 3][i % 3];
    const double keep = i / 3 == i % 3 ? 0.0 : 1.0;
    EXPECT_EQ(p.plane[0][1][1] + p.plane[1][1][1] + p.plane[2][1][1], 12.0 * keep) << i;
  }
}

TEST_F(TrialShowTest, MagnitudeAndPhaseReachEveryPair) {
  build(2, 2, 1, 1, 1);
  for (int64_t i = 0; i < 4; ++i) {
    ds.pairMatrix[i / 2][i % 2].plane[0][0][0] = -3.0;
    ds.pairMatrix[i / 2][i % 2].plane[1][0][0] = 4.0;
  }
  ASSERT_EQ(ds.computeMagnitude(1), 1);  // magnitude with the sign of the real part
  EXPECT_EQ(ds.pairMatrix[1][1].plane[2][0][0], -5.0);
  EXPECT_EQ(ds.pairMatrix[0][1].plane[2][0][0], -5.0);
  ASSERT_EQ(ds.computePhase(), 1);
  EXPECT_DOUBLE_EQ(ds.pairMatrix[1][0].plane[2][0][0], std::atan2(4.0, -3.0));
}

}  // namespace
