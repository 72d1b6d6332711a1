// The active-control operation, the RMS normalisation, box values and sample
// positions.
#include <array>
#include <cmath>
#include <functional>

#include "face_helpers.h"

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

using FaceProcessingTest = megcxc::test::FaceTest;

TEST_F(FaceProcessingTest, ActCtlRefusesMissingOrMismatchedDatasetsAndNo) {
  make(0, 2, 2, 3, 8, act);
  face.getCCSpctmTrlData4Class(true, 1);  // a control without pairs
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_EQ(messages.only(), "This operation requires  both Active and Control datasets!");
  messages.clear();
  make(1, 2, 2, 3, 9, ctl);  // same time count, one frequency more
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_EQ(messages.only(),
            "This operation requires Active and Control datasets have the same sensor and frequency numbers");
  messages.clear();
  make(1, 2, 2, 3, 8, ctl);
  messages.setAnswer(IDNO);
  EXPECT_EQ(face.doAct_Ctl_operation(), 0);
  EXPECT_TRUE(messages.only() == kOneSlice && messages.types()[0] == MB_YESNO);
  EXPECT_TRUE(face.trialByClass[1]->timePt == 3 && !face.trialByClass[2]);
}

TEST_F(FaceProcessingTest, ActCtlYesCollapsesTheControlAndSubtractsItsTimeMean) {
  make(0, 10, 10, 5, 8, act);
  make(1, 10, 10, 3, 8, ctl);
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

TEST_F(FaceProcessingTest, ActCtlAddMultiplyDivideUseTheControlFirstCell) {
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
  megcxc::releasePlane(lacking.plane[2]);
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

TEST_F(FaceProcessingTest, NormalisationDividesByTheRmsOrRefusesZero) {
  CSpctmTrlCCDatazq& ds = make(1, 3, 2, 4, 5, megcxc::test::randomCells(21));
  double sq = 0;  // real plane: every cell has equal weight when the extents are equal
  for (int64_t k = 0; k < 6 * 20; ++k) sq += std::pow(ds.pairMatrix[k / 40][k / 20 % 2].plane[0][k % 20 / 5][k % 5], 2);
  const double re = ds.pairMatrix[2][1].plane[0][3][4], pp = ds.pairMatrix[0][0].plane[2][0][0];
  face.currentClass = 1;
  ASSERT_EQ(face.normSpctmCCData_rootMeanSquare(-1), 1);
  EXPECT_NEAR(ds.pairMatrix[2][1].plane[0][3][4], re / std::sqrt(sq / 120), 1e-12);
  EXPECT_EQ(ds.pairMatrix[0][0].plane[2][0][0], pp);
  ASSERT_EQ(face.normSpctmCCData_rootMeanSquare(1), 1);  // RMS now 1
  EXPECT_NEAR(ds.pairMatrix[2][1].plane[0][3][4], re / std::sqrt(sq / 120), 1e-12);
  EXPECT_EQ(face.normSpctmCCData_rootMeanSquare(0) + face.normSpctmCCData_rootMeanSquare(5), 0);
  ds.pairMatrix[0][1].checkInitpctmSpace(4, 5, true, 0, 1);  // no imaginary plane
  EXPECT_TRUE(face.normSpctmCCData_rootMeanSquare(1) == 0 && messages.texts().empty());
  make(0, 2, 2, 2, 2, [](int64_t, int64_t, int d, int64_t, int64_t) { return d == 1 ? 0.0 : 5.0; });
  EXPECT_EQ(face.normSpctmCCData_rootMeanSquare(0), 0);
  EXPECT_EQ(messages.only(), "Trial Sns-Sns-time-frequency Matrix: is smaller than zero!?");
  EXPECT_EQ(face.trialByClass[0]->pairMatrix[1][1].plane[0][1][1], 5.0);
}

TEST_F(FaceProcessingTest, BoxValueComesFromTheSummaryOrTheCurrentPair) {
  CSpctmTrlCCDatazq& ds = make(0, 2, 2, 3, 4, [](int64_t r, int64_t c, int d, int64_t t, int64_t f) {
    return 1000.0 * r + 100.0 * c + 50.0 * d + 10.0 * t + f;
  });
  CSumCCSpctmDatazq& s = ds.summaryByDataType[0];
  ASSERT_EQ(s.checkInit(3, 4), 1);
  for (int64_t k = 0; k < 12; ++k) s.cellMin[k / 4][k % 4] = 10.0 * (k / 4) + k % 4, s.cellMax[k / 4][k % 4] = 2.0;
  ds.selTimeBegin = 1, ds.selTimeEnd = 2, ds.selFreqBegin = 0, ds.selFreqEnd = 1;
  double mean = 9;
  int64_t count = 9;
  EXPECT_EQ(face.getSelectSpctmCCDValueX(2, 0, -1, -1, -1, -1, mean, count, 0, 0), 4);
  EXPECT_EQ(mean * 10 + count, (10.0 + 11.0 + 20.0 + 21.0) / 4 * 10 + 4);
  EXPECT_TRUE(face.getSelectSpctmCCDValueX(3, 0, 0, 2, 0, 3, mean, count, -1, 0) == 12 && mean == 2.0);
  EXPECT_TRUE(face.getSelectSpctmCCDValueX(2, 0, 2, 99, -5, 0, mean, count, 0, 0) == 1 && mean == 20.0);  // clipped
  ds.curActSns = 1, ds.curCxcSns = 0;  // the pair gives its sum, the caller divides
  EXPECT_EQ(face.getSelectSpctmCCDValueX(0, 0, -1, -1, -1, -1, mean, count, 0, 2), 4);
  EXPECT_EQ(mean, 1110.0 + 1111.0 + 1120.0 + 1121.0);
  ds.curActSns = 2;  // then: empty box, bad source, class, data type, absent arrays
  for (auto [source, t0, cls, type] : {std::array{0, -1, 0, 0}, {2, 3, 0, 0}, {4, -1, 0, 0}, {2, -1, 3, 0},
                                       {2, -1, 0, 3}, {2, -1, 0, 1}}) {
    mean = 9, count = 9;
    EXPECT_EQ(face.getSelectSpctmCCDValueX(source, 0, t0, -1, -1, -1, mean, count, cls, type), 0);
    EXPECT_EQ(mean * 10 + count, 0.0) << source << ' ' << t0 << ' ' << cls << ' ' << type;
  }
}

TEST_F(FaceProcessingTest, TimePointBecomesASamplePosition) {
  CSpctmTrlCCDatazq* active = face.getCCSpctmTrlData4Class(true, 0);
  active->timeStep = 2, active->timePtOffset = 10, active->timeDataBegin = 100;
  EXPECT_EQ(face.getSpctmTimePt(4, 0, 0), 118);
  EXPECT_EQ(face.getSpctmTimePt(4, -1, 0) + face.getSpctmTimePt(4, 1, 0), -2);
}

}  // namespace
