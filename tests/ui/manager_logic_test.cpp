// The toolkit-free parts of the manager: selection stepping, progress text
// parsing, pair rows outside the matrix, the demo data.
#include <cmath>

#include <gtest/gtest.h>

#include "trial/spctm_trl_cc_datazq.h"
#include "ui/demo_collection.h"
#include "ui/manager_logic.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

TEST(StepSelectionTest, MovesTheBoxOneUpKeepingItsWidthAndWrapsAtTheEnd) {
  struct Case {
    int64_t begin, end, n, wantBegin, wantEnd;
  };
  const Case cases[] = {
      {2, 5, 10, 3, 6},                  // width kept
      {8, 9, 10, 0, 1},                  // end runs off: back to the start
      {5, 3, 10, 6, 6},                  // end below begin: a one-point box
      {-3, -2, 10, 8, 9},                // b' = -2 < 0: the box jumps to the end
      {INT64_MAX, INT64_MAX, 10, 0, 0},  // absurd stored indices stay defined
  };
  for (const Case& c : cases) {
    int64_t b = c.begin;
    int64_t e = c.end;
    stepSelectionUp(b, e, c.n);
    EXPECT_EQ(b, c.wantBegin) << c.begin << ".." << c.end;
    EXPECT_EQ(e, c.wantEnd) << c.begin << ".." << c.end;
  }
  int64_t b = INT64_MIN, e = INT64_MAX;  // no overflow on the way
  stepSelectionUp(b, e, INT64_MAX);
  EXPECT_LE(b, e);
}

TEST(ProgressTextTest, ReadsTotalAndDoneFromNotice) {
  int64_t total = 0;
  int64_t done = 0;
  ASSERT_TRUE(parseProgressText("Spectral CxC initialization(Channel::306->17)...", total, done));
  EXPECT_EQ(total, 306);
  EXPECT_EQ(done, 17);
  EXPECT_FALSE(parseProgressText("Loading", total, done));
  EXPECT_FALSE(parseProgressText("(Channel::12)", total, done));
}

TEST(PairRowTest, RowOutsideTheColumnsIsNotDescribed) {
  CSpctmTrlCCDatazq trial;
  ASSERT_EQ(trial.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  RowTexts row;
  EXPECT_TRUE(describePairRow(&trial, 1, row));
  EXPECT_FALSE(describePairRow(&trial, 2, row));
  EXPECT_FALSE(describePairRow(&trial, -1, row));
  EXPECT_EQ(row.text[6], "None");  // no imaginary plane in row 1
}

TEST(DemoCollectionTest, ActiveGroupCouplesInBandControlDoesNotAndPairsAreConjugate) {
  using namespace megcxc::ui::demo;
  double re[3] = {}, im[3] = {};
  demoValue(true, 5, 6, kPeakTime, 4, re[0], im[0]);
  demoValue(false, 5, 6, kPeakTime, 4, re[1], im[1]);
  demoValue(true, 6, 5, kPeakTime, 4, re[2], im[2]);
  EXPECT_GT(std::hypot(re[0], im[0]), 0.6);
  EXPECT_LT(std::hypot(re[1], im[1]), 0.3);
  EXPECT_DOUBLE_EQ(re[2], re[0]);
  EXPECT_DOUBLE_EQ(im[2], -im[0]);
  demoValue(true, 7, 7, 0, 0, re[0], im[0]);
  EXPECT_EQ(re[0], 1.0);
  EXPECT_EQ(im[0], 0.0);
}

}  // namespace
}  // namespace megcxc::test
