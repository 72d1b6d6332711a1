// The active-control operation: its refusals, the control's collapse, the
// four operations and its allocation-failure sweep.
#include <cmath>
#include <functional>

#include "face_helpers.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

const char* const kOneSlice = "This operation requires Control dataset has 1 time-slice";

double act(int64_t r, int64_t c, int d, int64_t t, int64_t f) {
  return std::sin(0.7 * r + 1.3 * c + 0.4 * d + 0.9 * t + 0.2 * f) * 10.0 + 0.5 * f;
}
double ctl(int64_t r, int64_t c, int d, int64_t t, int64_t f) {
  return std::cos(0.3 * r + 0.8 * c + 0.6 * d + 1.1 * t + 0.5 * f) * 3.0 + t;
}
// One time slice whose first cell is 2 + d, except at pair (1, 0), where it is 0.
double firstCellCtl(int64_t r, int64_t c, int d, int64_t, int64_t f) {
  return f != 0 ? 100.0 + f : (r == 1 && c == 0) ? 0.0 : 2.0 + d;
}

using ActCtlTest = FaceTest;

TEST_F(ActCtlTest, RefusesMissingOrMismatchedDatasetsAndNoThenCollapsesTheControlAndSubtractsItsTimeMean) {
  make(0, 10, 10, 5, 8, act);
  face.getCCSpctmTrlData4Class(true, 1);  // a control without pairs
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_EQ(messages.only(), "This operation requires  both Active and Control datasets!");
  messages.clear();
  make(1, 10, 10, 3, 9, ctl);  // one frequency more
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_EQ(messages.only(),
            "This operation requires Active and Control datasets have the same sensor and frequency numbers");
  messages.clear();
  make(1, 10, 10, 3, 8, ctl);  // other time counts are accepted
  messages.setAnswer(IDNO);
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_TRUE(messages.only() == kOneSlice && messages.types()[0] == MB_YESNO);
  EXPECT_TRUE(face.trialByClass[1]->timePt == 3 && !face.trialByClass[2]);
  messages.clear();
  messages.setAnswer(IDYES);
  EXPECT_EQ(face.doAct_Ctl_operation(), 1);
  EXPECT_TRUE(messages.only() == kOneSlice && face.trialByClass[1]->timePt == 1);
  CSpctmTrlCCDatazq* out = face.trialByClass[2];
  ASSERT_NE(out, nullptr);
  EXPECT_EQ(out->trialName, "CxC Data");  // created empty, not named after its class
  ASSERT_EQ(out->rowSnsCount * out->colSnsCount, 100);
  for (int64_t k = 0; k < 100 * 3 * 40; ++k) {
    const int64_t r = k / 1200, c = k / 120 % 10, t = k % 40 / 8, f = k % 8;
    const int d = static_cast<int>(k / 40 % 3);
    const double mean = (ctl(r, c, d, 0, f) + ctl(r, c, d, 1, f) + ctl(r, c, d, 2, f)) / 3;
    ASSERT_DOUBLE_EQ(out->pairMatrix[r][c].plane[d][t][f], act(r, c, d, t, f) - mean) << k;
  }
}

