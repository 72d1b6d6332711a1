#include "platform/plane_arena.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>

namespace megcxc {

// The header at the start of every chunk and of every large block's mapping.
// A block finds its header by rounding its address down to kChunkBytes: small
// blocks lie inside their 2 MiB chunk, a large block right after its header.
struct PlaneArena::Chunk {
  Chunk* next = nullptr;
  Chunk* prev = nullptr;
  std::size_t bin = 0;         // 0 for a large block
  std::size_t blockBytes = 0;  // size class (a large block: the bytes after the header)
  std::size_t mapBytes = 0;
  unsigned char* bump = nullptr;  // first block never handed out
  unsigned char* end = nullptr;
  void* freeList = nullptr;
  std::size_t used = 0;
  bool listed = false;  // in its bin's list of chunks with a free block
  // The memory from `bump` on is as the kernel mapped it (zero): true for a
  // chunk mapped for this use, false for a kept empty chunk used again.
  bool bumpZero = false;
};

namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kPage = 4096;

constexpr std::size_t roundUp(std::size_t n, std::size_t step) { return (n + step - 1) / step * step; }

// Size class of n bytes (1 <= n <= kLargeFrom): its bin and block bytes.
// 16-byte steps up to 4 KiB (bins 1..256); above, 16 classes per doubling.
struct SizeClass {
  std::size_t bin;
  std::size_t bytes;
};
SizeClass sizeClassOf(std::size_t n) {
  if (n <= 4096) {
    const std::size_t bin = (n + 15) / 16;
    return {bin == 0 ? 1 : bin, (bin == 0 ? 1 : bin) * 16};
  }
  int k = 63 - __builtin_clzll(static_cast<unsigned long long>(n - 1));  // 2^k < n <= 2^(k+1)
  const std::size_t base = std::size_t{1} << k;
  const std::size_t step = base / 16;
  const std::size_t bytes = roundUp(n, step);
  return {256 + static_cast<std::size_t>(k - 12) * 16 + (bytes - base) / step, bytes};
}

// `bytes` (a multiple of the page size) of fresh memory aligned to
// kChunkBytes, or null.
void* mapAligned(std::size_t bytes) {
  const std::size_t over = bytes + PlaneArena::kChunkBytes - kPage;
  void* raw = mmap(nullptr, over, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  const auto start = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = roundUp(start, PlaneArena::kChunkBytes);
  if (aligned > start) munmap(raw, aligned - start);
  const uintptr_t tail = aligned + bytes, overEnd = start + over;
  if (overEnd > tail) munmap(reinterpret_cast<void*>(tail), overEnd - tail);
  void* p = reinterpret_cast<void*>(aligned);
  // Advice only: without transparent huge pages the chunk works on 4 KiB pages.
  if (bytes >= PlaneArena::kChunkBytes) madvise(p, bytes & ~(PlaneArena::kChunkBytes - 1), MADV_HUGEPAGE);
  return p;
}

}  // namespace

PlaneArena::Chunk* PlaneArena::chunkOf(const void* block) {
  return reinterpret_cast<Chunk*>(reinterpret_cast<uintptr_t>(block) & ~(uintptr_t{kChunkBytes} - 1));
}

PlaneArena::~PlaneArena() {
  // Walk every list: partial chunks, kept empty ones. Full chunks and large
  // blocks are not reachable; an arena is destroyed only when its blocks are
  // gone (tests) or never (planeArena()).
  for (Bin& b : bins_) {
    while (Chunk* c = b.partial) {
      b.partial = c->next;
      munmap(c, c->mapBytes);
    }
  }
  while (Chunk* c = empty_) {
    empty_ = c->next;
    munmap(c, c->mapBytes);
  }
  unmapUnused();
}

void PlaneArena::unmapUnused() {
  if (unusedNext_ != unusedEnd_) munmap(unusedNext_, static_cast<std::size_t>(unusedEnd_ - unusedNext_));
  unusedNext_ = unusedEnd_ = nullptr;
}

void PlaneArena::link(Chunk* c) {
  Bin& b = bins_[c->bin];
  c->prev = nullptr;
  c->next = b.partial;
  if (b.partial) b.partial->prev = c;
  b.partial = c;
  c->listed = true;
}

void PlaneArena::unlink(Chunk* c) {
  if (c->prev) c->prev->next = c->next;
  else bins_[c->bin].partial = c->next;
  if (c->next) c->next->prev = c->prev;
  c->next = c->prev = nullptr;
  c->listed = false;
}

PlaneArena::Chunk* PlaneArena::newChunk(std::size_t bin, std::size_t blockBytes) {
  void* memory = nullptr;
  bool fresh = false;
  if (empty_) {
    Chunk* c = empty_;
    empty_ = c->next;
    --emptyCount_;
    memory = c;
  } else {
    if (unusedNext_ == unusedEnd_) {
      std::size_t group = groupChunks_;
      auto* region = static_cast<unsigned char*>(mapAligned(group * kChunkBytes));
      if (!region && group > 1) region = static_cast<unsigned char*>(mapAligned((group = 1) * kChunkBytes));
      if (!region) return nullptr;
      unusedNext_ = region;
      unusedEnd_ = region + group * kChunkBytes;
      if (groupChunks_ < kMostGroupChunks) groupChunks_ *= 2;
    }
    memory = unusedNext_;
    unusedNext_ += kChunkBytes;
    mappedBytes_ += kChunkBytes;
    ++chunks_;
    fresh = true;
  }
  auto* c = new (memory) Chunk;
  c->bumpZero = fresh;
  c->bin = bin;
  c->blockBytes = blockBytes;
  c->mapBytes = kChunkBytes;
  c->bump = static_cast<unsigned char*>(memory) + kHeaderBytes;
  c->end = static_cast<unsigned char*>(memory) + kChunkBytes;
  return c;
}

void PlaneArena::retire(Chunk* c) {
  if (emptyCount_ < kKeptEmptyChunks) {
    c->next = empty_;
    empty_ = c;
    ++emptyCount_;
    return;
  }
  mappedBytes_ -= c->mapBytes;
  --chunks_;
  munmap(c, c->mapBytes);
}

void* PlaneArena::allocateLarge(std::size_t bytes) {
  if (bytes > SIZE_MAX - kHeaderBytes - kChunkBytes) return nullptr;
  const std::size_t mapBytes = roundUp(kHeaderBytes + bytes, kPage);
  void* memory = mapAligned(mapBytes);
  if (!memory) return nullptr;
  auto* c = new (memory) Chunk;
  c->blockBytes = mapBytes - kHeaderBytes;
  c->mapBytes = mapBytes;
  c->used = 1;
  std::lock_guard<std::mutex> lock(mutex_);
  mappedBytes_ += mapBytes;
  ++chunks_;
  ++liveBlocks_;
  return static_cast<unsigned char*>(memory) + kHeaderBytes;
}

void* PlaneArena::allocateLocked(std::size_t bin, std::size_t blockBytes, bool* zeroed) {
  Chunk* c = bins_[bin].partial;
  if (!c) {
    c = newChunk(bin, blockBytes);
    if (!c) return nullptr;
    link(c);
  }
  void* block;
  bool zero = false;
  if (c->freeList) {
    block = c->freeList;
    c->freeList = *static_cast<void**>(block);
  } else {
    block = c->bump;
    c->bump += c->blockBytes;
    zero = c->bumpZero;
  }
  if (zeroed) *zeroed = zero;
  ++c->used;
  ++liveBlocks_;
  if (!c->freeList && static_cast<std::size_t>(c->end - c->bump) < c->blockBytes) unlink(c);
  return block;
}

void* PlaneArena::allocate(std::size_t bytes, bool* zeroed) {
  if (bytes > kLargeFrom) {
    if (zeroed) *zeroed = true;
    return allocateLarge(bytes);
  }
  const SizeClass sc = sizeClassOf(bytes);
  std::lock_guard<std::mutex> lock(mutex_);
  return allocateLocked(sc.bin, sc.bytes, zeroed);
}

std::size_t PlaneArena::allocateMany(std::size_t bytes, std::size_t count, void** out, bool* zeroed) {
  if (bytes > kLargeFrom) {
    for (std::size_t i = 0; i < count; ++i) {
      out[i] = allocate(bytes, zeroed ? zeroed + i : nullptr);
      if (!out[i]) return i;
    }
    return count;
  }
  const SizeClass sc = sizeClassOf(bytes);
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < count; ++i) {
    void* block = allocateLocked(sc.bin, sc.bytes, zeroed ? zeroed + i : nullptr);
    if (!block) return i;
    out[i] = block;
  }
  return count;
}

