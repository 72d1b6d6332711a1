#include <cstdint>
#include <string>
#include <vector>

#include "platform/carchive.h"
#include "spectral/pair_helpers.h"
#include "support/bytes.h"

namespace megcxc::test {
namespace {

// Sizes of the stored layout: magic (FF FE FF 0B + 11 UTF-16 units), version,
// working scalars (3 doubles, 4 i64), raw extents (2 i64).
constexpr std::size_t kHead = 26 + 4, kScalars = 56, kRawExtents = 16;

class PairArchive : public PairTest {
 protected:
  static std::vector<uint8_t> store(CSpctmChnChnDatazq& p) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(p.serializeSpctmCzq(ar), 1);
    return file.bytes();
  }
  static int load(CSpctmChnChnDatazq& p, const std::vector<uint8_t>& bytes) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    return p.serializeSpctmCzq(ar);
  }
  // The 2 x 3 pair with a real plane only and no backup, up to the backup
  // section included.
  static Bytes example(int32_t version) {
    Bytes b;
    b.str("SPCTMCHNLZQ").i32(version).f64(6.5).f64(-0.5).f64(0.25).i64(3).i64(8).i64(2).i64(3);
    b.i32(1).i32(1).f64(1).f64(2).f64(3).i32(1).f64(4).f64(5).f64(6).i32(0).i32(0);
    return b.i64(0).i64(0).i32(0).i32(0).i32(0);
  }
};

TEST_F(PairArchive, ExamplePairHasDocumentedBytesAndReadsBack) {
  ASSERT_EQ(pair.checkInitpctmSpace(2, 3, true, 0, 0), 1);
  for (int c = 0; c < 6; ++c) pair.plane[0][c / 3][c % 3] = c + 1;
  pair.rangeMax = 6.5, pair.rangeMin = -0.5, pair.spctmAverage = 0.25;
  pair.chnA = 3, pair.chnB = 8, pair.userTag = 7;
  const auto expected = example(20130517).u8(1).i32(7).bytes();
  ASSERT_EQ(store(pair), expected);
  CSpctmChnChnDatazq back;
  fill(back, {{9, 9}}, {{9, 9}});
  back.isSelected = false;
  ASSERT_EQ(load(back, expected), 1);
  EXPECT_EQ(grid(back.plane[0], back.timePt, back.freqPt), (Grid{{1, 2, 3}, {4, 5, 6}}));
  EXPECT_TRUE(!back.plane[1] && !back.rawPlane[0] && back.rawTimePt == 0);
  EXPECT_TRUE(back.chnA == 3 && back.chnB == 8 && back.rangeMin == -0.5 && back.spctmAverage == 0.25);
  EXPECT_TRUE(back.isSelected && back.userTag == 7);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(PairArchive, PowerPhaseWithoutImaginaryAndBackupBlocks) {
  fill(pair, {{-2}});
  ASSERT_EQ(pair.computeMagnitude(), 1);
  pair.isSelected = false;
  Bytes b;
  b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(-1).i64(-1).i64(1).i64(1);
  b.i32(1).i32(1).f64(-2).i32(0).i32(1).i32(1).f64(2);
  b.i64(1).i64(1).i32(1).i32(1).f64(-2).i32(0).i32(0).u8(0).i32(0);
  EXPECT_EQ(store(pair), b.bytes());
}

TEST_F(PairArchive, OldVersionKeepsSelectionAndTagAndStopsAtItsEnd) {
  CMemFile file(example(20090726).i32(12345).bytes());
  CArchive ar(&file, CArchive::load);
  pair.isSelected = false;
  pair.userTag = 5;
  ASSERT_EQ(pair.serializeSpctmCzq(ar), 1);
  int32_t next = 0;
  ar >> next;
  EXPECT_EQ(next, 12345);
  EXPECT_TRUE(!pair.isSelected && pair.userTag == 5 && pair.plane[0][1][2] == 6.0);
}

TEST_F(PairArchive, WrongMagicOrVersionLeavesRecordUntouched) {
  fill(pair, {{1, 2}});
  EXPECT_EQ(load(pair, Bytes().str("SPCTMCHNLzq").i32(20130517).bytes()), 0);
  EXPECT_EQ(messages.only(), "This is error in opening channel spectral data!");
  messages.clear();
  EXPECT_EQ(load(pair, example(20130518).bytes()), 0);
  EXPECT_EQ(messages.only(), "This is error in opening channel spectral data!!!?");
  EXPECT_EQ(real(), (Grid{{1, 2}}));
}

TEST_F(PairArchive, AbsentRowLoadsEmptyAndIsStoredAgain) {
  Bytes b;
  b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(0).i64(1).i64(3).i64(2);
  b.i32(1).i32(1).f64(1).f64(2).i32(0).i32(1).f64(5).f64(6).i32(0).i32(0);
  b.i64(3).i64(2).i32(0).i32(0).i32(1).i32(0).i32(1).f64(7).f64(8).i32(1).f64(9).f64(10).u8(1).i32(0);
  ASSERT_EQ(load(pair, b.bytes()), 1);
  EXPECT_TRUE(!pair.plane[0][1] && pair.plane[0][2][1] == 6.0 && !pair.rawPlane[2][0]);
  EXPECT_EQ(pair.getSpctmValue(1, 1, 0), 0.0);
  expectConsistent(pair);
  EXPECT_EQ(store(pair), b.bytes());
}

TEST_F(PairArchive, PresentPlaneWithoutUsableExtentsIsRefused) {
  for (int64_t rows : {0LL, -4LL, 1LL << 40}) {
    Bytes b;
    b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(0).i64(0).i64(rows).i64(2).i32(1).i32(1);
    CSpctmChnChnDatazq p;
    messages.clear();
    EXPECT_EQ(load(p, b.bytes()), 0) << rows;
    EXPECT_EQ(messages.only(), "Has enough memory?");
    EXPECT_EQ(p.plane[0], nullptr);
  }
}

// A 2 x 2 pair with all six planes: each plane block takes 4 + 2 * (4 + 16).
class StoredFullPair : public PairArchive {
 protected:
  void SetUp() override {
    fill(pair, {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}});
    ASSERT_EQ(pair.computeMagnitude(), 2);
    ASSERT_EQ(pair.storeData2Backupfile(), 1);
    bytes = store(pair);
    ASSERT_EQ(bytes.size(), kHead + kScalars + 3 * 44 + kRawExtents + 3 * 44 + 1 + 4);
  }
  std::vector<uint8_t> bytes;
};

