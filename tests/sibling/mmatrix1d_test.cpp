// The vector: growth, bounds, independent copies and its archive record, with
// the reader's allocation-failure sweep.
#include <gtest/gtest.h>

#include "platform/alloc_test_hook.h"
#include "platform/carchive.h"
#include "sibling/mmatrix1dzq.h"
#include "support/bytes.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

using Values = std::vector<double>;

Values values(const CMMatrix1D& v) { return v.size() ? Values(v.getData(), v.getData() + v.size()) : Values(); }
CMMatrix1Dzq& set(CMMatrix1Dzq& v, const Values& x) {
  std::copy(x.begin(), x.end(), v.checkInitData(static_cast<int64_t>(x.size()), true));
  return v;
}
Bytes record(int64_t low, int64_t count, const char* magic = "MMATRIX1D", int32_t version = 20250301) {
  return Bytes().str(magic).i32(version).i64(low).i64(count);
}
int load(const Bytes& b, CMMatrix1Dzq& v) {
  CMemFile file(b.bytes());
  CArchive ar(&file, CArchive::load);
  return v.serialize(ar);
}

TEST(Vector1D, GrowsKeepingOrZeroingValuesAndCopiesIndependently) {
  CMMatrix1Dzq v, assigned;
  EXPECT_TRUE(v.wrongIdx(0) && v.getAt(0) == 0.0 && v.setAt(0, 1.0) == 0 && !v.checkInitData(0, true));
  set(v, {1.5, -2, 3});
  double* grown = v.checkInitData(5, false);
  EXPECT_EQ(values(v), (Values{1.5, -2, 3, 0, 0}));
  EXPECT_EQ(v.checkInitData(2, true), grown);  // large enough: kept, zeroed
  EXPECT_TRUE(!v.wrongIdx(1) && v.wrongIdx(2) && v.wrongIdx(-1) && v.setAt(1, 7.0) == 1 && v.getAt(1) == 7.0);
  CMMatrix1Dzq copy(v);
  set(assigned, Values(7, 1.0)) = v;
  copy[0] = 9.0, assigned[1] = 8.0;
  EXPECT_TRUE(values(v) == (Values{0, 7}) && values(copy) == (Values{9, 7}) && values(assigned) == (Values{0, 8}));
  AllocationFailureScope fail(1, true);
  copy = v;  // the failed copy and growth change nothing
  EXPECT_EQ(v.checkInitData(100, true), nullptr);
  EXPECT_TRUE(values(copy) == (Values{9, 7}) && values(v) == (Values{0, 7}));
}  // each buffer is released once (AddressSanitizer)

TEST(Vector1D, RecordHasItsBytesAndReadsBackWithItsLowerBound) {
  CMMatrix1Dzq v, empty, back;
  for (auto [src, want] : {std::pair{&set(v, {1.5, -2, 3}), record(0, 3).f64(1.5).f64(-2).f64(3)},
                           std::pair{&empty, record(0, 0)}}) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(src->serialize(ar), 1);
    ar.Flush();
    EXPECT_EQ(file.bytes(), want.bytes());
    EXPECT_EQ(load(want, back), 1);
    EXPECT_EQ(values(back), values(*src));
  }
  ASSERT_EQ(load(record(-2, 2).f64(4).f64(5), back), 1);
  EXPECT_TRUE(back.lowBound == -2 && back.getAt(-1) == 5.0 && back.wrongIdx(0) && back.wrongIdx(-3));
}

TEST(Vector1D, BadRecordsAreRefusedWithoutAllocatingOrChangingTheVector) {
  Bytes hostile = record(0, int64_t{1} << 40);
  while (hostile.size() < 100) hostile.u8(0);
  for (const Bytes& b : {hostile, record(0, -1), record(0, 0, "MMATRIX2D"), record(0, 0, "MMATRIX1D", 20250302),
                         record(INT64_MAX, 2).f64(0).f64(0), record(0, 3).f64(1).f64(2)}) {
    CMMatrix1Dzq v;
    set(v, {1.5, -2, 3});
    setAllocationFailureAt(0);
    EXPECT_EQ(load(b, v), 0);
    EXPECT_EQ(countedAllocations(), 1);  // the magic string only
    EXPECT_EQ(values(v), (Values{1.5, -2, 3}));
  }
}

// The magic string throws; a buffer that cannot be allocated leaves the vector
// as it was but still reads the values, so that the next item of the stream
// (here an int32 7) is read from its own place.
TEST(Vector1D, ReaderFailureLeavesTheVectorAndConsumesTheRecord) {
  const std::vector<uint8_t> bytes = record(0, 3).f64(1).f64(2).f64(3).i32(7).bytes();
  sweep({throwsMemory(), returns(0)}, returns(1), [&](int64_t nth, int64_t* made) {
    CMMatrix1Dzq v;
    v.checkInitData(1, true)[0] = 9.0;
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return v.serialize(ar); }, made);
    EXPECT_EQ(values(v), o.result == 1 ? (Values{1, 2, 3}) : (Values{9}));
    int32_t next = 0;
    if (o.thrown.empty()) ar >> next;
    EXPECT_EQ(next, o.thrown.empty() ? 7 : 0);
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
