#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

using PairRecord = PairTest;
const Grid kRe{{1, 2}, {3, 4}, {5, 6}};
const Grid kIm{{-1, -2}, {-3, -4}, {-5, -6}};

TEST_F(PairRecord, BufferRoutinesRefuseEmptyExtentsSilently) {
  EXPECT_EQ(CSpctmBasicx::newBufferF2d(0, 5, true), nullptr);
  double** none = nullptr;
  EXPECT_EQ(CSpctmBasicx::freeBufferF2d(0, 0, none), 0);
  EXPECT_TRUE(messages.texts().empty());
  AllocationFailureScope fail(1);
  EXPECT_EQ(CSpctmBasicx::newBufferF2d(2, 2, true), nullptr);
  EXPECT_EQ(messages.only(), "Has enough memory?");
}

TEST_F(PairRecord, InitKeepsSameExtentsAndRecreatesOthers) {
  EXPECT_TRUE(pair.isSelected && pair.chnA == -1 && pair.userTag == 0);
  ASSERT_EQ(pair.checkInitpctmSpace(10, 4, false, 1, 0), 1);
  EXPECT_EQ(grid(pair.plane[1], 10, 4), Grid(10, std::vector<double>(4, 0.0)));
  EXPECT_EQ(pair.plane[2], nullptr);
  pair.plane[0][9][3] = 7.0;
  ASSERT_EQ(pair.checkInitpctmSpace(10, 4, false, 1, 0), 1);
  EXPECT_EQ(pair.plane[0][9][3], 7.0);
  ASSERT_EQ(pair.checkInitpctmSpace(10, 4, true, 0, 0), 1);
  EXPECT_EQ(pair.plane[0][9][3], 0.0);
  EXPECT_EQ(pair.plane[1], nullptr);
  EXPECT_EQ(pair.verifySpctmData(10, 4, 1, 0), 0);
  EXPECT_EQ(pair.verifySpctmData(10, 4, 0, 0), 1);
  ASSERT_EQ(pair.checkInitpctmSpace(3, 4, false, 1, 1), 1);
  EXPECT_EQ(grid(pair.plane[2], 3, 4), Grid(3, std::vector<double>(4, 0.0)));
  EXPECT_EQ(pair.checkInitpctmSpace(0, 4, true, 1, 1), 0);
  EXPECT_EQ(pair.timePt, 0);
  EXPECT_TRUE(!pair.plane[0] && !pair.plane[1] && !pair.plane[2]);
}

TEST_F(PairRecord, HostRowsAreCopiedAndBackedUp) {
  ASSERT_EQ(fill(pair, kRe, kIm), 1);
  int64_t t = 0, f = 0;
  EXPECT_EQ(pair.getSpctmDataPtr(2, &t, &f), nullptr);
  EXPECT_TRUE(t == 3 && f == 2);
  t = f = 0;
  EXPECT_EQ(pair.getSpctmDataPtr(7, &t, &f), nullptr);
  EXPECT_TRUE(t == 3 && f == 2);
  pair.plane[0][2][1] = 99.0;
  ASSERT_EQ(pair.reloadRawSpctmDataRIX(), 1);
  EXPECT_EQ(real(), kRe);
  // Rows taken from the record's own planes stay readable while copied.
  ASSERT_EQ(pair.addSpctmData2ChannelCWTri(pair.plane[1], pair.plane[0], 3, 2), 1);
  EXPECT_EQ(real(), kIm);
  ASSERT_EQ(fill(pair, kRe), 1);
  EXPECT_TRUE(!pair.plane[1] && !pair.rawPlane[1]);
  std::vector<const double*> holed{kRe[0].data(), nullptr, kRe[2].data()};
  EXPECT_EQ(pair.addSpctmData2ChannelCWTr(holed.data(), 3, 2), 0);
  EXPECT_EQ(pair.timePt, 0);
}

TEST_F(PairRecord, StoredResultJoinsTheBackupAlone) {
  fill(pair, kRe, kIm);
  EXPECT_EQ(pair.has3Data(), 0);
  ASSERT_EQ(pair.computeMagnitude(), 2);
  EXPECT_EQ(pair.has3Data(), 1);
  const Grid magnitude = grid(pair.plane[2], 3, 2);
  pair.plane[0][0][0] = 50.0;
  ASSERT_EQ(pair.storeSpctmResult(), 1);
  EXPECT_EQ(grid(pair.rawPlane[2], 3, 2), magnitude);
  EXPECT_EQ(grid(pair.rawPlane[0], 3, 2), kRe);
  pair.plane[2][1][1] = -1.0;
  ASSERT_EQ(pair.reloadRawSpctmDataRIX(), 1);
  EXPECT_EQ(real(), kRe);
  EXPECT_EQ(grid(pair.plane[2], 3, 2), magnitude);
}

TEST_F(PairRecord, ReloadOfOtherExtentsRecreatesWorkingPlanes) {
  const Grid big{{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}, {13, 14, 15, 16}, {17, 18, 19, 20}};
  fill(pair, big);
  ASSERT_EQ(pair.checkInitpctmSpace(3, 4, true, 1, 0), 1);
  ASSERT_EQ(pair.reloadRawSpctmDataRIX(), 1);
  EXPECT_EQ(real(), big);
  EXPECT_EQ(pair.plane[1], nullptr);
}

TEST_F(PairRecord, FailedAllocationsReportAndKeepRecordConsistent) {
  for (int nth = 1; nth <= 2; ++nth) {
    fill(pair, kRe, kIm);
    messages.clear();
    AllocationFailureScope fail(nth);
    EXPECT_EQ(fill(pair, kRe, kIm), 0);
    EXPECT_EQ(messages.only(), "Has enough memory?");
    EXPECT_TRUE(pair.timePt == 0 && !pair.plane[0] && !pair.plane[1]);
  }
  fill(pair, kRe, kIm);
  messages.clear();
  AllocationFailureScope fail(2);
  EXPECT_EQ(pair.storeData2Backupfile(), 0);
  EXPECT_EQ(messages.only(), "Has enough memory?");
  EXPECT_EQ(grid(pair.rawPlane[0], 3, 2), kRe);
  EXPECT_EQ(pair.rawPlane[1], nullptr);
}

TEST_F(PairRecord, CopiesOwnTheirPlanes) {
  fill(pair, kRe, kIm);
  pair.plane[1][1] = nullptr;
  CSpctmChnChnDatazq copy(pair);
  copy.plane[0][0][0] = 100.0;
  EXPECT_EQ(pair.plane[0][0][0], 1.0);
  EXPECT_EQ(copy.plane[1][1], nullptr);
  EXPECT_EQ(grid(copy.rawPlane[1], 3, 2), kIm);
  CSpctmChnChnDatazq assigned;
  fill(assigned, {{9}});
  assigned = copy;
  assigned = *&assigned;
  EXPECT_EQ(assigned.plane[0][0][0], 100.0);
  CSpctmChnChnDatazq moved(std::move(assigned));
  EXPECT_EQ(moved.plane[0][2][1], 6.0);
  expectConsistent(moved);
}

}  // namespace
}  // namespace megcxc::test