TEST_F(StoredFullPair, AllocationFailuresNameTheirPlane) {
  // Allocation 1 is the magic string; 2 to 7 are the six planes in stream order.
  for (int nth = 2; nth <= 7; ++nth) {
    CSpctmChnChnDatazq p;
    messages.clear();
    AllocationFailureScope fail(nth);
    EXPECT_EQ(load(p, bytes), 0);
    EXPECT_EQ(messages.only(), nth == 2 ? "Has enough memory?" : "Not enough memory!") << nth;
    expectConsistent(p);
  }
}

TEST_F(StoredFullPair, TruncationAtEveryOffsetFailsCleanly) {
  // A cut that leaves fewer than the 32 bytes of a plane's declared cells
  // after its presence flag makes the reader refuse the plane before
  // allocating it; any other cut throws.
  std::vector<std::size_t> refused;
  for (std::size_t d = 0; d < 3; ++d) refused.push_back(kHead + kScalars + 44 * d + 4);
  for (std::size_t d = 0; d < 3; ++d) refused.push_back(kHead + kScalars + 3 * 44 + kRawExtents + 44 * d + 4);
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    CSpctmChnChnDatazq p;
    fill(p, {{9, 9, 9}}, {{9, 9, 9}});
    messages.clear();
    std::size_t window = refused.size();
    for (std::size_t i = 0; i < refused.size(); ++i)
      if (cut >= refused[i] && cut < refused[i] + 32) window = i;
    const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    if (window < refused.size()) {
      EXPECT_EQ(load(p, part), 0) << cut;
      EXPECT_EQ(messages.only(), window == 0 ? "Has enough memory?" : "Not enough memory!") << cut;
    } else {
      try {
        load(p, part);
        ADD_FAILURE() << "no exception at cut " << cut;
      } catch (const CArchiveException& e) {
        EXPECT_EQ(e.m_cause, CArchiveException::endOfFile) << cut;
        const bool inFirstRow = cut == kHead + kScalars + 16;
        EXPECT_TRUE(!inFirstRow || std::string(e.what()).find("cells of row 0 of working plane 0") != std::string::npos)
            << e.what();
      }
    }
    expectConsistent(p);
  }
}

}  // namespace
}  // namespace megcxc::test
