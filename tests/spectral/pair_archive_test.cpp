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
  // Header and working scalars: range max, min, average 0; channels 0, 1.
  static Bytes head(int64_t rows, int64_t cols, int32_t version = 20130517) {
    return Bytes().str("SPCTMCHNLZQ").i32(version).f64(0).f64(0).f64(0).i64(0).i64(1).i64(rows).i64(cols);
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

TEST_F(PairArchive, ExamplePairHasItsBytesAndReadsBack) {
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
  EXPECT_TRUE(!back.plane[1] && !back.rawPlane[0] && back.rawTimePt == 0 && back.isSelected);
  EXPECT_EQ(store(back), expected);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(PairArchive, PowerPhaseWithoutImaginaryAndBackupBlocks) {
  fill(pair, {{-2}});
  ASSERT_EQ(pair.computeMagnitude(), 1);
  pair.isSelected = false, pair.chnA = 0, pair.chnB = 1;
  Bytes b = head(1, 1);
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
  EXPECT_TRUE(next == 12345 && !pair.isSelected && pair.userTag == 5);
  EXPECT_TRUE(pair.chnB == 8 && pair.rangeMin == -0.5 && cells() == (Grid{{1, 2, 3}, {4, 5, 6}}));
}

TEST_F(PairArchive, RefusedHeadersAndExtentsLeaveOrEmptyTheRecord) {
  fill(pair, {{1, 2}});
  EXPECT_EQ(load(pair, Bytes().str("SPCTMCHNLzq").i32(20130517).bytes()), 0);
  EXPECT_EQ(messages.only(), "This is error in opening channel spectral data!");
  messages.clear();
  EXPECT_EQ(load(pair, example(20130518).bytes()), 0);
  EXPECT_EQ(messages.only(), "This is error in opening channel spectral data!!!?");
  EXPECT_EQ(cells(), (Grid{{1, 2}}));
  for (int64_t rows : {0LL, -4LL, 1LL << 40}) {  // a present plane without usable extents
    CSpctmChnChnDatazq p;
    messages.clear();
    EXPECT_EQ(load(p, head(rows, 2).i32(1).i32(1).bytes()), 0) << rows;
    EXPECT_TRUE(messages.only() == "Has enough memory?" && !p.plane[0]) << rows;
  }
}

TEST_F(PairArchive, AbsentRowLoadsEmptyAndIsStoredAgain) {
  Bytes b = head(3, 2);
  b.i32(1).i32(1).f64(1).f64(2).i32(0).i32(1).f64(5).f64(6).i32(0).i32(0);
  b.i64(3).i64(2).i32(0).i32(0).i32(1).i32(0).i32(1).f64(7).f64(8).i32(1).f64(9).f64(10).u8(1).i32(0);
  ASSERT_EQ(load(pair, b.bytes()), 1);
  EXPECT_TRUE(!pair.plane[0][1] && pair.plane[0][2][1] == 6.0 && !pair.rawPlane[2][0]);
  EXPECT_EQ(pair.getSpctmValue(1, 1, 0), 0.0);
  expectPairFits(pair);
  EXPECT_EQ(store(pair), b.bytes());
}

TEST_F(PairArchive, TruncationAtEveryOffsetFailsCleanly) {
  // A 2 x 2 pair with all six planes: each plane block takes 4 + 2 * (4 + 16).
  fill(pair, {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}});
  ASSERT_EQ(pair.computeMagnitude(), 2);
  ASSERT_EQ(pair.storeData2Backupfile(), 1);
  const std::vector<uint8_t> bytes = store(pair);
  ASSERT_EQ(bytes.size(), kHead + kScalars + 3 * 44 + kRawExtents + 3 * 44 + 1 + 4);
  // A cut that leaves fewer than the 32 bytes of a plane's declared cells
  // after its presence flag makes the reader refuse plane d (0-2 working, 3-5
  // backup) before allocating it; any other cut throws.
  auto refusedPlane = [](std::size_t cut) {
    for (std::size_t d = 0; d < 6; ++d) {
      const std::size_t cells = kHead + kScalars + 44 * d + (d < 3 ? 0 : kRawExtents) + 4;
      if (cut >= cells && cut < cells + 32) return static_cast<int>(d);
    }
    return -1;
  };
  for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
    CSpctmChnChnDatazq p;
    fill(p, {{9, 9, 9}}, {{9, 9, 9}});
    messages.clear();
    const std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    if (const int d = refusedPlane(cut); d >= 0) {
      EXPECT_EQ(load(p, part), 0) << cut;
      EXPECT_EQ(messages.only(), d == 0 ? "Has enough memory?" : "Not enough memory!") << cut;
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
    expectPairFits(p);
  }
}

}  // namespace
}  // namespace megcxc::test
