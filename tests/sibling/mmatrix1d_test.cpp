#include <gtest/gtest.h>

#include <vector>

#include "platform/alloc_hook.h"
#include "platform/carchive.h"
#include "sibling/mmatrix1dzq.h"
#include "support/bytes.h"

namespace {

using megcxc::AllocationFailureScope;
using megcxc::test::Bytes;

class Vector1D : public ::testing::Test {
 protected:
  static std::vector<uint8_t> store(CMMatrix1Dzq& v) {
    CMemFile file;
    CArchive ar(&file, CArchive::store);
    EXPECT_EQ(v.serialize(ar), 1);
    ar.Flush();
    return file.bytes();
  }
  static int load(const std::vector<uint8_t>& bytes, CMMatrix1Dzq& v) {
    CMemFile file(bytes);
    CArchive ar(&file, CArchive::load);
    return v.serialize(ar);
  }
  static Bytes record(int64_t low, int64_t count, const char* magic = "MMATRIX1D", int32_t version = 20250301) {
    Bytes b;
    b.str(magic).i32(version).i64(low).i64(count);
    return b;
  }
  void SetUp() override {
    double* p = vec.checkInitData(3, true);
    ASSERT_NE(p, nullptr);
    p[0] = 1.5, p[1] = -2.0, p[2] = 3.0;
  }
  static void expectThree(const CMMatrix1Dzq& v) {
    ASSERT_EQ(v.size(), 3);
    EXPECT_EQ(v[0], 1.5);
    EXPECT_EQ(v[1], -2.0);
    EXPECT_EQ(v[2], 3.0);
  }
  CMMatrix1Dzq vec;  // 1.5, -2, 3
};

TEST_F(Vector1D, EmptyVectorTreatsEveryIndexAsWrong) {
  CMMatrix1Dzq empty;
  EXPECT_EQ(empty.size(), 0);
  EXPECT_TRUE(empty.wrongIdx(0));
  EXPECT_EQ(empty.getAt(0), 0.0);
  EXPECT_EQ(empty.setAt(0, 1.0), 0);
}

TEST_F(Vector1D, CheckInitDataKeepsALargeEnoughBufferAndSetsBounds) {
  double* p = vec.checkInitData(10, false);  // grows, keeps the three values
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[2], 3.0);
  EXPECT_EQ(p[9], 0.0);
  EXPECT_EQ(vec.checkInitData(5, true), p);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p[i], 0.0);
  EXPECT_FALSE(vec.wrongIdx(4));
  EXPECT_TRUE(vec.wrongIdx(5));
  EXPECT_TRUE(vec.wrongIdx(-1));
}

TEST_F(Vector1D, CheckInitDataRefusesNonPositiveCountAndFailedAllocation) {
  EXPECT_EQ(vec.checkInitData(0, true), nullptr);
  EXPECT_EQ(vec.checkInitData(-4, true), nullptr);
  {
    AllocationFailureScope fail(1);
    EXPECT_EQ(vec.checkInitData(100, true), nullptr);
  }
  expectThree(vec);
}

TEST_F(Vector1D, CopiesAreIndependent) {
  CMMatrix1Dzq copy(vec), assigned;
  assigned.checkInitData(7, true);
  assigned = vec;
  expectThree(copy);
  expectThree(assigned);
  copy[0] = 9.0;
  assigned[0] = 9.0;
  EXPECT_EQ(vec[0], 1.5);
  {
    AllocationFailureScope fail(1);
    copy = vec;  // fails: copy unchanged
  }
  EXPECT_EQ(copy[0], 9.0);
}

TEST_F(Vector1D, RecordHasDocumentedBytesAndReadsBack) {
  Bytes expected = record(0, 3);
  expected.f64(1.5).f64(-2.0).f64(3.0);
  ASSERT_EQ(store(vec), expected.bytes());
  CMMatrix1Dzq back, empty;
  back.checkInitData(9, true);
  ASSERT_EQ(load(expected.bytes(), back), 1);
  expectThree(back);
  ASSERT_EQ(store(empty), record(0, 0).bytes());
  ASSERT_EQ(load(record(0, 0).bytes(), back), 1);
  EXPECT_EQ(back.size(), 0);
}

TEST_F(Vector1D, ReadRefusesBadRecordsWithoutAllocatingOrChangingTheVector) {
  Bytes hostile = record(0, int64_t{1} << 40);
  while (hostile.size() < 100) hostile.u8(0);
  Bytes overflow = record(INT64_MAX, 2);
  overflow.f64(0).f64(0);
  Bytes truncated = record(0, 3);
  truncated.f64(1.0).f64(2.0);
  const Bytes cases[] = {hostile, record(0, -1), record(0, 0, "MMATRIX2D"), record(0, 0, "MMATRIX1D", 20250302),
                         overflow, truncated};
  for (const Bytes& b : cases) {
    megcxc::setAllocationFailureAt(0);
    EXPECT_EQ(load(b.bytes(), vec), 0);
    EXPECT_EQ(megcxc::countedAllocations(), 1);  // the magic string only
    expectThree(vec);
  }
}

}  // namespace
