// The toolkit-free parts of the manager: selection stepping, progress text
// parsing, the wait cursor around a failing handler, the demo data.
#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include "trial/spctm_trl_cc_datazq.h"
#include "ui/demo_collection.h"
#include "ui/manager_logic.h"

namespace megcxc::test {
namespace {

using namespace megcxc::ui;

struct Box {
  int64_t begin;
  int64_t end;
};

Box stepped(int64_t begin, int64_t end, int64_t n) {
  stepSelectionUp(begin, end, n);
  return {begin, end};
}

TEST(StepSelectionTest, MovesBoxOneUpKeepingWidth) {
  const Box b = stepped(3, 3, 10);
  EXPECT_EQ(b.begin, 4);
  EXPECT_EQ(b.end, 4);
  const Box c = stepped(2, 5, 10);
  EXPECT_EQ(c.begin, 3);
  EXPECT_EQ(c.end, 6);
}

TEST(StepSelectionTest, WrapsToStartWhenEndRunsOff) {
  const Box b = stepped(8, 9, 10);
  EXPECT_EQ(b.begin, 0);
  EXPECT_EQ(b.end, 1);
}

TEST(StepSelectionTest, EndBelowBeginCountsAsOnePointBox) {
  const Box b = stepped(5, 3, 10);
  EXPECT_EQ(b.begin, 6);
  EXPECT_EQ(b.end, 6);
}

TEST(StepSelectionTest, NegativeBoxJumpsToTheEnd) {
  // b = -3, e = -2, w = 1: b' = -2 < 0, so the box becomes 8 .. 9.
  const Box b = stepped(-3, -2, 10);
  EXPECT_EQ(b.begin, 8);
  EXPECT_EQ(b.end, 9);
}

TEST(StepSelectionTest, AbsurdStoredIndicesStayDefined) {
  const Box b = stepped(INT64_MAX, INT64_MAX, 10);
  EXPECT_EQ(b.begin, 0);
  EXPECT_EQ(b.end, 0);
  const Box c = stepped(INT64_MIN, INT64_MAX, INT64_MAX);
  EXPECT_LE(c.begin, c.end);
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

// A view that records the wait cursor depth and fails on request.
class FakeView : public CManagerView {
 public:
  bool exchangeFromControls(int64_t&, int64_t&) override { return true; }
  void exchangeToControls(int64_t, int64_t) override {}
  void setWindowText(const CString& text) override { title = text; }
  void selectOperation(int) override {}
  void setActSnsEntries(const std::vector<CString>&, int64_t) override {}
  void setTrialListCollection(CMEGSpctmCCDataFacezq*) override {}
  void deleteAllTrialRows() override {}
  int insertClassRow(int) override { return 0; }
  CSpctmTrlCCDatazq* shownTrial() const override { return shown; }
  void setShownTrial(CSpctmTrlCCDatazq* trial) override { shown = trial; }
  int fillPairRows() override { return 1; }
  int markSelectedPairs() override { return 0; }
  bool promptForString(CString&) override { return false; }
  void showReport(const CString& text, const CString&) override {
    report = text;
    if (failReport) throw std::runtime_error("report window failed");
  }
  void setWaitCursor(bool on) override {
    depth += on ? 1 : -1;
    maxDepth = depth > maxDepth ? depth : maxDepth;
  }

  CSpctmTrlCCDatazq* shown = nullptr;
  CString title;
  CString report;
  bool failReport = false;
  int depth = 0;
  int maxDepth = 0;
};

TEST(ManagerLogicTest, WaitCursorIsRestoredWhenHandlerThrows) {
  FakeView view;
  CManagerLogic logic(view);
  CSpctmTrlCCDatazq trial;
  view.shown = &trial;
  view.failReport = true;
  EXPECT_THROW(logic.onStatistics(false), std::runtime_error);
  EXPECT_EQ(view.maxDepth, 1);
  EXPECT_EQ(view.depth, 0);
}

TEST(ManagerLogicTest, ReportOfEmptyDatasetHasHeaderAndSectionsOnly) {
  FakeView view;
  CManagerLogic logic(view);
  CSpctmTrlCCDatazq trial;
  view.shown = &trial;
  logic.onStatistics(false);
  EXPECT_EQ(view.report,
            "Name         Freq         Minimum      Mean         Maximum      Absolute-Sum    RMS-Sum \n"
            "\n***Real***\n\n***Imaginary***\n\n***Power/Phase***\n");
}

TEST(ManagerLogicTest, PairRowOutsideColumnsIsNotDescribed) {
  CSpctmTrlCCDatazq trial;
  ASSERT_EQ(trial.checkInitSpctmCCData(2, 2, 1, 1, true, 0, 0, nullptr, nullptr), 1);
  RowTexts row;
  EXPECT_TRUE(describePairRow(&trial, 1, row));
  EXPECT_FALSE(describePairRow(&trial, 2, row));
  EXPECT_FALSE(describePairRow(&trial, -1, row));
  EXPECT_EQ(row.text[6], "None");  // no imaginary plane in row 1
}

TEST(DemoCollectionTest, ActiveGroupCouplesInBandAndControlDoesNot) {
  using namespace megcxc::ui::demo;
  double reA = 0.0;
  double imA = 0.0;
  double reC = 0.0;
  double imC = 0.0;
  demoValue(true, 5, 6, kPeakTime, 4, reA, imA);
  demoValue(false, 5, 6, kPeakTime, 4, reC, imC);
  EXPECT_GT(std::hypot(reA, imA), 0.6);
  EXPECT_LT(std::hypot(reC, imC), 0.3);
  // Hermitian: pair (6, 5) is the conjugate of pair (5, 6).
  double reT = 0.0;
  double imT = 0.0;
  demoValue(true, 6, 5, kPeakTime, 4, reT, imT);
  EXPECT_DOUBLE_EQ(reT, reA);
  EXPECT_DOUBLE_EQ(imT, -imA);
  demoValue(true, 7, 7, 0, 0, reA, imA);
  EXPECT_EQ(reA, 1.0);
  EXPECT_EQ(imA, 0.0);
}

}  // namespace
}  // namespace megcxc::test
