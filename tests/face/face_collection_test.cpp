// The collection's slots, current class, whole-collection operations and its
// ownership of datasets and of the manager dialog.
#include "face_helpers.h"
#include "platform/alloc_hook.h"

namespace {

using megcxc::test::Collection;
using CollectionTest = megcxc::test::FaceTest;

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
  megcxc::AllocationFailureScope fail(1);
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
