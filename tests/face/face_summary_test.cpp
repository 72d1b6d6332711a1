// Class summaries: the pre-check, both summary variants, the two batch
// operations with their crossed names and the allocation-failure sweep.
#include <algorithm>
#include <cmath>
#include <vector>

#include "face_helpers.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

using ClassSummaryTest = FaceTest;

// The summary of plane d covers the pairs of rows [r0, r1): its pair count, and
// at one cell the extremes and the mean over exactly those pairs.
void expectCovers(const CSpctmTrlCCDatazq& ds, int d, int64_t r0, int64_t r1) {
  const CSumCCSpctmData& s = ds.summaryByDataType[d];
  ASSERT_TRUE(s.isComputed == 1 && s.timePtCount == ds.timePt && s.freqPtCount == ds.freqPt && s.cellMean);
  EXPECT_EQ(s.pairCount, (r1 - r0) * ds.colSnsCount);
  double mn = ds.pairMatrix[r0][0].plane[d][1][2], mx = mn, sum = 0;
  for (int64_t r = r0; r < r1; ++r)
    for (int64_t c = 0; c < ds.colSnsCount; ++c) {
      const double v = ds.pairMatrix[r][c].plane[d][1][2];
      mn = std::min(mn, v), mx = std::max(mx, v), sum += v;
    }
  EXPECT_TRUE(s.cellMin[1][2] == mn && s.cellMax[1][2] == mx) << d;
  EXPECT_DOUBLE_EQ(s.cellMean[1][2], sum / double(s.pairCount)) << d;
}

TEST_F(ClassSummaryTest, PlusAndMinusTwoAndASinglePairGiveTheHandWorkedFigures) {
  make(0, 1, 2, 1, 1, [](int64_t, int64_t c, int, int64_t, int64_t) { return c == 0 ? 2.0 : -2.0; });
  const CSumCCSpctmDatazq* s = face.cmpSumCCSpctmData(nullptr, 0, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->cellMin[0][0] * 1e4 + s->cellMax[0][0] * 1e2 + s->cellMean[0][0], -2e4 + 2e2);
  EXPECT_EQ(s->cellPosMean[0][0] * 1e2 + s->cellNegMean[0][0] * 1e1 + s->cellRms[0][0], 2e2 - 2e1 + 2);
  EXPECT_DOUBLE_EQ(s->rmsValue, std::sqrt(8.0));  // (4 + 4) / (2 x 0.5)
  make(1, 1, 1, 1, 2, [](int64_t, int64_t, int, int64_t, int64_t f) { return f == 0 ? 3.0 : -1.0; });
  s = face.cmpSumCCSpctmData(nullptr, 1, 2);  // one pair: nothing is divided
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(s->cellRms[0][0], 9.0);
  EXPECT_EQ(s->posMeanValue * 10 + s->negMeanValue, 15.0 - 0.5);
  EXPECT_EQ(s->rmsValue, 5.0);  // the mean square, no root
}

TEST_F(ClassSummaryTest, BatchNamesAreCrossed) {
  CSpctmTrlCCDatazq& ds = make(1, 3, 4, 5, 6, randomCells(11));
  ds.curActSns = 7;
  EXPECT_EQ(face.cmpSumCCSpctmAllClassType(), 3);  // the active sensor's row, clamped to 2
  EXPECT_EQ(ds.curActSns, 2);
  for (int d = 0; d < 3; ++d) expectCovers(ds, d, 2, 3);
  EXPECT_EQ(face.cmpSumCCSpctmAllClassType4ActSns(), 3);  // every pair
  for (int d = 0; d < 3; ++d) expectCovers(ds, d, 0, 3);
  ds.curActSns = -3;
  ASSERT_NE(face.cmpSumCCSpctmData4ActSns(&ds, 9, 1), nullptr);  // class unused with a dataset
  EXPECT_EQ(ds.curActSns, 0);
  expectCovers(ds, 1, 0, 1);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(ClassSummaryTest, OnePairWithoutThePlaneOrBadArgumentsGiveNull) {
  CSpctmTrlCCDatazq& ds = make(0, 2, 2, 2, 2, randomCells(3));
  ds.summaryByDataType[2].isComputed = 7;
  ds.pairMatrix[1][1].checkInitpctmSpace(2, 2, true, 1, 0);  // no power/phase plane, outside row 0
  EXPECT_TRUE(!face.cmpSumCCSpctmData4ActSns(nullptr, 0, 2) && !face.cmpSumCCSpctmData(nullptr, 0, 2));
  EXPECT_EQ(ds.summaryByDataType[2].isComputed, 7);
  for (auto [cls, type] : {std::pair{0, 3}, {-1, 0}, {1, 0}}) EXPECT_EQ(face.cmpSumCCSpctmData(nullptr, cls, type), nullptr);
  CSpctmTrlCCDatazq* resolved = nullptr;
  int64_t T = -1, F = -1;
  EXPECT_EQ(face.checkCrsChnlSpctmInfo(resolved, 0, 1, T, F), 4);
  EXPECT_TRUE(resolved == &ds && T == 2 && F == 2 && messages.texts().empty());
}

TEST_F(ClassSummaryTest, UnequalExtentsAreAnnouncedAndSummarisedOverTheLargest) {
  make(0, 1, 2, 3, 4, [](int64_t, int64_t, int, int64_t t, int64_t f) { return 1.0 + t + f; });
  face.trialByClass[0]->pairMatrix[0][1].checkInitpctmSpace(2, 4, true, 1, 1);  // 2 x 4 zeros
  face.trialByClass[0]->pairMatrix[0][1].plane[0][1][3] = -10.0;
  const CSumCCSpctmDatazq* s = face.cmpSumCCSpctmData(nullptr, 0, 0);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(messages.only(), "Spectral time range (2 3) frequency range (4 4)");
  EXPECT_EQ(s->timePtCount * 10 + s->freqPtCount, 34);
  EXPECT_EQ(s->cellMean[1][3], (5.0 - 10.0) / 2.0);
  EXPECT_EQ(s->cellMin[2][1] * 10 + s->cellMean[2][1], 42.0);  // time 2: pair (0, 0) alone adds
  EXPECT_EQ(s->meanValue, (3.5 + (-10.0 / 8.0)) / 2.0);
}

// The summary's six arrays, allocated in field order.
TEST(ClassSummarySweep, FailureLeavesTheSummaryEmpty) {
  sweep(std::vector<SweepOutcome>(6, returns(0, {"Has enough memory?"})), returns(1), [](int64_t nth, int64_t* made) {
    Collection face;
    fillDataset(*face.getCCSpctmTrlData4Class(true, 0), 2, 2, 2, 3, randomCells(3));
    const SweepOutcome o = runFailing(nth, [&] { return face.cmpSumCCSpctmData(nullptr, 0, 1) != nullptr; }, made);
    const CSumCCSpctmDatazq& s = face.trialByClass[0]->summaryByDataType[1];
    expectSummaryFits(s);
    EXPECT_TRUE(o.result == 1 ? s.isComputed == 1 && s.pairCount == 4 && s.timePtCount == 2 && s.freqPtCount == 3
                              : !s.cellMin && !s.cellRms && !s.isComputed && !s.timePtCount);
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
