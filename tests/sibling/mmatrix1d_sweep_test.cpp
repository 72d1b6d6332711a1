// Allocation-failure sweep of the vector record reader.
#include <gtest/gtest.h>

#include <vector>

#include "platform/carchive.h"
#include "sibling/mmatrix1dzq.h"
#include "support/sweep.h"

namespace megcxc::test {
namespace {

TEST(VectorSweep, ReaderFailureLeavesTheVectorAndConsumesTheRecord) {
  // The magic string throws; a buffer that cannot be allocated leaves the
  // vector as it was but still reads the values, so that the next item of
  // the stream (here an int32 7) is read from its own place.
  CMMatrix1Dzq src;
  double* p = src.checkInitData(3, true);
  ASSERT_NE(p, nullptr);
  p[0] = 1.0, p[1] = 2.0, p[2] = 3.0;
  CMemFile out;
  {
    CArchive ar(&out, CArchive::store);
    src.serialize(ar);
    ar << int32_t{7};
    ar.Close();
  }
  sweep({throwsMemory(), returns(0)}, returns(1), [&](int64_t nth, int64_t* made) {
    CMMatrix1Dzq v;
    v.checkInitData(1, true)[0] = 9.0;
    CMemFile file(out.bytes());
    CArchive ar(&file, CArchive::load);
    const SweepOutcome o = runFailing(nth, [&] { return v.serialize(ar); }, made);
    if (o.result == 1) {
      EXPECT_TRUE(v.size() == 3 && v[2] == 3.0);
    } else {
      EXPECT_TRUE(v.size() == 1 && v[0] == 9.0);
    }
    if (o.thrown.empty()) {
      int32_t next = 0;
      ar >> next;
      EXPECT_EQ(next, 7);
    }
    return o;
  });
}

}  // namespace
}  // namespace megcxc::test
