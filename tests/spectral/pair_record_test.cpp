#include "spectral/pair_helpers.h"

namespace megcxc::test {
namespace {

using PairRecord = PairTest;
const Grid kRe{{1, 2}, {3, 4}, {5, 6}};
const Grid kIm{{-1, -2}, {-3, -4}, {-5, -6}};
const Grid kZeros(3, std::vector<double>(2, 0.0));

TEST_F(PairRecord, BufferRoutinesRefuseEmptyExtentsSilentlyAndReportFailedAllocation) {
  double** none = nullptr;
  EXPECT_TRUE(!CSpctmBasicx::newBufferF2d(0, 5, true) && CSpctmBasicx::freeBufferF2d(0, 0, none) == 0);
  EXPECT_TRUE(messages.texts().empty());
  AllocationFailureScope fail(1);
  EXPECT_EQ(CSpctmBasicx::newBufferF2d(2, 2, true), nullptr);
  EXPECT_EQ(messages.only(), "Has enough memory?");
}

TEST_F(PairRecord, InitKeepsSameExtentsAndRecreatesOthers) {
  EXPECT_TRUE(pair.isSelected && pair.chnA == -1 && pair.userTag == 0);
  ASSERT_EQ(pair.checkInitpctmSpace(3, 2, false, 1, 0), 1);
  EXPECT_TRUE(cells(1) == kZeros && !pair.plane[2]);
  pair.plane[0][2][1] = 7.0;
  ASSERT_EQ(pair.checkInitpctmSpace(3, 2, false, 1, 0), 1);
  EXPECT_EQ(pair.plane[0][2][1], 7.0);
  ASSERT_EQ(pair.checkInitpctmSpace(3, 2, true, 0, 0), 1);
  EXPECT_TRUE(cells() == kZeros && !pair.plane[1]);
  EXPECT_TRUE(pair.verifySpctmData(3, 2, 1, 0) == 0 && pair.verifySpctmData(3, 2, 0, 0) == 1);
  ASSERT_EQ(pair.checkInitpctmSpace(4, 2, false, 1, 1), 1);
  EXPECT_EQ(cells(2), Grid(4, std::vector<double>(2, 0.0)));
  EXPECT_EQ(pair.checkInitpctmSpace(0, 4, true, 1, 1), 0);
  EXPECT_TRUE(pair.timePt == 0 && !pair.plane[0] && !pair.plane[1] && !pair.plane[2]);
}

TEST_F(PairRecord, HostRowsAreCopiedBackedUpAndResultsJoinTheBackup) {
  ASSERT_EQ(fill(pair, kRe, kIm), 1);
  int64_t t = 0, f = 0;
  EXPECT_TRUE(!pair.getSpctmDataPtr(2, &t, &f) && t == 3 && f == 2);
  EXPECT_EQ(pair.has3Data(), 0);
  ASSERT_EQ(pair.computeMagnitude(), 2);
  EXPECT_EQ(pair.has3Data(), 1);
  const Grid magnitude = cells(2);
  pair.plane[0][2][1] = 99.0;
  ASSERT_EQ(pair.storeSpctmResult(), 1);  // the result alone joins the backup
  EXPECT_TRUE(grid(pair.rawPlane[2], 3, 2) == magnitude && grid(pair.rawPlane[0], 3, 2) == kRe);
  pair.plane[2][1][1] = -1.0;
  ASSERT_EQ(pair.reloadRawSpctmDataRIX(), 1);
  EXPECT_TRUE(cells() == kRe && cells(2) == magnitude);
  // Rows taken from the record's own planes stay readable while copied.
  ASSERT_EQ(pair.addSpctmData2ChannelCWTri(pair.plane[1], pair.plane[0], 3, 2), 1);
  EXPECT_EQ(cells(), kIm);
  ASSERT_EQ(fill(pair, kRe), 1);
  EXPECT_TRUE(!pair.plane[1] && !pair.rawPlane[1]);
  ASSERT_EQ(pair.checkInitpctmSpace(2, 4, true, 1, 0), 1);  // reload recreates planes of other extents
  ASSERT_EQ(pair.reloadRawSpctmDataRIX(), 1);
  EXPECT_TRUE(cells() == kRe && !pair.plane[1]);
  std::vector<const double*> holed{kRe[0].data(), nullptr, kRe[2].data()};
  EXPECT_EQ(pair.addSpctmData2ChannelCWTr(holed.data(), 3, 2), 0);
  EXPECT_EQ(pair.timePt, 0);
}

TEST_F(PairRecord, FailedAllocationsReportAndKeepRecordConsistent) {
  for (auto [nth, backup] : {std::pair{1, false}, {2, false}, {2, true}}) {
    fill(pair, kRe, kIm);
    messages.clear();
    AllocationFailureScope fail(nth);
    if (!backup) {
      EXPECT_EQ(fill(pair, kRe, kIm), 0);
      EXPECT_TRUE(pair.timePt == 0 && !pair.plane[0] && !pair.plane[1]);
    } else {
      EXPECT_EQ(pair.storeData2Backupfile(), 0);
      EXPECT_TRUE(grid(pair.rawPlane[0], 3, 2) == kRe && !pair.rawPlane[1]);
    }
    EXPECT_EQ(messages.only(), "Has enough memory?");
  }
}

TEST_F(PairRecord, CopiesOwnTheirPlanes) {
  fill(pair, kRe, kIm);
  pair.plane[1][1] = nullptr;
  CSpctmChnChnDatazq copy(pair), assigned;
  copy.plane[0][0][0] = 100.0;
  EXPECT_TRUE(pair.plane[0][0][0] == 1.0 && !copy.plane[1][1] && grid(copy.rawPlane[1], 3, 2) == kIm);
  fill(assigned, {{9}});
  assigned = copy;
  assigned = *&assigned;
  EXPECT_EQ(assigned.plane[0][0][0], 100.0);
  CSpctmChnChnDatazq moved(std::move(assigned));
  EXPECT_EQ(moved.plane[0][2][1], 6.0);
  expectPairFits(moved);
}  // each plane is released once (AddressSanitizer)

}  // namespace
}  // namespace megcxc::test
