// Allocation-failure sweep of the channel-pair archive reader (both
// versions), and the cases the archive fuzzer found in it.
#include <cstdint>
#include <vector>

#include "platform/carchive.h"
#include "spectral/pair_helpers.h"
#include "support/bytes.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

// Writes the version-20090726 layout through the record's own sections.
class OldPair : public CSpctmChnChnDatazq {
 public:
  std::vector<uint8_t> storeOld() {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    ar << CString("SPCTMCHNLZQ") << int32_t{20090726};
    _01serializeSpctmData(ar);
    _02serializeSpctm2BkFile(ar);
    ar.Close();
    return file.bytes();
  }
};

class PairReaderSweep : public ::testing::TestWithParam<bool> {};

TEST_P(PairReaderSweep, EveryFailureEndsAsDocumented) {
  // 2 x 2 real and imaginary planes with their raw backup, then the derived
  // power/phase plane (not backed up): the magic string, three working
  // planes and two raw planes are allocated, in stream order.
  const bool old = GetParam();
  OldPair src;
  ASSERT_EQ(fill(src, {{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}), 1);
  ASSERT_EQ(src.computeMagnitude(), 2);
  src.userTag = 9;
  const std::vector<uint8_t> bytes = old ? src.storeOld() : store(src);
  const SweepOutcome notEnough = returns(0, {"Not enough memory!"});
  const std::vector<SweepOutcome> plan = {throwsMemory(), returns(0, {"Has enough memory?"}),
                                          notEnough,      notEnough,
                                          notEnough,      notEnough};
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
      // The planes before the failing one are read; the failing one and
      // those after it are absent.
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

// Found by the archive fuzzer: a plane with absent rows as the last item of a
// stream was refused because the reader asked the rest of the stream to hold
// all its cells, although an absent row stores no cells. A stream written
// from such a record then could not be read back.
TEST(PairReaderFuzzFindings, PlaneWithAbsentRowsAtTheEndOfTheStreamReadsBack) {
  CSpctmChnChnDatazq src;
  ASSERT_EQ(fill(src, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}), 1);
  src.rawPlane[0][0] = nullptr;
  src.rawPlane[0][2] = nullptr;
  const std::vector<uint8_t> bytes = store(src);
  CSpctmChnChnDatazq back;
  MessageRecorder messages;
  ASSERT_EQ(load(back, bytes), 1);
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(std::vector<double>(back.rawPlane[0][1], back.rawPlane[0][1] + 3), (std::vector<double>{4, 5, 6}));
  EXPECT_TRUE(back.rawPlane[0][0] == nullptr && back.rawPlane[0][2] == nullptr);
  EXPECT_EQ(store(back), bytes);
}

TEST(PairReaderFuzzFindings, MostlyAbsentWidePlaneIsRefusedAfterItsBlock) {
  // One present row of 2 cells among 64 absent ones: 65 x 2 cells (1040
  // bytes) against a block of 65 * 4 + 16 bytes (276), under the limit of 8
  // cell bytes per block byte, is accepted; with rows of 64 cells (33280
  // against 772 bytes) it is refused once its block has been read, and the
  // stream is left after the block. 4200 bytes follow the record, so the
  // stream could hold the block at the limit.
  for (const int64_t cols : {int64_t{2}, int64_t{64}}) {
    Bytes b;
    b.str("SPCTMCHNLZQ").i32(20130517).f64(0).f64(0).f64(0).i64(0).i64(0).i64(65).i64(cols).i32(1);
    for (int r = 0; r < 65; ++r) {
      b.i32(r == 7 ? 1 : 0);
      for (int64_t c = 0; r == 7 && c < cols; ++c) b.f64(1.0);
    }
    b.i32(0).i32(0).i64(0).i64(0).i32(0).i32(0).i32(0).u8(1).i32(3);
    for (int k = 0; k < 4200; ++k) b.u8(0);
    CSpctmChnChnDatazq p;
    MessageRecorder messages;
    CMemFile file(b.bytes());
    CArchive ar(&file, CArchive::load);
    const int result = p.serializeSpctmCzq(ar);
    if (cols == 2) {
      EXPECT_EQ(result, 1);
      EXPECT_TRUE(p.plane[0] != nullptr && p.plane[0][7][1] == 1.0 && p.userTag == 3);
    } else {
      EXPECT_EQ(result, 0);
      EXPECT_EQ(messages.only(), "Has enough memory?");
      EXPECT_EQ(p.plane[0], nullptr);
      // The two plane flags, the rest of the pair and the trailing bytes.
      EXPECT_EQ(ar.bytesRemaining(), 8 + 16 + 12 + 1 + 4 + 4200);
    }
  }
}

}  // namespace
}  // namespace megcxc::test
