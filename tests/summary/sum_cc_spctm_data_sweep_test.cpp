// Allocation-failure sweeps of the summary record: checkInit and the archive
// reader (version 20130514 and the dropped version 20111222).
#include <gtest/gtest.h>

#include <vector>

#include "platform/carchive.h"
#include "summary/sum_cc_spctm_datazq.h"
#include "support/bytes.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

const SweepOutcome kNoArray = returns(0, {"Has enough memory?"});

// A record holding 1 x 1 arrays, isComputed 1 and absMaxValue 3.5, as the
// summaries are before they are read into.
void holdSomething(CSumCCSpctmDatazq& s) {
  ASSERT_EQ(s.checkInit(1, 1), 1);
  s.cellMean[0][0] = 7.0;
  s.isComputed = 1;
  s.absMaxValue = 3.5;
}

std::vector<uint8_t> storeSummary(CSumCCSpctmDatazq& s) {
  CMemFile file;
  CArchive ar(&file, CArchive::store);
  s.serializeSumCCD(ar);
  ar.Close();
  return file.bytes();
}

TEST(SummarySweep, CheckInitFailureEmptiesTheRecord) {
  sweep(std::vector<SweepOutcome>(6, kNoArray), returns(1), [](int64_t nth, int64_t* made) {
    CSumCCSpctmDatazq s;
    holdSomething(s);
    const SweepOutcome o = runFailing(nth, [&] { return s.checkInit(2, 3); }, made);
    expectSummaryFits(s);
    EXPECT_EQ(s.cellRms != nullptr, o.result == 1);
    EXPECT_EQ(s.timePtCount, o.result == 1 ? 2 : 0);
    EXPECT_EQ(s.absMaxValue, 3.5);
    return o;
  });
}

TEST(SummarySweep, ReaderFailureKeepsThePlanesReadBefore) {
  // A 2 x 3 record with all six arrays: the magic string, then each array.
  CSumCCSpctmDatazq src;
  ASSERT_EQ(src.checkInit(2, 3), 1);
  src.cellMax[1][2] = 9.0;
  src.isComputed = 1;
  src.pairCount = 4;
  const std::vector<uint8_t> bytes = storeSummary(src);
  std::vector<SweepOutcome> plan = {throwsMemory()};
  plan.insert(plan.end(), 6, kNoArray);
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    CSumCCSpctmDatazq s;
    holdSomething(s);
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return s.serializeSumCCD(ar); }, made);
    expectSummaryFits(s);
    if (nth == 1) {
      EXPECT_TRUE(s.cellMean != nullptr && s.cellMean[0][0] == 7.0 && s.isComputed == 1);  // untouched
      return o;
    }
    // Arrays before the failing one are read; the info section is read only
    // after all six.
    const int read = nth == 0 ? 6 : static_cast<int>(nth) - 2;
    double** arrays[6] = {s.cellMin, s.cellMean, s.cellMax, s.cellPosMean, s.cellNegMean, s.cellRms};
    for (int k = 0; k < 6; ++k) EXPECT_EQ(arrays[k] != nullptr, k < read) << nth << " array " << k;
    EXPECT_EQ(s.timePtCount * 10 + s.freqPtCount, 23);
    EXPECT_EQ(s.pairCount, nth == 0 ? 4 : 0);
    if (nth == 0) {
      EXPECT_EQ(s.cellMax[1][2], 9.0);
    }
    return o;
  });
}

TEST(SummarySweep, OldRecordFailureEndsAsDocumented) {
  // Version 20111222 with R = 2, C = 2: block 0 with rows present, block 1
  // absent, block 2 with its second row present, then two (uint32, double)
  // pairs. Allocations: the magic string, one scratch row for each block
  // with a present row, the value array and the key list.
  Bytes b;
  b.str("SUMCCSPCTMDATA").i32(20111222).i32(1);
  for (int i = 0; i < 10; ++i) b.f64(i);
  b.i64(2).i64(2);
  b.i32(1).i32(1).f64(1).f64(2).i32(1).f64(3).f64(4);
  b.i32(0);
  b.i32(1).i32(0).i32(1).f64(5).f64(6);
  b.i64(2).i32(1).u32(5).f64(0.5).u32(6).f64(0.25);
  const SweepOutcome oldNoMemory = returns(0, {"memory error?!"});
  const std::vector<SweepOutcome> plan = {throwsMemory(), kNoArray, kNoArray, oldNoMemory, oldNoMemory};
  sweep(plan, returns(1), [&](int64_t nth, int64_t* made) {
    CSumCCSpctmDatazq s;
    holdSomething(s);
    CMemFile file(b.bytes());
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return s.serializeSumCCD(ar); }, made);
    // Past the header the record is emptied whatever happens next.
    EXPECT_EQ(s.cellMean == nullptr, nth != 1);
    if (nth == 0) {
      EXPECT_EQ(ar.bytesRemaining(), 0);
    }
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
