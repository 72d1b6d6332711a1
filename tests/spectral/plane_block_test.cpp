// Plane blocks over the plane heap: shrinking keeps the cells (how the heap
// hands memory back is tested on its own instance in plane_arena_test.cpp).
// Sanitizer builds keep planes on malloc, where an overrun of a plane is caught.
#include <gtest/gtest.h>


#include "platform/plane_arena.h"
#include "spectral/spctm_basicx.h"

namespace {

TEST(PlaneBlock, ReshapingToFewerRowsKeepsTheLeadingCellsAndEveryRowPointer) {
  double** p = megcxc::allocPlane(5, 40, false);
  ASSERT_NE(p, nullptr);
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 40; ++c) p[r][c] = r * 100 + c;
  // 4 x 40 stays in its block; 1 x 30 moves to a smaller one.
  p = megcxc::reshapePlane(p, 5, 200, 4, 40);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 40; ++c) ASSERT_EQ(p[r][c], r * 100 + c);
  p = megcxc::reshapePlane(p, 4, 160, 1, 30);
  for (int c = 0; c < 30; ++c) EXPECT_EQ(p[0][c], c);
  EXPECT_EQ(megcxc::planeData(p, 1), p[0]);
  megcxc::releasePlane(p);
}

#if defined(__SANITIZE_ADDRESS__)
TEST(PlaneBlockDeathTest, WritingPastTheLastCellIsCaught) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  double** p = megcxc::allocPlane(5, 40, true);
  ASSERT_NE(p, nullptr);
  EXPECT_DEATH(p[4][40] = 1.0, "heap-buffer-overflow");
  megcxc::releasePlane(p);
}
#endif

}  // namespace
