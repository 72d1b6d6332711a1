// Plane blocks over the plane heap: shrinking keeps the cells (how the heap
// hands memory back is tested on its own instance in plane_arena_test.cpp).
// Sanitizer builds keep planes on malloc, where an overrun of a plane is caught.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

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

bool allZero(double** p, int64_t rows, int64_t cols) {
  for (int64_t r = 0; r < rows; ++r)
    for (int64_t c = 0; c < cols; ++c)
      if (p[r][c] != 0.0) return false;
  return true;
}

// A load's planes come from batches of blocks: recycled blocks must still be
// zeroed when asked, a change of size or a large plane must not lose the
// rest of a batch, and every block must be back once the scope ends.
TEST(PlaneBlock, PlanesOfABatchScopeAreZeroedWhenAskedAndAllGoBackWithTheScope) {
  const std::size_t liveBefore = megcxc::planeArena().stats().liveBlocks;
  {
    // Leave blocks of the size used below dirty in the heap.
    std::vector<double**> dirty;
    for (int i = 0; i < 300; ++i) {
      dirty.push_back(megcxc::allocPlane(5, 40, false));
      megcxc::fillPlane(dirty.back(), 5, 40, 7.0);
    }
    for (double** p : dirty) megcxc::releasePlane(p);
  }
  std::vector<std::pair<double**, int>> made;
  {
    megcxc::PlaneBatchScope outer;
    for (int i = 0; i < 300; ++i) {
      made.emplace_back(megcxc::allocPlane(5, 40, true), 5);
      if (i % 97 == 0) made.emplace_back(megcxc::allocPlane(3, 7, true), 3);
      if (i == 150) made.emplace_back(megcxc::allocPlane(300, 300, true), 300);  // a block of its own
      if (i == 200) {
        megcxc::PlaneBatchScope inner;
        made.emplace_back(megcxc::allocPlane(5, 40, true), 5);
      }
    }
  }
  for (auto& [p, rows] : made) {
    ASSERT_NE(p, nullptr);
    const int64_t cols = rows == 5 ? 40 : rows == 3 ? 7 : 300;
    EXPECT_TRUE(allZero(p, rows, cols)) << rows << " x " << cols;
    megcxc::releasePlane(p);
  }
  EXPECT_EQ(megcxc::planeArena().stats().liveBlocks, liveBefore);
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
