#include <cmath>
#include <tuple>

#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

using PairStatistics = PairTest;

TEST_F(PairStatistics, ColumnOverTimeAndRowOverFrequency) {
  using Figures = std::vector<double>;  // minimum, mean, maximum, ..., RMS
  auto stats = [&](bool byFreq, int dataType, int64_t index, int expected) {
    Figures s(5, 9.0);
    EXPECT_EQ(byFreq ? pair.getStatisticF(dataType, index, s[0], s[1], s[2], s[3], s[4])
                     : pair.getStatisticT(dataType, index, s[0], s[1], s[2], s[3], s[4]),
              expected);
    return s;
  };
  fill(pair, {{0, 1}, {0, -3}, {0, 2}});
  EXPECT_EQ(stats(true, 0, 1, 1), (Figures{-3, 0, 2, 2, std::sqrt(14.0 / 3.0)}));
  fill(pair, {{1, 2}, {3, 5}});
  EXPECT_EQ(stats(false, 0, 1, 1), (Figures{3, 4, 5, 4, std::sqrt(17.0)}));
  for (auto [byFreq, dataType, index] : {std::tuple{true, 0, 2}, {true, 5, 0}, {false, 0, -1}, {false, 1, 0}})
    EXPECT_EQ(stats(byFreq, dataType, index, 0), Figures(5, 0.0)) << byFreq << dataType << index;
}

class PairMerge : public PairTest {
 protected:
  void SetUp() override { fill(source, kRe, kIm); }
  CSpctmChnChnDatazq source;
  const Grid kRe{{1, 2, 3}, {4, 5, 6}};
  const Grid kIm{{-1, 0, 1}, {2, 2, 2}};
};

TEST_F(PairMerge, CreateThenAccumulate) {
  ASSERT_EQ(pair.addSpctmChnlzq(&source, true), 1);
  EXPECT_TRUE(cells() == kRe && !pair.plane[2] && !pair.rawPlane[0]);
  ASSERT_EQ(pair.addSpctmChnlzq(&source, false), 1);
  EXPECT_EQ(cells(1), (Grid{{-2, 0, 2}, {4, 4, 4}}));
  CSpctmChnChnDatazq realOnly;
  fill(realOnly, kRe);
  ASSERT_EQ(pair.addSpctmChnlzq(&realOnly, false), 1);
  EXPECT_EQ(cells(), (Grid{{3, 6, 9}, {12, 15, 18}}));
  EXPECT_TRUE(cells(1) == (Grid{{-2, 0, 2}, {4, 4, 4}}) && grid(source.plane[0], 2, 3) == kRe);
}

TEST_F(PairMerge, RefusesMissingPlanesAndOtherExtents) {
  EXPECT_EQ(pair.addSpctmChnlzq(&source, false) + pair.addSpctmChnlzq(nullptr, true), 0);
  fill(pair, {{1, 1}, {1, 1}}, {{1, 1}, {1, 1}});
  EXPECT_EQ(pair.addSpctmChnlzq(&source, false) + pair.addSpctmChnlzq(&source, true), 0);
  EXPECT_EQ(cells(), (Grid{{1, 1}, {1, 1}}));
  // Creating the real plane would change the extents under the power/phase plane.
  fill(pair, {{7}});
  ASSERT_EQ(pair.computeMagnitude(), 1);
  CSpctmBasicx::freeBufferF2d(1, 1, pair.plane[0]);
  EXPECT_EQ(pair.addSpctmChnlzq(&source, true), 0);
  EXPECT_TRUE(pair.timePt == 1 && !pair.plane[0]);
}

TEST_F(PairMerge, AllocationFailureKeepsEarlierPlanes) {
  AllocationFailureScope fail(2);
  EXPECT_EQ(pair.addSpctmChnlzq(&source, true), 0);
  EXPECT_TRUE(messages.only() == "Has enough memory?" && cells() == kRe && !pair.plane[1]);
}

TEST_F(PairMerge, ParametersReleasePlanesOfOtherExtents) {
  EXPECT_EQ(pair.setParameters(nullptr), 0);
  fill(pair, {{1}});
  ASSERT_EQ(pair.setParameters(&source), 1);
  EXPECT_TRUE(pair.timePt == 2 && pair.freqPt == 3 && !pair.plane[0] && pair.rawPlane[0]);
  fill(pair, {{1, 1, 1}, {1, 1, 1}});
  ASSERT_EQ(pair.setParameters(&source), 1);
  EXPECT_NE(pair.plane[0], nullptr);
}

}  // namespace
}  // namespace megcxc::test
