// The plane arena on its own instance: blocks never overlap, freed blocks are
// reused before new memory is mapped, empty chunks go back to the system
// beyond the few kept, large blocks live and die in their own mapping, and
// reallocation keeps the contents whichever way it goes. Also the byte
// buffers of the file workers, whose large ones live on whole 2 MiB pages.
#include "platform/plane_arena.h"

#include <gtest/gtest.h>

#include "platform/byte_buffer.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using megcxc::PlaneArena;

constexpr std::size_t kChunk = PlaneArena::kChunkBytes;
constexpr std::size_t kPlaneBytes = 6 * 8 + 5 * 40 * 8;  // a 5 x 40 plane with its row table

void stamp(void* block, std::size_t bytes, uint64_t seed) {
  auto* p = static_cast<unsigned char*>(block);
  for (std::size_t i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(seed * 131 + i * 7);
}
bool stamped(const void* block, std::size_t bytes, uint64_t seed) {
  auto* p = static_cast<const unsigned char*>(block);
  for (std::size_t i = 0; i < bytes; ++i) {
    if (p[i] != static_cast<unsigned char>(seed * 131 + i * 7)) return false;
  }
  return true;
}

class PlaneArenaTest : public ::testing::Test {
 protected:
  PlaneArena arena;
};

TEST_F(PlaneArenaTest, ManyBlocksOfOneSizeFillWholeChunksWithoutOverlappingAndReuseFreedOnes) {
  const std::size_t count = 3000;  // more than two chunks' worth of 1648-byte blocks
  std::vector<void*> blocks;
  for (std::size_t i = 0; i < count; ++i) {
    void* b = arena.allocate(kPlaneBytes);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 16, 0u);
    stamp(b, kPlaneBytes, i);
    blocks.push_back(b);
  }
  for (std::size_t i = 0; i < count; ++i) EXPECT_TRUE(stamped(blocks[i], kPlaneBytes, i)) << i;
  const std::size_t perChunk = (kChunk - 128) / kPlaneBytes;
  const std::size_t chunks = (count + perChunk - 1) / perChunk;
  EXPECT_EQ(arena.stats().chunks, chunks);
  EXPECT_EQ(arena.stats().mappedBytes, chunks * kChunk);
  EXPECT_EQ(arena.stats().liveBlocks, count);
  // A freed block is reused before any new memory.
  arena.release(blocks[7]);
  EXPECT_EQ(arena.allocate(kPlaneBytes), blocks[7]);
  EXPECT_EQ(arena.stats().chunks, chunks);
  for (void* b : blocks) arena.release(b);
}

TEST_F(PlaneArenaTest, EmptyChunksBeyondTheKeptFewAreUnmappedAndTrimReturnsTheRest) {
  const std::size_t perChunk = (kChunk - 128) / kPlaneBytes;
  const std::size_t chunks = PlaneArena::kKeptEmptyChunks + 6;
  std::vector<void*> blocks(chunks * perChunk);
  for (void*& b : blocks) b = arena.allocate(kPlaneBytes);
  EXPECT_EQ(arena.stats().mappedBytes, chunks * kChunk);
  for (void* b : blocks) arena.release(b);
  megcxc::PlaneArenaStats s = arena.stats();
  EXPECT_EQ(s.liveBlocks, 0u);
  EXPECT_EQ(s.emptyChunks, PlaneArena::kKeptEmptyChunks);
  EXPECT_EQ(s.mappedBytes, PlaneArena::kKeptEmptyChunks * kChunk);
  // A kept chunk serves the next size asked for without a new mapping.
  void* other = arena.allocate(100);
  EXPECT_EQ(arena.stats().mappedBytes, PlaneArena::kKeptEmptyChunks * kChunk);
  arena.release(other);
  EXPECT_EQ(arena.trim(), PlaneArena::kKeptEmptyChunks * kChunk);
  EXPECT_EQ(arena.stats().mappedBytes, 0u);
  EXPECT_EQ(arena.stats().chunks, 0u);
}

