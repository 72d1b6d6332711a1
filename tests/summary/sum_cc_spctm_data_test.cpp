#include <gtest/gtest.h>

#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "spectral/spctm_basicx.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "support/bytes.h"
#include "support/message_recorder.h"

namespace {

using megcxc::AllocationFailureScope;
using megcxc::test::Bytes;
using Rec = CSumCCSpctmDatazq;

constexpr int64_t kHuge = int64_t{1} << 40;
constexpr int kMagicAllocations = 1;  // reading the magic string is one counted allocation

double** arrayOf(const CSumCCSpctmData& s, int k) {
  double** all[] = {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms};
  return all[k];
}
int presentArrays(const CSumCCSpctmData& s) {
  int n = 0;
  for (int k = 0; k < 6; ++k) n += arrayOf(s, k) != nullptr;
  return n;
}
bool allCells(const CSumCCSpctmData& s, int64_t rows, int64_t cols, double v) {
  for (int k = 0; k < 6; ++k)
    for (int64_t t = 0; t < rows; ++t)
      for (int64_t f = 0; f < cols; ++f)
        if (arrayOf(s, k)[t][f] != v) return false;
  return true;
}
double cellValue(int k, int t, int f) { return 100.0 * k + 10.0 * t + f + 0.25; }

class Summary : public ::testing::Test {
 protected:
  static std::vector<uint8_t> store(Rec& s) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(s.serializeSumCCD(ar), 1);
    return file.bytes();
  }
  static int load(const std::vector<uint8_t>& bytes, Rec& s) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    return s.serializeSumCCD(ar);
  }
  static Bytes header(int32_t version, const char* magic = "SUMCCSPCTMDATA") {
    Bytes b;
    b.str(magic).i32(version);
    return b;
  }
  // Overall figures: isComputed 1, pairCount 7, min -1, mean 0.5, max 2,
  // pos 3, neg -4, rms 5, absMax 6, spare2 7, absMin 8, spare4..6 = 44, 55, 66.
  static void setFigures(CSumCCSpctmData& s) {
    s.isComputed = 1;
    s.pairCount = 7;
    s.minValue = -1.0, s.meanValue = 0.5, s.maxValue = 2.0;
    s.posMeanValue = 3.0, s.negMeanValue = -4.0, s.rmsValue = 5.0;
    s.absMaxValue = 6.0, s.spareValue2 = 7.0, s.absMinValue = 8.0;
    s.spareValue4 = 44.0, s.spareValue5 = 55.0, s.spareValue6 = 66.0;
  }
  // Their info section: minimum first, spareValue6 before spareValue4.
  static Bytes& info(Bytes& b) {
    return b.i32(1).i64(7).f64(-1).f64(0.5).f64(2).f64(3).f64(-4).f64(5).f64(6).f64(7).f64(8).f64(66).f64(55).f64(44);
  }
  static void expectFigures(const CSumCCSpctmData& s) {
    EXPECT_EQ(s.isComputed, 1);
    EXPECT_EQ(s.pairCount, 7);
    EXPECT_EQ(s.minValue, -1.0);
    EXPECT_EQ(s.maxValue, 2.0);
    EXPECT_EQ(s.absMinValue, 8.0);
    EXPECT_EQ(s.spareValue4, 44.0);
    EXPECT_EQ(s.spareValue5, 55.0);
    EXPECT_EQ(s.spareValue6, 66.0);
  }
  static void fill2x3(Rec& s) {
    ASSERT_EQ(s.checkInit(2, 3), 1);
    for (int k = 0; k < 6; ++k)
      for (int t = 0; t < 2; ++t)
        for (int f = 0; f < 3; ++f) arrayOf(s, k)[t][f] = cellValue(k, t, f);
    setFigures(s);
  }
  static std::vector<uint8_t> expected2x3(bool withRms) {
    Bytes b = header(20130514);
    b.i64(2).i64(3);
    for (int k = 0; k < 6; ++k) {
      b.i32(k < 5 || withRms ? 1 : 0);
      for (int t = 0; t < 2 && (k < 5 || withRms); ++t)
        for (int f = 0; f < 3; ++f) b.f64(cellValue(k, t, f));
    }
    return info(b).bytes();
  }
  megcxc::test::MessageRecorder messages;
};

