// Plane blocks over the plane heap: shrinking keeps the cells, and deleting
// planes hands their memory back (the allocation-failure sweeps check that
// each plane is one counted allocation). Sanitizer builds keep planes on
// malloc, where an overrun of a plane is caught.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/plane_arena.h"
#include "spectral/spctm_basicx.h"

namespace {

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kPlanesOnMalloc = true;
#else
constexpr bool kPlanesOnMalloc = false;
#endif

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

TEST(PlaneBlock, DeletedPlanesGiveTheirMemoryBack) {
  if (kPlanesOnMalloc || std::getenv("MEGCXC_PLANES_ON_MALLOC")) GTEST_SKIP() << "planes live on malloc";
  megcxc::trimPlaneMemory();
  const std::size_t before = megcxc::planeArena().stats().mappedBytes;
  std::vector<double**> planes;
  for (int k = 0; k < 20000; ++k) planes.push_back(megcxc::allocPlane(5, 40, true));  // ~33 MB
  EXPECT_GE(megcxc::planeArena().stats().mappedBytes, before + 20000u * 1600u);
  for (double** p : planes) megcxc::releasePlane(p);
  EXPECT_LE(megcxc::planeArena().stats().mappedBytes, before + megcxc::PlaneArena::kKeptEmptyChunks *
                                                                     megcxc::PlaneArena::kChunkBytes);
  megcxc::trimPlaneMemory();
  EXPECT_EQ(megcxc::planeArena().stats().mappedBytes, before);
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