TEST_F(PlaneArenaTest, ALargeBlockHasItsOwnMappingShrinksInPlaceAndIsUnmappedWhenFreed) {
  const std::size_t big = 3 * kChunk + 1000;
  void* b = arena.allocate(big);
  ASSERT_NE(b, nullptr);
  stamp(b, big, 9);
  EXPECT_GE(arena.stats().mappedBytes, big);
  void* shrunk = arena.reallocate(b, kChunk / 2);
  EXPECT_EQ(shrunk, b);
  EXPECT_TRUE(stamped(b, kChunk / 2, 9));
  EXPECT_LT(arena.stats().mappedBytes, kChunk);
  arena.release(b);
  EXPECT_EQ(arena.stats().mappedBytes, 0u);
  EXPECT_EQ(arena.stats().liveBlocks, 0u);
}

TEST_F(PlaneArenaTest, ReallocationKeepsTheContentsInPlaceWhenHalfStaysAndMovesOtherwise) {
  void* b = arena.allocate(kPlaneBytes);
  stamp(b, kPlaneBytes, 3);
  // 5 x 40 -> 4 x 40: more than half the block stays in use.
  void* same = arena.reallocate(b, 5 * 8 + 4 * 40 * 8);
  EXPECT_EQ(same, b);
  EXPECT_TRUE(stamped(same, 5 * 8 + 4 * 40 * 8, 3));
  // 5 x 40 -> 1 x 40 (an accumulation over time): moves to its own class.
  const std::size_t small = 6 * 8 + 40 * 8;
  void* moved = arena.reallocate(same, small);
  ASSERT_NE(moved, nullptr);
  EXPECT_NE(moved, b);
  EXPECT_TRUE(stamped(moved, small, 3));
  EXPECT_LT(arena.usableBytes(moved), kPlaneBytes / 2);
  // Growing moves too and keeps what was there.
  void* grown = arena.reallocate(moved, 10000);
  EXPECT_TRUE(stamped(grown, small, 3));
  arena.release(grown);
  EXPECT_EQ(arena.stats().liveBlocks, 0u);
}

TEST_F(PlaneArenaTest, ThreadsAllocatingAndFreeingAtOnceNeverShareABlock) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 20000;
  std::vector<std::thread> threads;
  std::vector<int> bad(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      struct Held {
        void* block;
        std::size_t bytes;
        uint64_t seed;
      };
      std::vector<Held> held;
      auto drop = [&](std::size_t k) {
        if (!stamped(held[k].block, held[k].bytes, held[k].seed)) ++bad[t];
        arena.release(held[k].block);
        held.erase(held.begin() + static_cast<std::ptrdiff_t>(k));
      };
      for (int i = 0; i < kRounds; ++i) {
        const std::size_t n = 16 + static_cast<std::size_t>((i * 37 + t * 11) % 3000);
        const uint64_t seed = static_cast<uint64_t>(t) * kRounds + static_cast<uint64_t>(i);
        void* b = arena.allocate(n);
        if (!b) {
          ++bad[t];
          continue;
        }
        stamp(b, n, seed);
        held.push_back({b, n, seed});
        if (i % 3 == 2) drop(held.size() / 2);
      }
      while (!held.empty()) drop(held.size() - 1);
    });
  }
  for (std::thread& th : threads) th.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(bad[t], 0);
  EXPECT_EQ(arena.stats().liveBlocks, 0u);
}

// Large byte buffers live on 2 MiB pages. A mapping freed with another size
// than it was made with would leave address space behind on every round.
// (AddressSanitizer builds keep the buffers on malloc.)
TEST(ByteBufferTest, LargeBuffersSitOnWholePagesAndReturnEveryMapping) {
  if (megcxc::kPageBlockFrom != kChunk) GTEST_SKIP() << "buffers on malloc";
  auto mapped = [] {  // address space of the process
    unsigned long pages = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(f, "%lu", &pages) != 1) pages = 0;
      std::fclose(f);
    }
    return static_cast<std::size_t>(pages) * 4096;
  };
  const std::size_t before = mapped();
  for (int round = 0; round < 500; ++round) {
    megcxc::ByteBuffer big(2 * kChunk + 4096);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(big.data()) % kChunk, 0u);
    big[big.size() - 1] = 1;
  }
  EXPECT_LT(mapped(), before + 16 * kChunk);
}

}  // namespace