TEST_F(Summary, CheckInitZeroesOnceAndKeepsFiguresForSameExtents) {
  Rec s;
  ASSERT_EQ(s.checkInit(100, 20), 1);
  EXPECT_TRUE(allCells(s, 100, 20, 0.0));
  s.cellMean[99][19] = 2.5;
  s.isComputed = 1;
  s.pairCount = 12;
  ASSERT_EQ(s.checkInit(100, 20), 1);
  EXPECT_EQ(s.cellMean[99][19], 2.5);
  EXPECT_EQ(s.pairCount, 12);
  ASSERT_EQ(s.checkInit(100, 21), 1);
  EXPECT_TRUE(allCells(s, 100, 21, 0.0));
  EXPECT_EQ(s.isComputed, 0);
  EXPECT_EQ(s.pairCount, 0);
  EXPECT_EQ(s.checkInit(0, 20), 0);
  EXPECT_EQ(presentArrays(s), 0);
  EXPECT_EQ(s.freqPtCount, 0);
  EXPECT_TRUE(messages.texts().empty());
}

TEST_F(Summary, CheckInitReallocatesWhenCountsWereRewrittenFromOutside) {
  Rec s;
  ASSERT_EQ(s.checkInit(2, 3), 1);
  s.timePtCount = 50;  // as the dataset's extent setter does
  ASSERT_EQ(s.checkInit(50, 3), 1);
  EXPECT_TRUE(allCells(s, 50, 3, 0.0));  // ASan: every row inside the arrays
}

TEST_F(Summary, CleanAllKeepsAbsoluteCachesResetClearsThem) {
  Rec s;
  fill2x3(s);
  EXPECT_EQ(s.cleanAll(), 1);
  EXPECT_EQ(presentArrays(s), 0);
  EXPECT_EQ(s.timePtCount, 0);
  EXPECT_EQ(s.isComputed, 0);
  EXPECT_EQ(s.minValue, 0.0);
  EXPECT_EQ(s.spareValue4, 0.0);
  EXPECT_EQ(s.absMaxValue, 6.0);
  EXPECT_EQ(s.spareValue2, 7.0);
  EXPECT_EQ(s.absMinValue, 8.0);
  EXPECT_EQ(s.reset(), 1);
  EXPECT_EQ(s.absMaxValue, 0.0);
  EXPECT_EQ(s.spareValue2, 0.0);
  EXPECT_EQ(s.cleanAll(), 1);
}

TEST_F(Summary, FailedAllocationAtEachArrayLeavesRecordEmpty) {
  for (int n = 1; n <= 6; ++n) {
    messages.clear();
    Rec s;
    s.isComputed = 1;
    {
      AllocationFailureScope fail(n);
      EXPECT_EQ(s.checkInit(4, 5), 0);
    }
    EXPECT_EQ(messages.only(), "Has enough memory?");
    EXPECT_EQ(presentArrays(s), 0) << "failing allocation " << n;
    EXPECT_EQ(s.timePtCount, 0);
    EXPECT_EQ(s.isComputed, 0);
  }
}

TEST_F(Summary, CopiesOwnTheirArraysAndFailedAssignmentChangesNothing) {
  Rec s;
  fill2x3(s);
  Rec copy(s), assigned;
  ASSERT_EQ(assigned.checkInit(3, 3), 1);
  assigned = s;
  for (Rec* c : {&copy, &assigned}) {
    expectFigures(*c);
    for (int k = 0; k < 6; ++k) EXPECT_NE(arrayOf(*c, k), arrayOf(s, k));
    EXPECT_EQ(c->cellRms[1][2], cellValue(5, 1, 2));
    c->cellRms[1][2] = 0.0;
  }
  EXPECT_EQ(s.cellRms[1][2], cellValue(5, 1, 2));
  double** before = copy.cellMin;
  {
    AllocationFailureScope fail(4);
    copy = s;
  }
  EXPECT_EQ(messages.only(), "Has enough memory?");
  EXPECT_EQ(copy.cellMin, before);
  EXPECT_EQ(copy.cellRms[1][2], 0.0);
}  // each record releases its own arrays once (ASan reports a double free)