TEST_F(ActCtlTest, AddMultiplyDivideUseTheControlFirstCell) {
  make(0, 2, 2, 2, 3, act);
  make(1, 2, 2, 1, 3, firstCellCtl);
  CSpctmTrlCCDatazq* existing = face.getCCSpctmTrlData4Class(true, 2);
  const std::function<double(double, double)> rules[] = {
      nullptr, [](double a, double k) { return a + k; }, [](double a, double k) { return a * k; },
      [](double a, double k) { return k == 0.0 ? 0.0 : a / k; }};  // control first cell 0: the result is 0
  for (int op : {1, 2, 3, 7}) {  // 7, unknown: shaped and zero-filled, nothing computed
    face.actCtlOperation = op;
    ASSERT_EQ(face.doAct_Ctl_operation(), 1);
    EXPECT_EQ(face.trialByClass[2], existing);
    for (int64_t k = 0; k < 4 * 3 * 6; ++k) {
      const int64_t r = k / 36, c = k / 18 % 2, t = k % 6 / 3, f = k % 3;
      const int d = static_cast<int>(k / 6 % 3);
      const double expected = op == 7 ? 0.0 : rules[op](act(r, c, d, t, f), firstCellCtl(r, c, d, 0, 0));
      EXPECT_EQ(existing->pairMatrix[r][c].plane[d][t][f], expected) << op << ' ' << k;
    }
  }
  // An active pair without its power/phase plane: that plane of the result,
  // which holds the previous run's figures, becomes zero; the others are computed.
  face.actCtlOperation = 2;
  ASSERT_EQ(face.doAct_Ctl_operation(), 1);
  CSpctmChnChnDatazq& lacking = face.trialByClass[0]->pairMatrix[1][1];
  releasePlane(lacking.plane[2]);
  lacking.plane[2] = nullptr;
  ASSERT_EQ(face.doAct_Ctl_operation(), 1);
  for (int64_t k = 0; k < 3 * 6; ++k) {
    const int d = static_cast<int>(k / 6);
    const double expected = d == 2 ? 0.0 : act(1, 1, d, k % 6 / 3, k % 3) * firstCellCtl(1, 1, d, 0, 0);
    EXPECT_EQ(existing->pairMatrix[1][1].plane[d][k % 6 / 3][k % 3], expected) << k;
  }
  EXPECT_EQ(existing->pairMatrix[0][1].plane[2][1][2], act(0, 1, 2, 1, 2) * firstCellCtl(0, 1, 2, 0, 0));
  EXPECT_TRUE(messages.texts().empty());
}

// Active 2 x 1 pairs of 2 x 2 cells, control 2 x 1 pairs of 3 x 2 cells, all
// three planes, the control without raw backups. The control is collapsed over
// time in place (per pair three new raw planes), then the active-control
// dataset is created and shaped like the active one (table; per row: the row,
// per pair three planes). Each run stops after the steps done.
TEST(ActCtlSweep, FailureStopsAfterTheStepsDone) {
  const std::string noArray = "Has enough memory?";
  std::vector<SweepOutcome> plan(6, returns(0, {kOneSlice, noArray, "Control dataset accumulating failed!"}));
  plan.push_back(returns(0, {kOneSlice, "This operation requires more memory"}));
  const std::vector<SweepOutcome> shaping = matrixPlan(2, 3, returns(0, {kOneSlice, "Is memory enough?!"}),
                                                       returns(0, {kOneSlice}), returns(0, {kOneSlice, noArray}));
  plan.insert(plan.end(), shaping.begin(), shaping.end());
  sweep(plan, returns(1, {kOneSlice}), [](int64_t nth, int64_t* made) {
    Collection face;
    fillDataset(*face.getCCSpctmTrlData4Class(true, 0), 2, 1, 2, 2, randomCells(4));
    CSpctmTrlCCDatazq& control = *face.getCCSpctmTrlData4Class(true, 1);
    fillDataset(control, 2, 1, 3, 2, randomCells(5));
    for (int64_t r = 0; r < 2; ++r) control.pairMatrix[r][0]._cleanBkSpctmData();
    const SweepOutcome o = runFailing(nth, [&] { return face.doAct_Ctl_operation(); }, made, IDYES);
    for (const CSpctmTrlCCDatazq* ds : face.trialByClass)
      if (ds != nullptr) expectTrialFits(*ds);
    const CSpctmTrlCCDatazq* out = face.trialByClass[2];
    EXPECT_EQ(face.trialByClass[1]->timePt, nth >= 1 && nth <= 6 ? 3 : 1);
    EXPECT_EQ(out != nullptr, nth == 0 || nth >= 8);
    EXPECT_TRUE(!out || (out->pairMatrix != nullptr) == (o.result == 1));
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
