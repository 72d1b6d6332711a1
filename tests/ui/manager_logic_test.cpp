// The toolkit-free parts of the manager (selection stepping, progress text
// parsing, pair rows outside the matrix). Also sets up the one QApplication
// of this test program.
#include <cstdlib>
#include <memory>
#include <utility>

#include <QApplication>
#include <gtest/gtest.h>

#include "trial/spctm_trl_cc_datazq.h"
#include "ui/manager_logic.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

// One QApplication for every GUI test (offscreen unless the caller chose another platform).
struct QtApplicationEnvironment : ::testing::Environment {
  void SetUp() override {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    app = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app.reset(); }
  int argc = 1;
  char name[16] = "megcxc_ui_tests";
  char* argv[2] = {name, nullptr};
  std::unique_ptr<QApplication> app;
};
const auto* const registered = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

TEST(ManagerLogicTest, StepSelectionMovesTheBoxOneUpKeepingItsWidthAndWrapsAtTheEnd) {
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
    int64_t b = c.begin, e = c.end;
    stepSelectionUp(b, e, c.n);
    EXPECT_EQ(std::make_pair(b, e), std::make_pair(c.wantBegin, c.wantEnd)) << c.begin << ".." << c.end;
  }
  int64_t b = INT64_MIN, e = INT64_MAX;  // no overflow on the way
  stepSelectionUp(b, e, INT64_MAX);
  EXPECT_LE(b, e);
}

TEST(ManagerLogicTest, ProgressTextAndPairRowsOutsideTheMatrix) {
  int64_t total = 0, done = 0;
  ASSERT_TRUE(parseProgressText("Spectral CxC initialization(Channel::306->17)...", total, done));
  EXPECT_EQ(total, 306);
  EXPECT_EQ(done, 17);
  EXPECT_FALSE(parseProgressText("Loading", total, done));
  EXPECT_FALSE(parseProgressText("(Channel::12)", total, done));

  CSpctmTrlCCDatazq trial;
  ASSERT_EQ(trial.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  RowTexts row;
  EXPECT_TRUE(describePairRow(&trial, 1, row));
  EXPECT_FALSE(describePairRow(&trial, 2, row));
  EXPECT_FALSE(describePairRow(&trial, -1, row));
  EXPECT_EQ(row.text[6], "None");  // no imaginary plane in row 1
}

}  // namespace
}  // namespace megcxc::test