TEST_F(Summary, EmptyRecordIs184Bytes) {
  Rec s;
  setFigures(s);
  Bytes expected = header(20130514);
  expected.i64(0).i64(0).i32(0).i32(0).i32(0).i32(0).i32(0).i32(0);
  info(expected);
  ASSERT_EQ(expected.size(), 184u);
  EXPECT_EQ(store(s), expected.bytes());
  Rec back;
  ASSERT_EQ(back.checkInit(2, 2), 1);
  ASSERT_EQ(load(expected.bytes(), back), 1);
  EXPECT_EQ(presentArrays(back), 0);
  EXPECT_EQ(back.timePtCount, 0);
  expectFigures(back);
}

TEST_F(Summary, PlanesAreWrittenInRowOrderAndAnAbsentOneStaysAbsent) {
  for (bool withRms : {true, false}) {
    Rec s;
    fill2x3(s);
    if (!withRms) CSpctmBasicx::freeBufferF2d(2, 3, s.cellRms);
    const std::vector<uint8_t> bytes = store(s);
    EXPECT_EQ(bytes, expected2x3(withRms));
    Rec back;
    ASSERT_EQ(load(bytes, back), 1);
    EXPECT_EQ(presentArrays(back), withRms ? 6 : 5);
    for (int k = 0; k < presentArrays(back); ++k)
      for (int t = 0; t < 2; ++t)
        for (int f = 0; f < 3; ++f) ASSERT_EQ(arrayOf(back, k)[t][f], cellValue(k, t, f));
    expectFigures(back);
  }
}

TEST_F(Summary, OldRecordIsDroppedAndNextSummaryReadFromItsStart) {
  Bytes b = header(20111222);
  b.i32(9).f64(1).f64(2).f64(3).f64(4).f64(5).f64(6).f64(7).f64(8).f64(9).f64(10).i64(2).i64(3);
  b.i32(1).i32(1).f64(1).f64(2).f64(3).i32(0);  // block 1, second row absent
  b.i32(0);                                     // block 2 absent
  b.i32(1).i32(1).f64(4).f64(5).f64(6).i32(1).f64(7).f64(8).f64(9);
  b.i64(2).i32(1).u32(11).f64(1.5).u32(12).f64(2.5);
  const int64_t oldEnd = static_cast<int64_t>(b.size());
  Rec next;
  setFigures(next);
  b.append(store(next));

  Rec s;
  fill2x3(s);
  CMemFile file(b.bytes());
  CArchive ar(&file, CArchive::load);
  ASSERT_EQ(s.serializeSumCCD(ar), 1);
  EXPECT_EQ(ar.position(), oldEnd);
  EXPECT_EQ(presentArrays(s), 0);
  EXPECT_EQ(s.isComputed, 0);
  ASSERT_EQ(s.serializeSumCCD(ar), 1);
  expectFigures(s);
  EXPECT_TRUE(messages.texts().empty());

  // After the magic: a row of block 1, a row of block 3, the values, the list.
  const char* texts[] = {"Has enough memory?", "Has enough memory?", "memory error?!", "memory error?!"};
  for (int n = 1; n <= 4; ++n) {
    messages.clear();
    Rec t;
    AllocationFailureScope fail(kMagicAllocations + n);
    EXPECT_EQ(load(b.bytes(), t), 0) << "failing allocation " << n;
    EXPECT_EQ(messages.only(), texts[n - 1]);
  }
}

TEST_F(Summary, WrongMagicOrVersionLeavesRecordUntouched) {
  const char* wrongMagic = "The opened file is not trial data or corrupted!";
  const std::pair<Bytes, const char*> cases[] = {{header(20130514, "SUMCCSPCTMDATB"), wrongMagic},
                                                 {header(20130514, "sumccspctmdata"), wrongMagic},
                                                 {header(20130515), "Wrong SumCCSpctmData09Fileformat!!?"}};
  for (const auto& [bytes, text] : cases) {
    messages.clear();
    Rec s;
    fill2x3(s);
    double** before = s.cellMax;
    EXPECT_EQ(load(bytes.bytes(), s), 0);
    EXPECT_EQ(messages.only(), text);
    EXPECT_EQ(s.cellMax, before);
    EXPECT_EQ(s.cellMax[1][2], cellValue(2, 1, 2));
    expectFigures(s);
  }
}

