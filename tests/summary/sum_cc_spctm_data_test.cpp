// The summary record: its arrays, copies and archive record (version 20130514
// and the dropped version 20111222), with the allocation-failure sweeps of
// checkInit and of the reader.
#include <gtest/gtest.h>

#include <array>

#include "platform/alloc_test_hook.h"
#include "platform/carchive.h"
#include "spectral/spctm_basicx.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "support/archive_bytes.h"
#include "support/bytes.h"
#include "support/message_recorder.h"
#include "support/prefix_sweep.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

using Rec = CSumCCSpctmDatazq;
constexpr int64_t kHuge = int64_t{1} << 40;
const char* const kNoMemory = "Has enough memory?";
const SweepOutcome kNoArray = returns(0, {kNoMemory});

double** arrayOf(const CSumCCSpctmData& s, int k) {
  return std::array{s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms}[k];
}
int presentArrays(const CSumCCSpctmData& s) {
  int n = 0;
  for (int k = 0; k < 6; ++k) n += arrayOf(s, k) != nullptr;
  return n;
}
double cellValue(int k, int64_t t, int64_t f) { return 100.0 * k + 10.0 * t + f + 0.25; }

std::vector<uint8_t> store(Rec& s) {
  return storedBytes([&](CArchive& ar) { return s.serializeSumCCD(ar); });
}
int load(const std::vector<uint8_t>& bytes, Rec& s) {
  return loadedFrom(bytes, [&](CArchive& ar) { return s.serializeSumCCD(ar); });
}
// Arrays of `rows` x 3 cells (cellValue), figures 1, 7, -1, 0.5, 2, 3, -4, 5,
// 6, 7, 8, 44, 55, 66 in field order.
void fill(Rec& s, int64_t rows) {
  ASSERT_EQ(rows > 0 ? s.checkInit(rows, 3) : 1, 1);
  for (int k = 0; k < 6 && rows > 0; ++k)
    for (int64_t c = 0; c < rows * 3; ++c) arrayOf(s, k)[c / 3][c % 3] = cellValue(k, c / 3, c % 3);
  s.isComputed = 1, s.pairCount = 7, s.minValue = -1, s.meanValue = 0.5, s.maxValue = 2, s.posMeanValue = 3;
  s.negMeanValue = -4, s.rmsValue = 5, s.absMaxValue = 6, s.spareValue2 = 7, s.absMinValue = 8;
  s.spareValue4 = 44, s.spareValue5 = 55, s.spareValue6 = 66;
}
// Its record, by hand: the info section has spareValue6 before spareValue4.
std::vector<uint8_t> record(int64_t rows, bool withRms = true) {
  Bytes b = Bytes().str("SUMCCSPCTMDATA").i32(20130514).i64(rows).i64(rows ? 3 : 0);
  for (int k = 0; k < 6; ++k) {
    const bool present = rows > 0 && (k < 5 || withRms);
    b.i32(present);
    for (int64_t c = 0; present && c < rows * 3; ++c) b.f64(cellValue(k, c / 3, c % 3));
  }
  return b.i32(1).i64(7).f64(-1).f64(0.5).f64(2).f64(3).f64(-4).f64(5).f64(6).f64(7).f64(8).f64(66).f64(55).f64(44).bytes();
}
// A version-20111222 record with 3 x 2 blocks: block 0 without its second
// row, block 1 absent, block 2 without its first row; then two (uint32,
// double) pairs.
Bytes oldRecord() {
  Bytes b = Bytes().str("SUMCCSPCTMDATA").i32(20111222).i32(9);
  for (int i = 1; i <= 10; ++i) b.f64(i);
  b.i64(3).i64(2).i32(1).i32(1).f64(1).f64(2).i32(0).i32(1).f64(3).f64(4);
  b.i32(0).i32(1).i32(0).i32(1).f64(5).f64(6).i32(1).f64(7).f64(8);
  return b.i64(2).i32(1).u32(11).f64(1.5).u32(12).f64(2.5);
}

class Summary : public ::testing::Test {
 protected:
  MessageRecorder messages;
};