void PlaneArena::releaseLocked(void* block) {
  auto* c = chunkOf(block);
  --liveBlocks_;
  if (c->bin == 0) {
    mappedBytes_ -= c->mapBytes;
    --chunks_;
    munmap(c, c->mapBytes);
    return;
  }
  *static_cast<void**>(block) = c->freeList;
  c->freeList = block;
  if (--c->used == 0) {
    if (c->listed) unlink(c);
    retire(c);
  } else if (!c->listed) {
    link(c);
  }
}

void PlaneArena::release(void* block) {
  if (!block) return;
  std::lock_guard<std::mutex> lock(mutex_);
  releaseLocked(block);
}

void PlaneArena::releaseMany(void* const* blocks, std::size_t count) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < count; ++i) {
    if (blocks[i]) releaseLocked(blocks[i]);
  }
}

std::size_t PlaneArena::usableBytes(const void* block) const {
  if (!block) return 0;
  auto* c = chunkOf(block);
  return c->blockBytes;
}

void* PlaneArena::reallocate(void* block, std::size_t bytes) {
  if (!block) return allocate(bytes);
  auto* c = chunkOf(block);
  const std::size_t have = c->blockBytes;
  if (bytes <= have) {
    if (c->bin == 0) {
      // A large block gives its tail pages back and stays where it is.
      const std::size_t keep = roundUp(kHeaderBytes + (bytes == 0 ? 1 : bytes), kPage);
      if (keep < c->mapBytes) {
        munmap(reinterpret_cast<unsigned char*>(c) + keep, c->mapBytes - keep);
        std::lock_guard<std::mutex> lock(mutex_);
        mappedBytes_ -= c->mapBytes - keep;
        c->mapBytes = keep;
        c->blockBytes = keep - kHeaderBytes;
      }
      return block;
    }
    if (bytes >= have / 2) return block;
  }
  void* moved = allocate(bytes);
  if (!moved) return bytes <= have ? block : nullptr;
  std::memcpy(moved, block, bytes < have ? bytes : have);
  release(block);
  return moved;
}

