// PlaneArena: the heap the planes of every dataset live in.
//
// A 306 x 306 dataset is hundreds of thousands of equal plane blocks of a few
// KiB. On the process heap they sit on 4 KiB pages, and touching each new page
// for the first time costs more than writing the data into it. The arena maps
// 2 MiB-aligned chunks of 2 MiB marked MADV_HUGEPAGE, so the kernel backs them
// with transparent huge pages where it can (the "madvise" setting most
// distributions ship), without asking the host to change its malloc.
//
// Each chunk serves one block size (size classes 16 bytes apart up to 4 KiB,
// then 16 classes per doubling up to 256 KiB: at most 6.25 % rounding). Blocks
// above 256 KiB get a mapping of their own, unmapped when freed. A chunk whose
// last block is freed is kept for reuse while at most kKeptEmptyChunks are
// kept, and unmapped otherwise, so deleting a dataset hands its memory back to
// the system; trim() hands back the kept ones too. Any thread may call any
// member (one mutex).
//
// Internal to the library. The planes take their blocks from planeArena()
// (spectral/spctm_basicx.cpp) except in sanitizer builds, where they use
// malloc so AddressSanitizer sees every plane overrun.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>

namespace megcxc {

struct PlaneArenaStats {
  std::size_t mappedBytes = 0;  // mapped now, chunks kept empty included
  std::size_t chunks = 0;       // chunks and own mappings of large blocks
  std::size_t emptyChunks = 0;  // kept for reuse
  std::size_t liveBlocks = 0;
};

class PlaneArena {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{2} << 20;
  static constexpr std::size_t kLargeFrom = std::size_t{256} << 10;
  static constexpr std::size_t kKeptEmptyChunks = 4;
  // New chunks are mapped in groups of 1, 2, 4, ... up to kMostGroupChunks
  // while an allocation keeps needing them: a 306-sensor load maps 300
  // chunks, and one mmap and madvise per chunk cost about 5 % of it.
  static constexpr std::size_t kMostGroupChunks = 16;

  PlaneArena() = default;
  // Unmaps every chunk; blocks still allocated become invalid.
  ~PlaneArena();
  PlaneArena(const PlaneArena&) = delete;
  PlaneArena& operator=(const PlaneArena&) = delete;

  // A block of at least `bytes` bytes (16-byte aligned), or null when the
  // system refuses the memory. Its contents are unspecified, except that
  // `*zeroed` (when given) is set true when the block is known to hold only
  // zero bytes: memory the kernel mapped for it that no block has used yet,
  // so a caller that wants zeros need not write them (and touch the pages).
  void* allocate(std::size_t bytes, bool* zeroed = nullptr);
  // `count` blocks of `bytes` bytes under one lock, into out[0..count), each
  // as allocate() would give it (zeroed[i] likewise when `zeroed` is given).
  // Returns how many were allocated: fewer than `count` only when the system
  // refuses memory, and then out[result...] are left alone.
  std::size_t allocateMany(std::size_t bytes, std::size_t count, void** out, bool* zeroed = nullptr);
  // Frees a block of this arena (null is ignored).
  void release(void* block);
  // Frees `count` blocks (null entries are ignored) under one lock.
  void releaseMany(void* const* blocks, std::size_t count);
  // Gives a block `bytes` bytes, keeping its first min(old, bytes) bytes, like
  // realloc. A block shrunk to at least half its size class stays where it is,
  // a large block shrinks in place by unmapping its tail; a smaller block moves
  // to its own size class so the memory it leaves can be returned. Returns
  // the block (possibly moved), or null when growing fails (the block then
  // stays valid); shrinking never fails.
  void* reallocate(void* block, std::size_t bytes);
  // Bytes `block` can hold (its size class).
  std::size_t usableBytes(const void* block) const;
  // Unmaps the empty chunks kept for reuse; returns the bytes handed back.
  std::size_t trim();
  PlaneArenaStats stats() const;

 private:
  struct Chunk;
  struct Bin {
    Chunk* partial = nullptr;  // chunks with a free block
  };
  static constexpr std::size_t kBins = 353;

  static Chunk* chunkOf(const void* block);
  // The bodies of allocate() and release() for a small block; mutex_ held.
  void* allocateLocked(std::size_t bin, std::size_t blockBytes, bool* zeroed);
  void releaseLocked(void* block);
  Chunk* newChunk(std::size_t bin, std::size_t blockBytes);
  void retire(Chunk* c);
  // Unmaps the unused rest of the last group of chunks; mutex_ held.
  void unmapUnused();
  void* allocateLarge(std::size_t bytes);
  void link(Chunk* c);
  void unlink(Chunk* c);

  mutable std::mutex mutex_;
  Bin bins_[kBins];
  Chunk* empty_ = nullptr;  // kept empty chunks (singly linked)
  // The untouched rest of the last group of chunks mapped at once: address
  // space only (no page of it is in memory), not counted in the stats.
  unsigned char* unusedNext_ = nullptr;
  unsigned char* unusedEnd_ = nullptr;
  std::size_t groupChunks_ = 1;  // chunks the next mapping takes
  std::size_t emptyCount_ = 0;
  std::size_t mappedBytes_ = 0;
  std::size_t chunks_ = 0;
  std::size_t liveBlocks_ = 0;
};

// The arena of the library's planes (never destroyed, so planes may be freed
// from static destructors).
PlaneArena& planeArena();

// Memory of this many bytes or more is worth a page block (below) rather
// than malloc. AddressSanitizer builds never take one, so that its guards
// around malloc blocks see every overrun.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr std::size_t kPageBlockFrom = SIZE_MAX / 2;
#else
inline constexpr std::size_t kPageBlockFrom = PlaneArena::kChunkBytes;
#endif

// One large block of whole 2 MiB pages (bytes a multiple of
// PlaneArena::kChunkBytes), 2 MiB-aligned and marked MADV_HUGEPAGE, zero
// until written; null when the system refuses. For the memory file, whose
// archive of hundreds of megabytes would otherwise take a page fault per
// 4 KiB page.
void* mapPageBlock(std::size_t bytes);
// Grows a block of mapPageBlock from `oldBytes` to `newBytes` (both multiples
// of kChunkBytes) keeping its contents without copying them: in place when
// the addresses behind it are free, else by moving its pages to a new
// 2 MiB-aligned place (their huge pages stay whole). Returns the block, or
// null when the system refuses (the old block then stays valid).
void* growPageBlock(void* block, std::size_t oldBytes, std::size_t newBytes);
void unmapPageBlock(void* block, std::size_t bytes);

}  // namespace megcxc
