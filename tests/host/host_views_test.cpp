// What the dataset pictures show: the per-pair values at the selection box,
// a pair's time-frequency image, the statistics series, the axes in physical
// units and the colour scale. Expected figures are worked out from the cell
// formula by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "face/face_helpers.h"
#include "host/arrays.h"
#include "host/views.h"
#include "spectral/spctm_basicx.h"

namespace megcxc::test {
namespace {

using namespace megcxc::host;

// Plane d of pair (r, c) at [t][f]; values with two decimals, so a report
// printed with six decimals carries them exactly.
double cell(int64_t r, int64_t c, int d, int64_t t, int64_t f) {
  return 1000.0 * d + 100.0 * r + 10.0 * c + t + 0.01 * f - (r == 2 && c == 0 ? 500.0 : 0.0);
}

class HostViewsTest : public FaceTest {
 protected:
  // 3 x 2 sensors, 4 time x 5 frequency points.
  CSpctmTrlCCDatazq& dataset() { return make(0, 3, 2, 4, 5, cell); }
};

// The box is ordered and clamped into the grid; each pair gives its corner
// value or its box mean.
TEST_F(HostViewsTest, SelectionBoxAndTheValuesOfEveryReadablePairAtIt) {
  CSpctmTrlCCDatazq& d = dataset();
  d.selTimeBegin = 7, d.selTimeEnd = 1, d.selFreqBegin = -3, d.selFreqEnd = 2;
  EXPECT_EQ(selectionBox(d), (GridBox{1, 3, 0, 2}));
  setSelectionBox(d, GridBox{2, 0, 9, 4});
  EXPECT_TRUE(d.selTimeBegin == 0 && d.selTimeEnd == 2 && d.selFreqBegin == 4 && d.selFreqEnd == 4);

  const GridBox box{1, 2, 3, 4};
  const ValueGrid corner = valuesAtSelection(d, 2, box, BoxReduction::corner);
  ASSERT_EQ(corner.rows, 3);
  ASSERT_EQ(corner.cols, 2);
  EXPECT_DOUBLE_EQ(corner.at(1, 1), 2000.0 + 110.0 + 1.0 + 0.03);
  // Mean of t over 1..2 is 1.5, of 0.01 f over 3..4 is 0.035.
  const ValueGrid mean = valuesAtSelection(d, 0, box, BoxReduction::mean);
  EXPECT_NEAR(mean.at(2, 1), 200.0 + 10.0 + 1.5 + 0.035, 1e-12);
  ASSERT_TRUE(mean.found);
  EXPECT_NEAR(mean.min, -300.0 + 1.535, 1e-12);  // pair (2, 0)
  EXPECT_NEAR(mean.max, 210.0 + 1.535, 1e-12);
  // Without the diagonal, pair (1, 1) (111.535) no longer counts.
  const ValueGrid offDiagonal = valuesAtSelection(d, 0, box, BoxReduction::mean, true);
  EXPECT_TRUE(std::isnan(offDiagonal.at(1, 1)));
  EXPECT_NEAR(offDiagonal.at(1, 0), 100.0 + 1.535, 1e-12);
  EXPECT_NEAR(offDiagonal.max, 210.0 + 1.535, 1e-12);
  // Unreadable cells are NaN and left out of the range.
  CSpctmBasicx::freeBufferF2d(0, 0, d.pairMatrix[0][1].plane[1]);
  d.pairMatrix[1][0].plane[1][0][0] = std::nan("");
  const ValueGrid grid = valuesAtSelection(d, 1, GridBox{0, 0, 0, 0}, BoxReduction::corner);
  EXPECT_TRUE(std::isnan(grid.at(0, 1)));
  EXPECT_TRUE(std::isnan(grid.at(1, 0)));
  EXPECT_DOUBLE_EQ(grid.max, 1000.0 + 210.0);
  // The mean over a box skips the NaN cell.
  const ValueGrid skipsNaN = valuesAtSelection(d, 1, GridBox{0, 1, 0, 0}, BoxReduction::mean);
  EXPECT_DOUBLE_EQ(skipsNaN.at(1, 0), 1000.0 + 100.0 + 1.0);
  // A corner outside the grid of the pairs reads nothing.
  const ValueGrid outside = valuesAtSelection(d, 1, GridBox{4, 4, 0, 0}, BoxReduction::corner);
  EXPECT_FALSE(outside.found);
  EXPECT_EQ(valuesAtSelection(d, 3, GridBox{}, BoxReduction::corner).found, false);
  CSpctmTrlCCDatazq empty;
  EXPECT_EQ(valuesAtSelection(empty, 0, GridBox{}, BoxReduction::corner).rows, 0);
}

TEST_F(HostViewsTest, PairImageHoldsThePlaneTimeByFrequency) {
  CSpctmTrlCCDatazq& d = dataset();
  const ValueGrid image = pairImage(d, 0, 2, 1);
  ASSERT_EQ(image.rows, 4);
  ASSERT_EQ(image.cols, 5);
  EXPECT_DOUBLE_EQ(image.at(3, 2), 200.0 + 10.0 + 3.0 + 0.02);
  EXPECT_DOUBLE_EQ(image.min, 210.0);
  EXPECT_DOUBLE_EQ(image.max, 213.04);
  EXPECT_EQ(pairImage(d, 0, 3, 0).rows, 0);
  EXPECT_EQ(pairImage(d, 0, 0, -1).rows, 0);
  CSpctmBasicx::freeBufferF2d(0, 0, d.pairMatrix[0][0].plane[2]);
  EXPECT_EQ(pairImage(d, 2, 0, 0).rows, 0);
}

// The series read back from the printed report are the unrounded figures
// of statisticsTable (host_arrays_test checks those against hand sums).
TEST_F(HostViewsTest, StatisticsSeriesAreTheReportFigures) {
  CSpctmTrlCCDatazq& d = dataset();
  d.trialName = "Left: 12 34";  // a name with a colon and numbers
  for (const bool timeReport : {false, true}) {
    const StatisticsSeries s = statisticsSeries(d, 1, timeReport);
    const StatisticsLines want = statisticsTable(d, timeReport, 1, "active");
    ASSERT_EQ(s.mean.size(), static_cast<std::size_t>(timeReport ? 4 : 5));
    ASSERT_EQ(want.mean.size(), s.mean.size());
    for (std::size_t k = 0; k < s.mean.size(); ++k) {
      EXPECT_NEAR(s.mean[k], want.mean[k], 1e-9) << timeReport << k;
      EXPECT_NEAR(s.min[k], want.min[k], 1e-6) << timeReport << k;
      EXPECT_NEAR(s.max[k], want.max[k], 1e-6) << timeReport << k;
    }
  }
  CSpctmTrlCCDatazq empty;
  EXPECT_TRUE(statisticsSeries(empty, 0, false).mean.empty());
}

TEST_F(HostViewsTest, AxesInHertzAndInSamplesOrSeconds) {
  CSpctmTrlCCDatazq& d = dataset();
  d.freqFirstHz = 4.0, d.freqStepHz = 2.0, d.freqLastHz = 100.0, d.freqAxisLog = 0;
  EXPECT_EQ(frequencyAxisHz(d), (std::vector<double>{4.0, 6.0, 8.0, 10.0, 12.0}));
  // Geometric: point k at first * ratio^(k + 1), capped at the last.
  d.freqAxisLog = 1, d.freqRatio = 2.0, d.freqLastHz = 40.0;
  EXPECT_EQ(frequencyAxisHz(d), (std::vector<double>{8.0, 16.0, 32.0, 40.0, 40.0}));

  d.timeDataBegin = 100, d.timePtOffset = 20, d.timeStep = 25;
  AxisLabelSource labels;
  EXPECT_EQ(timeAxis(d, labels), (std::vector<double>{120.0, 145.0, 170.0, 195.0}));
  labels.samplesPerSecond = 250.0;
  EXPECT_DOUBLE_EQ(timeAxis(d, labels)[1], 0.58);
  EXPECT_STREQ(timeUnit(labels), "s");

  EXPECT_EQ(sensorLabel(labels, 7), "7");
  labels.sensorName = [](int64_t i) { return i == 7 ? std::string("MEG0143") : std::string(); };
  EXPECT_EQ(sensorLabel(labels, 7), "7 MEG0143");
  EXPECT_EQ(sensorLabel(labels, 8), "8");
}

TEST(ColourScaleTest, SignedValuesGetADivergingScaleCentredOnZero) {
  const ColourScale signedScale = colourScaleFor(-2.0, 5.0);
  EXPECT_TRUE(signedScale.diverging);
  EXPECT_DOUBLE_EQ(signedScale.position(0.0), 0.5);
  EXPECT_DOUBLE_EQ(signedScale.position(-5.0), 0.0);
  EXPECT_DOUBLE_EQ(signedScale.position(2.5), 0.75);
  const ColourScale magnitudes = colourScaleFor(1.0, 3.0);
  EXPECT_FALSE(magnitudes.diverging);
  EXPECT_DOUBLE_EQ(magnitudes.position(2.0), 0.5);
  EXPECT_DOUBLE_EQ(magnitudes.position(9.0), 1.0);
  EXPECT_TRUE(std::isnan(magnitudes.position(std::nan(""))));
  EXPECT_DOUBLE_EQ(colourScaleFor(4.0, 4.0).position(4.0), 0.5);
}

}  // namespace
}  // namespace megcxc::test