std::size_t PlaneArena::trim() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t handedBack = 0;
  unmapUnused();
  groupChunks_ = 1;
  while (Chunk* c = empty_) {
    empty_ = c->next;
    handedBack += c->mapBytes;
    mappedBytes_ -= c->mapBytes;
    --chunks_;
    munmap(c, c->mapBytes);
  }
  emptyCount_ = 0;
  return handedBack;
}

PlaneArenaStats PlaneArena::stats() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return {mappedBytes_, chunks_, emptyCount_, liveBlocks_};
}

void* mapPageBlock(std::size_t bytes) {
  if (bytes == 0 || bytes % PlaneArena::kChunkBytes != 0) return nullptr;
  return mapAligned(bytes);
}

void* growPageBlock(void* block, std::size_t oldBytes, std::size_t newBytes) {
  if (newBytes <= oldBytes || newBytes % PlaneArena::kChunkBytes != 0) return nullptr;
  void* grown = mremap(block, oldBytes, newBytes, 0);
  if (grown != MAP_FAILED) return grown;
  void* to = mapAligned(newBytes);
  if (!to) return nullptr;
  // The old pages replace the start of the new mapping; the rest of it stays
  // as mapped (zero, marked for huge pages).
  grown = mremap(block, oldBytes, oldBytes, MREMAP_MAYMOVE | MREMAP_FIXED, to);
  if (grown == MAP_FAILED) {
    munmap(to, newBytes);
    return nullptr;
  }
  return to;
}

void unmapPageBlock(void* block, std::size_t bytes) {
  if (block) munmap(block, bytes);
}

PlaneArena& planeArena() {
  static PlaneArena* arena = new PlaneArena;
  return *arena;
}

}  // namespace megcxc
