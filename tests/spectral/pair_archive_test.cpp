// The channel-pair archive in both versions: byte layout, refused and truncated
// streams, the reader's allocation-failure sweep and the fuzzer's findings.
#include <string>

#include "spectral/pair_helpers.h"
#include "support/archive_bytes.h"
#include "support/bytes.h"
#include "support/prefix_sweep.h"

namespace megcxc::test {
namespace {

// Sizes of the stored layout: magic (FF FE FF 0B + 11 UTF-16 units), version,
// working scalars (3 doubles, 4 i64), raw extents (2 i64).
constexpr std::size_t kHead = 26 + 4, kScalars = 56, kRawExtents = 16;

// Header and working scalars: range max, min, average 0; channels 0, 1.
Bytes head(int64_t rows, int64_t cols, int32_t version = 20130517) {
  return Bytes().str("SPCTMCHNLZQ").i32(version).f64(0).f64(0).f64(0).i64(0).i64(1).i64(rows).i64(cols);
}

// The 2 x 3 pair with a real plane only and no backup, up to its backup section.
Bytes example(int32_t version) {
  Bytes b;
  b.str("SPCTMCHNLZQ").i32(version).f64(6.5).f64(-0.5).f64(0.25).i64(3).i64(8).i64(2).i64(3);
  b.i32(1).i32(1).f64(1).f64(2).f64(3).i32(1).f64(4).f64(5).f64(6).i32(0).i32(0);
  return b.i64(0).i64(0).i32(0).i32(0).i32(0);
}

// Writes the version-20090726 layout through the record's own sections.
struct OldPair : CSpctmChnChnDatazq {
  std::vector<uint8_t> storeOld() {
    return storedBytes([this](CArchive& ar) {
      ar << CString("SPCTMCHNLZQ") << int32_t{20090726};
      _01serializeSpctmData(ar);
      return _02serializeSpctm2BkFile(ar);
    });
  }
};

using PairArchive = PairTest;

TEST_F(PairArchive, LayoutsOfBothVersionsAndReadingBack) {
  // Power/phase plane without an imaginary one, with backup blocks.
  fill(pair, {{-2}});
  ASSERT_EQ(pair.computeMagnitude(), 1);
  pair.isSelected = false, pair.chnA = 0, pair.chnB = 1;
  Bytes b = head(1, 1);
  b.i32(1).i32(1).f64(-2).i32(0).i32(1).i32(1).f64(2);
  b.i64(1).i64(1).i32(1).i32(1).f64(-2).i32(0).i32(0).u8(0).i32(0);
  EXPECT_EQ(store(pair), b.bytes());
  // The example pair, read back over a record holding other planes.
  pair = CSpctmChnChnDatazq();
  ASSERT_EQ(pair.checkInitpctmSpace(2, 3, true, 0, 0), 1);
  for (int c = 0; c < 6; ++c) pair.plane[0][c / 3][c % 3] = c + 1;
  pair.rangeMax = 6.5, pair.rangeMin = -0.5, pair.spctmAverage = 0.25;
  pair.chnA = 3, pair.chnB = 8, pair.userTag = 7;
  const auto expected = example(20130517).u8(1).i32(7).bytes();
  ASSERT_EQ(store(pair), expected);
  CSpctmChnChnDatazq back, old;
  fill(back, {{9, 9}}, {{9, 9}});
  back.isSelected = false;
  ASSERT_EQ(load(back, expected), 1);
  EXPECT_TRUE(!back.plane[1] && !back.rawPlane[0] && back.rawTimePt == 0 && back.isSelected);
  EXPECT_EQ(store(back), expected);
  // The old version keeps selection and tag and stops at its end.
  CMemFile file(example(20090726).i32(12345).bytes());
  CArchive ar(&file, CArchive::load);
  old.isSelected = false, old.userTag = 5;
  ASSERT_EQ(old.serializeSpctmCzq(ar), 1);
  EXPECT_TRUE(ar.bytesRemaining() == 4 && !old.isSelected && old.userTag == 5);
  EXPECT_TRUE(old.chnB == 8 && old.rangeMin == -0.5 && grid(old.plane[0], 2, 3) == (Grid{{1, 2, 3}, {4, 5, 6}}));
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(PairArchive, RefusedHeadersAndExtentsAndPlanesWithAbsentRows) {
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
  // An absent row loads empty and is stored again.
  messages.clear();
  Bytes b = head(3, 2);
  b.i32(1).i32(1).f64(1).f64(2).i32(0).i32(1).f64(5).f64(6).i32(0).i32(0);
  b.i64(3).i64(2).i32(0).i32(0).i32(1).i32(0).i32(1).f64(7).f64(8).i32(1).f64(9).f64(10).u8(1).i32(0);
  ASSERT_EQ(load(pair, b.bytes()), 1);
  EXPECT_TRUE(!pair.plane[0][1] && pair.plane[0][2][1] == 6.0 && !pair.rawPlane[2][0]);
  EXPECT_EQ(pair.getSpctmValue(1, 1, 0), 0.0);
  expectPairFits(pair);
  EXPECT_EQ(store(pair), b.bytes());
  // Fuzzer finding: a plane with absent rows as the last item of a stream was
  // refused, the reader asking the rest of the stream for all its cells though
  // an absent row stores none; such a record's stream could not be read back.
  ASSERT_EQ(fill(pair, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), 1);
  pair.rawPlane[0][0] = pair.rawPlane[0][2] = nullptr;
  const std::vector<uint8_t> bytes = store(pair);
  CSpctmChnChnDatazq back;
  ASSERT_EQ(load(back, bytes), 1);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(std::vector<double>(back.rawPlane[0][1], back.rawPlane[0][1] + 3), (std::vector<double>{4, 5, 6}));
  EXPECT_TRUE(back.rawPlane[0][0] == nullptr && back.rawPlane[0][2] == nullptr);
  EXPECT_EQ(store(back), bytes);
  // Fuzzer finding: one present 2-cell row among 64 absent ones, 65 x 2 cells
  // (1040 bytes) against a block of 65 * 4 + 16 bytes (276), is under the limit
  // of 8 cell bytes per block byte and accepted; with 64-cell rows (33280
  // against 772 bytes) it is refused once its block is read, and the stream is
  // left after the block. The 4200 bytes after the record could hold it.
  for (const int64_t cols : {int64_t{2}, int64_t{64}}) {
    Bytes wide = head(65, cols).i32(1);
    for (int r = 0; r < 65; ++r) {
      wide.i32(r == 7 ? 1 : 0);
      for (int64_t c = 0; r == 7 && c < cols; ++c) wide.f64(1.0);
    }
    wide.i32(0).i32(0).i64(0).i64(0).i32(0).i32(0).i32(0).u8(1).i32(3).append(std::vector<uint8_t>(4200, 0));
    CSpctmChnChnDatazq p;
    messages.clear();
    CMemFile file(wide.bytes());
    CArchive ar(&file, CArchive::load);
    EXPECT_EQ(p.serializeSpctmCzq(ar), cols == 2 ? 1 : 0);
    if (cols == 2) {
      EXPECT_TRUE(p.plane[0] != nullptr && p.plane[0][7][1] == 1.0 && p.userTag == 3);
    } else {
      EXPECT_TRUE(messages.only() == "Has enough memory?" && p.plane[0] == nullptr);
      // The two plane flags, the rest of the pair and the trailing bytes.
      EXPECT_EQ(ar.bytesRemaining(), 8 + 16 + 12 + 1 + 4 + 4200);
    }
  }
}

// A cut anywhere, in either version and whether or not the stream tells its
// length, ends in the end-of-file exception naming the field (no memory
// message, no refused plane); the record keeps only complete planes.
TEST_F(PairArchive, EveryProperPrefixEndsInTheEndOfFileException) {
  // A 2 x 2 pair with all six planes; row 1 of the power/phase plane absent.
  OldPair src;
  ASSERT_TRUE(fill(src, {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}) == 1 && src.computeMagnitude() == 2);
  ASSERT_EQ(src.storeData2Backupfile(), 1);
  src.plane[2][1] = nullptr;
  src.chnA = 3, src.chnB = 7;
  const std::vector<uint8_t> bytes = store(src);
  ASSERT_EQ(bytes.size(), kHead + kScalars + 2 * 44 + 28 + kRawExtents + 3 * 44 + 1 + 4);
  auto read = [](CSpctmChnChnDatazq& p, CArchive& ar) { return p.serializeSpctmCzq(ar); };
  auto check = [](const CSpctmChnChnDatazq& p) { expectPairFits(p); };
  EXPECT_EQ(sweepPrefixes<CSpctmChnChnDatazq>(bytes, read, check), 2 * bytes.size());
  const std::vector<uint8_t> old = src.storeOld();
  EXPECT_EQ(sweepPrefixes<CSpctmChnChnDatazq>(old, read, check), 2 * old.size());
  // The text names field, byte and pair: 8 bytes into the cells of row 0.
  const std::size_t cells = kHead + kScalars + 4 + 4;
  CSpctmChnChnDatazq p;
  EXPECT_EQ(endOfArchiveText([&] { load(p, std::vector<uint8_t>(bytes.begin(), bytes.begin() + cells + 8)); }),
            "end of archive in cells of row 0 of working plane 0 (byte " + std::to_string(cells) +
                ") of channel pair (3, 7)");
  // The same from a stream of unknown length and a plane (600 x 300 cells)
  // whose rows are gathered as they arrive: the cells of row 1 run out.
  Bytes big = head(600, 300).i32(1).i32(1);
  for (int c = 0; c < 300; ++c) big.f64(c);
  big.i32(1).f64(1);
  UnsizedMemFile file(big.bytes());
  CArchive ar(&file, CArchive::load);
  EXPECT_EQ(endOfArchiveText([&] { p.serializeSpctmCzq(ar); }),
            "end of archive in cells of row 1 of working plane 0 (byte " + std::to_string(cells + 2404) +
                ") of channel pair (0, 1)");
  expectPairFits(p);
}

class PairReaderSweep : public ::testing::TestWithParam<bool> {};

TEST_P(PairReaderSweep, EveryFailureEndsAsDocumented) {
  // 2 x 2 real and imaginary planes with their raw backup, then the derived
  // power/phase plane (not backed up): the magic string, three working
  // planes and two raw planes are allocated, in stream order.
  const bool old = GetParam();
  OldPair src;
  ASSERT_TRUE(fill(src, {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}) == 1 && src.computeMagnitude() == 2);
  src.userTag = 9;
  const std::vector<uint8_t> bytes = old ? src.storeOld() : store(src);
  std::vector<SweepOutcome> plan = {throwsMemory(), returns(0, {"Has enough memory?"})};
  plan.insert(plan.end(), 4, returns(0, {"Not enough memory!"}));
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    // A record holding a 3 x 1 real plane and tag 4 before the read.
    CSpctmChnChnDatazq p;
    EXPECT_EQ(fill(p, {{-1}, {-2}, {-3}}), 1);
    p._cleanBkSpctmData();
    p.rawTimePt = p.rawFreqPt = 0;
    p.userTag = 4;
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return p.serializeSpctmCzq(ar); }, made);
    expectPairFits(p);
    if (nth == 1) {
      EXPECT_EQ(grid(p.plane[0], p.timePt, p.freqPt), (Grid{{-1}, {-2}, {-3}}));
    } else {
      // Planes before the failing one are read; it and those after it are absent.
      const int64_t failed = nth == 0 ? 6 : nth - 2;
      for (int d = 0; d < 3; ++d) EXPECT_EQ(p.plane[d] != nullptr, d < failed) << nth << " plane " << d;
      for (int d = 0; d < 2; ++d) EXPECT_EQ(p.rawPlane[d] != nullptr, d + 3 < failed) << nth << " raw " << d;
      EXPECT_EQ(p.timePt * 10 + p.freqPt, 22);
    }
    EXPECT_EQ(p.userTag, nth == 0 && !old ? 9 : 4);
    return o;
  });
}

INSTANTIATE_TEST_SUITE_P(Versions20130517And20090726, PairReaderSweep, ::testing::Values(false, true));

}  // namespace
}  // namespace megcxc::test