TEST_F(Summary, HostileSizesAreRefusedBeforeAllocating) {
  auto plane = [](int64_t rows, int64_t cols) { return header(20130514).i64(rows).i64(cols).i32(1).f64(0); };
  auto old = [](int64_t rows, int64_t cols, int64_t count) {
    Bytes b = header(20111222);
    b.i32(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(0).i64(rows).i64(cols);
    if (count) return b.i32(0).i32(0).i32(0).i64(count).i32(1);
    return b.i32(1).i32(1).i32(0);  // block 1: a present row, then one more row flag
  };
  Rec s;
  megcxc::setAllocationFailureAt(0);
  EXPECT_EQ(load(plane(0, 3).bytes(), s), 0);  // flagged plane without rows: no message
  EXPECT_TRUE(messages.texts().empty());
  EXPECT_EQ(load(plane(kHuge, kHuge).bytes(), s), 0);
  EXPECT_EQ(messages.only(), "Has enough memory?");
  messages.clear();
  EXPECT_EQ(load(plane(kHuge, 2).bytes(), s), 0);
  EXPECT_EQ(messages.only(), "Has enough memory?");
  messages.clear();
  EXPECT_EQ(load(old(kHuge, kHuge, 0).bytes(), s), 0);
  EXPECT_EQ(messages.only(), "Has enough memory?");
  for (const Bytes& hostile : {old(kHuge, 1, 0), old(2, kHuge, 0)}) {  // row flags, a present row
    messages.clear();
    EXPECT_EQ(load(hostile.bytes(), s), 0);
    EXPECT_EQ(messages.only(), "Has enough memory?");
  }
  messages.clear();
  EXPECT_EQ(load(old(1, 1, kHuge).bytes(), s), 0);  // the value list
  EXPECT_EQ(messages.only(), "memory error?!");
  messages.clear();
  EXPECT_EQ(load(old(1, 1, INT64_MAX).bytes(), s), 0);
  EXPECT_EQ(messages.only(), "memory error?!");
  EXPECT_EQ(megcxc::countedAllocations(), 8 * kMagicAllocations);
}

TEST_F(Summary, FailedPlaneAllocationKeepsPlanesReadBefore) {
  for (int n = 1; n <= 6; ++n) {
    messages.clear();
    Rec s;
    AllocationFailureScope fail(kMagicAllocations + n);
    EXPECT_EQ(load(expected2x3(true), s), 0);
    EXPECT_EQ(messages.only(), "Has enough memory?");
    EXPECT_EQ(s.pairCount, 0);  // info section not read
    for (int k = 0; k < 6; ++k) EXPECT_EQ(arrayOf(s, k) != nullptr, k < n - 1) << "n " << n << " array " << k;
  }
}

// A cut inside a plane's values makes the plane larger than the rest of the
// stream: it is refused like a failed allocation. Any other cut throws from the
// primitive read. Either way the record keeps only complete planes.
TEST_F(Summary, TruncationAtEveryOffsetFailsAndKeepsRecordConsistent) {
  const std::vector<uint8_t> full = expected2x3(true);
  constexpr std::size_t kHeader = 32 + 4, kPlanesStart = kHeader + 16, kPlaneBytes = 4 + 6 * 8;
  for (std::size_t len = 0; len < full.size(); ++len) {
    Rec s;
    ASSERT_EQ(s.checkInit(4, 4), 1);
    messages.clear();
    try {
      EXPECT_EQ(load({full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len)}, s), 0) << "length " << len;
      EXPECT_EQ(messages.only(), "Has enough memory?") << "length " << len;
    } catch (const CArchiveException& e) {
      EXPECT_EQ(e.m_cause, CArchiveException::endOfFile);
    }
    const std::size_t complete = len < kPlanesStart ? 0 : std::min<std::size_t>(6, (len - kPlanesStart) / kPlaneBytes);
    const int64_t rows = len < kHeader ? 4 : len < kPlanesStart ? 0 : 2;
    EXPECT_EQ(presentArrays(s), len < kHeader ? 6 : static_cast<int>(complete)) << "length " << len;
    if (presentArrays(s)) {
      EXPECT_EQ(s.timePtCount, rows) << "length " << len;
    }
  }
}

}  // namespace