TEST_F(Summary, CheckInitKeepsSameExtentsAndCleanAllKeepsTheAbsoluteCaches) {
  Rec s;
  fill(s, 2);
  ASSERT_EQ(s.checkInit(2, 3), 1);
  EXPECT_TRUE(s.cellMean[1][2] == cellValue(1, 1, 2) && s.isComputed == 1);
  ASSERT_EQ(s.checkInit(2, 4), 1);
  EXPECT_TRUE(s.cellMean[1][2] == 0.0 && s.isComputed == 0);
  s.timePtCount = 50;  // as the dataset's extent setter does: the arrays must grow
  ASSERT_EQ(s.checkInit(50, 4), 1);
  for (int k = 0; k < 6; ++k) EXPECT_TRUE(arrayOf(s, k)[0][0] == 0.0 && arrayOf(s, k)[49][3] == 0.0) << k;
  EXPECT_EQ(s.checkInit(0, 4), 0);
  EXPECT_TRUE(presentArrays(s) == 0 && s.freqPtCount == 0 && messages.texts().empty());
  fill(s, 2);
  EXPECT_EQ(s.cleanAll(), 1);
  EXPECT_TRUE(presentArrays(s) == 0 && s.timePtCount == 0 && s.isComputed == 0 && s.spareValue4 == 0.0);
  EXPECT_TRUE(s.absMaxValue == 6.0 && s.spareValue2 == 7.0 && s.absMinValue == 8.0);
  EXPECT_TRUE(s.reset() == 1 && s.absMaxValue == 0.0 && s.spareValue2 == 0.0);
}

TEST_F(Summary, RecordHasItsBytesAndReadsAndCopiesWithAnAbsentArrayAbsent) {
  for (auto [rows, withRms] : {std::pair{int64_t{0}, true}, {int64_t{2}, true}, {int64_t{2}, false}}) {
    Rec s, back, assigned;
    fill(s, rows);
    if (!withRms) CSpctmBasicx::freeBufferF2d(2, 3, s.cellRms);
    EXPECT_EQ(store(s), record(rows, withRms));
    ASSERT_EQ(back.checkInit(4, 4), 1);
    ASSERT_EQ(load(record(rows, withRms), back), 1);
    EXPECT_EQ(presentArrays(back), rows ? 5 + withRms : 0);
    Rec copy(back);
    assigned = copy;
    for (Rec* r : {&back, &copy, &assigned}) EXPECT_EQ(store(*r), record(rows, withRms));
  }
  Rec s;  // copies own their arrays, and a failed assignment changes nothing
  fill(s, 2);
  Rec copy(s);
  copy.cellRms[1][2] = 0.0;
  EXPECT_EQ(s.cellRms[1][2], cellValue(5, 1, 2));
  AllocationFailureScope fail(4);
  copy = s;
  EXPECT_TRUE(messages.only() == kNoMemory && copy.cellRms[1][2] == 0.0);
}  // each record releases its own arrays once (AddressSanitizer)

TEST_F(Summary, WrongHeadersAndHostileSizesAreRefusedBeforeAllocating) {
  const Bytes head = Bytes().str("SUMCCSPCTMDATA").i32(20130514);
  auto old = [](int64_t rows, int64_t cols, int64_t count) {
    Bytes b = Bytes().str("SUMCCSPCTMDATA").i32(20111222).i32(0);
    for (int i = 0; i < 10; ++i) b.i64(0);
    b.i64(rows).i64(cols);
    return count ? b.i32(0).i32(0).i32(0).i64(count).i32(1) : b.i32(1).i32(1).i32(0);  // the list; a present row
  };
  const std::pair<Bytes, const char*> cases[] = {
      {Bytes().str("SUMCCSPCTMDATB").i32(20130514), "The opened file is not trial data or corrupted!"},
      {Bytes().str("SUMCCSPCTMDATA").i32(20130515), "Wrong SumCCSpctmData09Fileformat!!?"},
      {Bytes(head).i64(0).i64(3).i32(1).f64(0), ""},  // a flagged array without rows
      {Bytes(head).i64(kHuge).i64(kHuge).i32(1).f64(0), kNoMemory},
      {Bytes(head).i64(kHuge).i64(2).i32(1).f64(0), kNoMemory},
      {old(kHuge, kHuge, 0), kNoMemory},
      {old(kHuge, 1, 0), kNoMemory},  // the row flags
      {old(2, kHuge, 0), kNoMemory},  // a present row
      {old(1, 1, kHuge), "memory error?!"},
      {old(1, 1, INT64_MAX), "memory error?!"}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    Rec s;
    fill(s, 2);
    messages.clear();
    setAllocationFailureAt(0);
    EXPECT_EQ(load(cases[i].first.bytes(), s), 0) << i;
    EXPECT_TRUE(countedAllocations() == 1 && messages.only() == cases[i].second) << i;  // 1: the magic string
    EXPECT_TRUE(i >= 2 || store(s) == record(2)) << i;  // a wrong header changes nothing
  }
}

