// The collection's slots, current class, whole-collection operations (scale,
// reload, clean, RMS normalisation), box values, sample positions and its
// ownership of datasets and of the manager dialog.
#include <array>
#include <cmath>

#include "face_helpers.h"
#include "platform/alloc_test_hook.h"

namespace megcxc::test {
namespace {

using CollectionTest = FaceTest;

double cell(int64_t r, int64_t c, int d, int64_t t, int64_t f) { return 1.0 + r + 10.0 * c + 100.0 * d + 0.5 * t + 0.25 * f; }

TEST_F(CollectionTest, DatasetsAreCreatedByClassNamedAfterItAndDeletedToTheFirstHeldClass) {
  EXPECT_TRUE(face.collectionName == "Unknown" && !face.getCCSpctmTrlData4Class(false, -1));
  EXPECT_EQ(face.getCCSpctmTrlData4Class(true, -1)->trialName, "Active CxC");  // currentClass 0
  EXPECT_EQ(face.getCCSpctmTrlData4Class(true, 2)->trialName, "Act-Ctl CxC");
  EXPECT_EQ(face.getCCSpctmTrlData4Class(true, 3), nullptr);
  EXPECT_EQ(face.checkInitSpctmCxCData4Class(1, 0, 4, 5, 6, true, 1, 0, nullptr, nullptr), nullptr);
  EXPECT_TRUE(face.trialByClass[1]->trialName == "Control CxC" && !face.trialByClass[1]->pairMatrix);  // kept
  EXPECT_EQ(face.getTotalSpctmDataSets(), 3);
  face.currentClass = 0;
  EXPECT_EQ(face.deleteSpctmTrlData(-1), 1);
  EXPECT_TRUE(!face.trialByClass[0] && face.currentClass == 1);
  face.currentClass = 0;
  EXPECT_TRUE(face.getTrlCohDataAny() == face.trialByClass[1] && face.currentClass == 1);
  face.currentClass = 0;
  EXPECT_EQ(face.autoFindSetSpctmClass(), 1);
  EXPECT_TRUE(face.deleteSpctmTrlData(1) + face.deleteSpctmTrlData(2) == 2 && face.currentClass == -1);
  EXPECT_TRUE(face.deleteSpctmTrlData(-1) == 0 && !face.getTrlCohDataAny() && face.autoFindSetSpctmClass() == -1);
  AllocationFailureScope fail(1);
  EXPECT_TRUE(!face.getCCSpctmTrlData4Class(true, 1) && !face.trialByClass[1]);
}

TEST_F(CollectionTest, AddTakesOwnershipOnlyForAValidClass) {
  auto* stray = new CSpctmTrlCCDatazq;
  EXPECT_EQ(face.addSpctmDataSet(stray, 5) + face.addSpctmDataSet(stray, -1), 0);
  delete stray;  // still the caller's: the sanitizer build sees a double free
  auto* first = new CSpctmTrlCCDatazq;
  face.currentClass = 2;
  EXPECT_EQ(face.addSpctmDataSet(first, 0) + face.addSpctmDataSet(first, 0), 2);  // kept when held
  EXPECT_EQ(face.addSpctmDataSet(first, 1), 0);                                  // held by another class
  EXPECT_EQ(face.addSpctmDataSet(new CSpctmTrlCCDatazq, 0), 1);  // releases `first` (leak check)
  EXPECT_TRUE(face.currentClass == 2 && face.getTotalSpctmDataSets() == 1);
}

TEST_F(CollectionTest, ScaleReloadAndCleanReachTheRightDatasets) {
  CSpctmTrlCCDatazq& active = make(0, 2, 2, 2, 3, cell);
  CSpctmTrlCCDatazq& control = make(1, 2, 2, 2, 3, cell);
  face.scaleSpctmAllClassDataType(1, 2.0);
  EXPECT_EQ(active.pairMatrix[1][0].plane[2][1][2], cell(1, 0, 2, 1, 2));
  EXPECT_EQ(control.pairMatrix[1][0].plane[2][1][2], 2.0 * cell(1, 0, 2, 1, 2));
  face.scaleSpctmAllClassDataType(-1, 3.0);
  EXPECT_EQ(active.pairMatrix[0][1].plane[0][0][1], 3.0 * cell(0, 1, 0, 0, 1));
  EXPECT_EQ(control.pairMatrix[0][1].plane[1][1][0], 6.0 * cell(0, 1, 1, 1, 0));
  EXPECT_EQ(face.reloadSpctmDataAll(), 2);
  EXPECT_EQ(control.pairMatrix[1][1].plane[1][1][2], cell(1, 1, 1, 1, 2));
  active.summaryByDataType[1].isComputed = 1;
  face.currentClass = 1, face.auxInt = 9;
  EXPECT_EQ(face.cleanSpctmCCData(), 1);
  EXPECT_EQ(face.getTotalSpctmDataSets() * 10 + face.currentClass, 21);
  EXPECT_EQ(active.rowSnsCount + control.rowSnsCount + active.summaryByDataType[1].isComputed, 0);
  EXPECT_EQ(face.cleanSpctmCCTrls(), 1);
  EXPECT_EQ(face.getTotalSpctmDataSets() + face.currentClass + face.auxInt, 0);
}

TEST_F(CollectionTest, NormalisationDividesByTheRmsOrRefusesZero) {
  CSpctmTrlCCDatazq& ds = make(1, 3, 2, 4, 5, randomCells(21));
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

TEST_F(CollectionTest, BoxValueComesFromTheSummaryOrTheCurrentPairAndTimePointsBecomeSamples) {
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
  ds.timeStep = 2, ds.timePtOffset = 10, ds.timeDataBegin = 100;
  EXPECT_EQ(face.getSpctmTimePt(4, 0, 0), 118);
  EXPECT_EQ(face.getSpctmTimePt(4, -1, 0) + face.getSpctmTimePt(4, 1, 0), -2);  // bad or absent class
}

// The core never looks inside the dialog, so any address stands in for one.
int g_deleted = 0;
void countingDeleter(CDlgSpctmCCDataManager*) { ++g_deleted; }

TEST(ManagerDialogOwnershipTest, DestructorDestroysTheDialogOnceThroughTheDeleterOrForgetsIt) {
  int token = 0;
  auto* fake = reinterpret_cast<CDlgSpctmCCDataManager*>(&token);
  const Collection::ManagerDlgDeleter previous = Collection::setManagerDlgDeleter(countingDeleter);
  for (bool withDeleter : {true, false}) {
    g_deleted = 0;
    { Collection empty; }
    {
      Collection face;
      face.managerDlg = fake;
      face.cleanSpctmCCTrls();  // the dialog outlives the datasets
      EXPECT_EQ(g_deleted, 0);
    }
    EXPECT_EQ(g_deleted, withDeleter ? 1 : 0);
    EXPECT_EQ(Collection::setManagerDlgDeleter(nullptr), withDeleter ? countingDeleter : nullptr);
  }
  Collection::setManagerDlgDeleter(previous);
}

}  // namespace
}  // namespace megcxc::test
