// Datasets as whole arrays for bindings: gathering planes into one
// (row, col, time, freq) buffer, filling a dataset from arrays in memory, the
// report figures unrounded and the cut steps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "face/face_helpers.h"
#include "host/arrays.h"
#include "host/exchange.h"
#include "host/steps.h"
#include "platform/refused.h"
#include "trial/spctm_trl_pair_walk.h"

namespace megcxc::test {
namespace {

using namespace megcxc::host;

// Cell value of plane d of pair (r, c): every index shows in the number.
double cellOf(int64_t r, int64_t c, int d, int64_t t, int64_t f) {
  return 1000.0 * static_cast<double>(r) + 100.0 * static_cast<double>(c) + 10.0 * static_cast<double>(t) +
         static_cast<double>(f) + 0.25 * d;
}

template <class Fn>
std::string refusal(Fn fn) {
  try {
    fn();
  } catch (const Refused& e) {
    return e.what();
  }
  return "(not refused)";
}

class HostArraysTest : public FaceTest {
 protected:
  Dataset& active() { return make(0, 2, 3, 4, 5, cellOf); }
};

TEST_F(HostArraysTest, GatherPutsEveryCellAtRowColTimeFreqInterleavesComplexAndReadsRawPlanes) {
  Dataset& d = active();
  const PlaneGrid g = planeGrid(d, 1, PlaneSet::working, "active");
  EXPECT_TRUE(g.rows == 2 && g.cols == 3 && g.timePt == 4 && g.freqPt == 5);
  std::vector<double> imag(static_cast<std::size_t>(g.cells()));
  std::vector<int64_t> rowsDone;
  gatherPlanes(d, PlaneSet::working, 1, -1, imag.data(), "active", [&](int64_t done, int64_t) { rowsDone.push_back(done); });
  EXPECT_EQ(rowsDone, (std::vector<int64_t>{1, 2}));
  std::vector<double> cross(static_cast<std::size_t>(2 * g.cells()));
  gatherPlanes(d, PlaneSet::working, 0, 1, cross.data(), "active");
  std::size_t k = 0;
  for (int64_t r = 0; r < 2; ++r)
    for (int64_t c = 0; c < 3; ++c)
      for (int64_t t = 0; t < 4; ++t)
        for (int64_t f = 0; f < 5; ++f, ++k) {
          ASSERT_EQ(imag[k], cellOf(r, c, 1, t, f));
          ASSERT_EQ(cross[2 * k], cellOf(r, c, 0, t, f));
          ASSERT_EQ(cross[2 * k + 1], cellOf(r, c, 1, t, f));
        }
  // The raw planes keep their own grid after the working planes change.
  ASSERT_TRUE(d.scaleSpctmAllDataType4Class(2.0));
  std::vector<double> raw(2 * 3 * 4 * 5);
  gatherPlanes(d, PlaneSet::raw, 0, -1, raw.data(), "active");
  EXPECT_EQ(raw[1 * 3 * 20 + 2 * 20 + 3 * 5 + 4], cellOf(1, 2, 0, 3, 4)) << "raw backup, not the scaled plane";
  ASSERT_TRUE(d.accumulateTime1());
  EXPECT_EQ(planeGrid(d, 0, PlaneSet::working, "active").timePt, 1);
}

TEST_F(HostArraysTest, GatherRefusesMissingAndPartialPlanesAndDifferingExtents) {
  Dataset& d = active();
  forEachPair(d, [](int64_t, int64_t, CSpctmChnChnDatazq& p) { CSpctmBasicx::freeBufferF2d(0, 0, p.plane[2]); });
  EXPECT_EQ(refusal([&] { planeGrid(d, 2, PlaneSet::working, "active"); }),
            "the active dataset has no power plane (compute the magnitude or phase first)");
  ASSERT_TRUE(d.pairMatrix[1][2].checkInitpctmSpace(4, 5, true, 0, 0));  // drops imag of one pair
  EXPECT_EQ(refusal([&] { planeGrid(d, 1, PlaneSet::working, "active"); }),
            "the imag plane of the active dataset is missing in 1 of 6 pairs");
  ASSERT_TRUE(d.pairMatrix[0][1].checkInitpctmSpace(3, 5, true, 0, 0));
  EXPECT_EQ(refusal([&] { planeGrid(d, 0, PlaneSet::working, "active"); }),
            "1 pair(s) of the active dataset differ in the extents of the real plane");
  Dataset empty;
  EXPECT_EQ(refusal([&] { planeGrid(empty, 0, PlaneSet::raw, "control"); }), "the control dataset has no channel pairs");
}

TEST_F(HostArraysTest, StatisticsFiguresAreTheReportsLinesUnrounded) {
  // One row of two pairs, 2 x 2 cells, plane values chosen by hand:
  // pair (0,0) = [[1, 2], [3, 4]], pair (0,1) = [[-1, 0], [5, 2]].
  const double cells[2][4] = {{1, 2, 3, 4}, {-1, 0, 5, 2}};
  Dataset& d = make(0, 1, 2, 2, 2, [&](int64_t, int64_t c, int, int64_t t, int64_t f) { return cells[c][t * 2 + f]; });
  d.freqFirstHz = 4.0, d.freqStepHz = 2.0, d.trialName = "x";
  const StatisticsLines byFreq = statisticsTable(d, false, 0, "active");
  ASSERT_EQ(byFreq.mean.size(), 2u);
  EXPECT_EQ(byFreq.label, (std::vector<double>{4.0, 6.0}));
  // Frequency 0: pair means (1+3)/2 = 2 and (-1+5)/2 = 2; min -1, max 5.
  EXPECT_DOUBLE_EQ(byFreq.mean[0], 2.0);
  EXPECT_DOUBLE_EQ(byFreq.min[0], -1.0);
  EXPECT_DOUBLE_EQ(byFreq.max[0], 5.0);
  // Absolute means 2 and 3 -> 2.5; rms: pair rms sqrt(5) and sqrt(13), the
  // row adds their squares over 2 columns and takes the root: sqrt(9) = 3.
  EXPECT_DOUBLE_EQ(byFreq.absMean[0], 2.5);
  EXPECT_DOUBLE_EQ(byFreq.rms[0], std::sqrt(3.0));
  const StatisticsLines byTime = statisticsTable(d, true, 0, "active");
  // Time 1: cells 3, 4 and 5, 2 -> means 3.5 and 3.5.
  EXPECT_DOUBLE_EQ(byTime.mean[1], 3.5);
  char line[128];
  std::snprintf(line, sizeof line, "x: %f   %f   %f   %f   %f   %f \n", byFreq.label[1], byFreq.min[1], byFreq.mean[1],
                byFreq.max[1], byFreq.absMean[1], byFreq.rms[1]);
  EXPECT_NE(d.getStatisticsFx(0).toUtf8().find(line), std::string::npos) << "the report prints the same figures";
  forEachPair(d, [](int64_t, int64_t, CSpctmChnChnDatazq& p) { CSpctmBasicx::freeBufferF2d(0, 0, p.plane[2]); });
  EXPECT_EQ(refusal([&] { statisticsTable(d, false, 2, "active"); }), "the active dataset has no power plane");
}

}  // namespace
}  // namespace megcxc::test