// A cut anywhere, in either version and whether or not the stream tells its
// length, ends in the end-of-file exception (no memory message); the record
// keeps only complete arrays, and a record cut inside its first array's values
// (2 x 3 of them) names them and their offset.
TEST_F(Summary, EveryProperPrefixEndsInTheEndOfFileException) {
  auto read = [](Rec& s, CArchive& ar) { return s.serializeSumCCD(ar); };
  auto check = [](const Rec& s) { expectSummaryFits(s); };
  for (const std::vector<uint8_t>& bytes : {record(2), oldRecord().bytes()})
    EXPECT_EQ(sweepPrefixes<Rec>(bytes, read, check), 2 * bytes.size());
  const std::vector<uint8_t> full = record(2);
  Rec s;
  EXPECT_EQ(endOfArchiveText([&] { load(std::vector<uint8_t>(full.begin(), full.begin() + 32 + 4 + 16 + 4 + 40), s); }),
            "end of archive in values of cellMin (byte 56) of summary");
}

TEST(SummarySweep, CheckInitFailureEmptiesTheRecord) {
  sweep(std::vector<SweepOutcome>(6, kNoArray), returns(1), [](int64_t nth, int64_t* made) {
    Rec s;
    fill(s, 1);
    const SweepOutcome o = runFailing(nth, [&] { return s.checkInit(2, 3); }, made);
    expectSummaryFits(s);
    EXPECT_EQ(s.cellRms != nullptr, o.result == 1);
    EXPECT_EQ(s.timePtCount, o.result == 1 ? 2 : 0);
    EXPECT_EQ(s.absMaxValue, 6.0);
    return o;
  });
}

// The magic string, then each of the six arrays. Arrays before the failing one
// are read; the info section only after all six.
TEST(SummarySweep, ReaderFailureKeepsTheArraysReadBefore) {
  const std::vector<uint8_t> bytes = record(2);
  std::vector<SweepOutcome> plan = {throwsMemory()};
  plan.insert(plan.end(), 6, kNoArray);
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    Rec s;
    fill(s, 1);
    const SweepOutcome o = runFailing(nth, [&] { return load(bytes, s); }, made);
    expectSummaryFits(s);
    if (nth == 1) {
      EXPECT_TRUE(s.cellMean && s.cellMean[0][2] == cellValue(1, 0, 2) && s.isComputed == 1);  // untouched
      return o;
    }
    const int read = nth == 0 ? 6 : static_cast<int>(nth) - 2;
    for (int k = 0; k < 6; ++k) EXPECT_EQ(arrayOf(s, k) != nullptr, k < read) << nth << " array " << k;
    EXPECT_EQ(s.timePtCount * 10 + s.freqPtCount, 23);
    EXPECT_EQ(s.pairCount, nth == 0 ? 7 : 0);
    return o;
  });
}

// The old record is consumed and dropped, and the next is read from its start.
// Its allocations: the magic string, one scratch row for each block with a
// present row, the value array and the key list. Past the header the record
// is emptied whatever happens next.
TEST(SummarySweep, OldRecordIsDroppedOrItsFailureEndsAsDocumented) {
  Bytes b = oldRecord();
  const int64_t oldEnd = static_cast<int64_t>(b.size());
  const std::vector<uint8_t> bytes = b.append(record(2, false)).bytes();
  const SweepOutcome oldNoMemory = returns(0, {"memory error?!"});
  sweep({throwsMemory(), kNoArray, kNoArray, oldNoMemory, oldNoMemory}, returns(1), [&](int64_t nth, int64_t* made) {
    Rec s;
    fill(s, 2);
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return s.serializeSumCCD(ar); }, made);
    EXPECT_EQ(presentArrays(s), nth == 1 ? 6 : 0);
    if (nth == 0) {
      EXPECT_TRUE(ar.position() == oldEnd && s.isComputed == 0);
      MessageRecorder quiet;
      EXPECT_EQ(s.serializeSumCCD(ar), 1);
      EXPECT_TRUE(store(s) == record(2, false) && quiet.texts().empty());
    }
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
