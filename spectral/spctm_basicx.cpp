#include "spectral/spctm_basicx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/alloc_hook.h"
#include "platform/message_box.h"
#include "platform/plane_arena.h"

#if defined(__SANITIZE_ADDRESS__) && !defined(MEGCXC_PLANES_ON_MALLOC)
#define MEGCXC_PLANES_ON_MALLOC 1
#endif

namespace megcxc {
namespace {
// Plane blocks come from the huge-page arena (platform/plane_arena.h). In
// sanitizer builds they come from malloc instead, whose blocks
// AddressSanitizer surrounds with poisoned bytes, so a plane overrun is caught.
// MEGCXC_PLANES_ON_MALLOC=1 in the environment does the same in any build
// (read once, before the first plane): for comparing the two heaps in one
// binary, or for a host whose kernel stalls on huge pages.
#if defined(MEGCXC_PLANES_ON_MALLOC)
bool planesOnMalloc() { return true; }
#else
bool planesOnMalloc() {
  static const bool onMalloc = [] {
    const char* v = std::getenv("MEGCXC_PLANES_ON_MALLOC");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  return onMalloc;
}
#endif
// A block of `bytes`; `*zeroed` tells whether it is known to be all zero.
void* planeBlock(std::size_t bytes, bool* zeroed) {
  *zeroed = false;
  return planesOnMalloc() ? std::malloc(bytes) : planeArena().allocate(bytes, zeroed);
}
// Up to `count` blocks of `bytes` in one call to the arena; returns how many.
std::size_t planeBlocks(std::size_t bytes, std::size_t count, void** out, bool* zeroed) {
  if (planesOnMalloc()) {
    for (std::size_t i = 0; i < count; ++i) {
      zeroed[i] = false;
      out[i] = std::malloc(bytes);
      if (!out[i]) return i;
    }
    return count;
  }
  return planeArena().allocateMany(bytes, count, out, zeroed);
}
void freePlaneBlock(void* block) {
  if (planesOnMalloc()) std::free(block);
  else planeArena().release(block);
}
void* shrinkPlaneBlock(void* block, std::size_t bytes) {
  return planesOnMalloc() ? std::realloc(block, bytes) : planeArena().reallocate(block, bytes);
}

// The row table: one pointer per row plus the slot that remembers the data
// start. The rows follow it directly (8-byte aligned, like any double array):
// padding the data to a cache line cost 80 bytes of every 5 x 40 plane (5 %),
// which a 306 x 306 dataset of small planes pays 190,000 times.
std::size_t tableBytes(int64_t rows) {
  return static_cast<std::size_t>(rows) * sizeof(double*) + sizeof(double*);
}

// The bytes of a rows x cols plane block (table and cells) and of its cells,
// or false when rows or cols is below 1 or the size cannot be represented.
bool planeBytes(int64_t rows, int64_t cols, std::size_t& block, std::size_t& cells) {
  if (rows < 1 || cols < 1) return false;
  cells = checkedBytes(rows, cols, sizeof(double));
  if (cells == SIZE_MAX || static_cast<uint64_t>(rows) > (SIZE_MAX / 4) / sizeof(double*)) return false;
  const std::size_t head = tableBytes(rows);
  if (cells > SIZE_MAX - head) return false;
  block = head + cells;
  return true;
}

// Writes the row table of a fresh block and zero-fills its cells when asked
// and the block is not known to be zero already (memory the kernel just
// mapped: writing zeros there would only touch its pages early).
double** formatPlane(void* block, int64_t rows, int64_t cols, std::size_t cells, bool zero, bool zeroed) {
  auto** table = static_cast<double**>(block);
  auto* data = reinterpret_cast<double*>(static_cast<unsigned char*>(block) + tableBytes(rows));
  // The slot after the last row pointer remembers the data start.
  table[rows] = data;
  for (int64_t r = 0; r < rows; ++r) table[r] = data + r * cols;
  if (zero && !zeroed) std::memset(data, 0, cells);
  return table;
}

// The innermost PlaneBatchScope of this thread.
thread_local PlaneBatchScope* currentBatchScope = nullptr;

}  // namespace

double** allocPlane(int64_t rows, int64_t cols, bool zero) {
  std::size_t bytes = 0, cells = 0;
  if (!planeBytes(rows, cols, bytes, cells)) return nullptr;
  if (allocationShouldFail()) return nullptr;
  bool zeroed = false;
  void* block = currentBatchScope ? currentBatchScope->batch_.take(bytes, &zeroed) : planeBlock(bytes, &zeroed);
  if (!block) return nullptr;
  return formatPlane(block, rows, cols, cells, zero, zeroed);
}

int allocPlanes(int64_t rows, int64_t cols, bool zero, int count, double*** out) {
  std::size_t bytes = 0, cells = 0;
  if (count < 1 || !planeBytes(rows, cols, bytes, cells)) return 0;
  constexpr int kMost = 8;
  if (count > kMost) count = kMost;
  // The failure hook sees one allocation per plane, in order, as with
  // allocPlane: the planes before a refused one are allocated.
  int wanted = 0;
  while (wanted < count && !allocationShouldFail()) ++wanted;
  void* blocks[kMost];
  bool zeroed[kMost];
  const int made = static_cast<int>(planeBlocks(bytes, static_cast<std::size_t>(wanted), blocks, zeroed));
  for (int i = 0; i < made; ++i) out[i] = formatPlane(blocks[i], rows, cols, cells, zero, zeroed[i]);
  return made;
}

void releasePlane(double** plane) { freePlaneBlock(plane); }

std::size_t trimPlaneMemory() { return planesOnMalloc() ? 0 : planeArena().trim(); }

double** reshapePlane(double** plane, int64_t rows, int64_t cellCapacity, int64_t newRows, int64_t newCols) {
  if (!plane || rows < 1 || newRows < 1 || newCols < 1 || newRows > rows) return plane;
  if (newCols > cellCapacity / newRows) return plane;
  auto* block = reinterpret_cast<unsigned char*>(plane);
  // The cells start where the first allocation put them: after a table of
  // `rows` + 1 slots, which also holds the shorter table written here.
  const std::size_t offset = static_cast<std::size_t>(reinterpret_cast<unsigned char*>(plane[rows]) - block);
  const std::size_t cells = static_cast<std::size_t>(newRows) * static_cast<std::size_t>(newCols);
  // Shrinking never needs new memory; should the allocator still refuse, the
  // larger block stays valid and is kept.
  if (void* shrunk = shrinkPlaneBlock(block, offset + cells * sizeof(double))) block = static_cast<unsigned char*>(shrunk);
  auto** table = reinterpret_cast<double**>(block);
  auto* data = reinterpret_cast<double*>(block + offset);
  table[newRows] = data;
  for (int64_t r = 0; r < newRows; ++r) table[r] = data + r * newCols;
  return table;
}

PlaneBlockBatch::~PlaneBlockBatch() { giveBack(); }

void PlaneBlockBatch::giveBack() {
  releasePlaneBlocks(blocks_ + next_, count_ - next_);
  next_ = count_ = 0;
}

void* PlaneBlockBatch::take(std::size_t bytes, bool* zeroed) {
  if (bytes != bytes_ || next_ == count_) {
    giveBack();
    if (bytes > PlaneArena::kLargeFrom || planesOnMalloc()) {
      bool zero = false;
      void* block = planeBlock(bytes, &zero);
      if (zeroed) *zeroed = zero;
      return block;
    }
    // About one chunk of the heap at most, so a batch never holds much more
    // than its caller is about to use.
    const std::size_t most = PlaneArena::kChunkBytes / bytes;
    bytes_ = bytes;
    count_ = planeBlocks(bytes, most < kBatch ? (most > 0 ? most : 1) : kBatch, blocks_, zeroed_);
    if (count_ == 0) return nullptr;
  }
  if (zeroed) *zeroed = zeroed_[next_];
  return blocks_[next_++];
}

PlaneBatchScope::PlaneBatchScope() : outer_(currentBatchScope) { currentBatchScope = this; }

PlaneBatchScope::~PlaneBatchScope() { currentBatchScope = outer_; }

PlaneShrinker::PlaneShrinker(int64_t newRows, int64_t newCols) : newRows_(newRows), newCols_(newCols) {
  std::size_t cells = 0;
  if (!planeBytes(newRows, newCols, bytes_, cells)) bytes_ = 0;
}

PlaneShrinker::~PlaneShrinker() { releasePlaneBlocks(leaving_, leavingCount_); }

void PlaneShrinker::leave(void* block) {
  if (!block) return;
  leaving_[leavingCount_++] = block;
  if (leavingCount_ == kBatch) {
    releasePlaneBlocks(leaving_, leavingCount_);
    leavingCount_ = 0;
  }
}

double** PlaneShrinker::shrink(double** plane, int64_t rows, int64_t cellCapacity, const double* cells) {
  if (!plane || bytes_ == 0 || rows < 1 || newRows_ > rows) return plane;
  if (newCols_ > cellCapacity / newRows_) return plane;
  const std::size_t count = static_cast<std::size_t>(newRows_) * static_cast<std::size_t>(newCols_);
  if (!planesOnMalloc()) {
    PlaneArena& arena = planeArena();
    const std::size_t have = arena.usableBytes(plane);
    // The arena's rule (reallocate): a small block that keeps at least half
    // its size class stays; large blocks shrink in place.
    if (have <= PlaneArena::kLargeFrom && bytes_ < have / 2) {
      if (void* block = spares_.take(bytes_, nullptr)) {
        double** table = formatPlane(block, newRows_, newCols_, 0, false, false);
        std::memcpy(table[newRows_], cells ? cells : plane[rows], count * sizeof(double));
        leave(plane);
        return table;
      }
    }
  }
  double** table = reshapePlane(plane, rows, cellCapacity, newRows_, newCols_);
  if (cells) std::memmove(table[newRows_], cells, count * sizeof(double));
  return table;
}

void releasePlaneBlocks(void* const* blocks, std::size_t count) {
  if (planesOnMalloc()) {
    for (std::size_t i = 0; i < count; ++i) std::free(blocks[i]);
  } else {
    planeArena().releaseMany(blocks, count);
  }
}

void copyPlaneCells(double** dst, double* const* src, int64_t rows, int64_t cols) {
  if (!dst || !src || rows < 1 || cols < 1) return;
  const std::size_t rowBytes = static_cast<std::size_t>(cols) * sizeof(double);
  for (int64_t r = 0; r < rows; ++r) {
    if (src[r] && dst[r]) std::memcpy(dst[r], src[r], rowBytes);
  }
}

void fillPlane(double** plane, int64_t rows, int64_t cols, double value) {
  if (!plane || rows < 1 || cols < 1) return;
  double* data = planeData(plane, rows);
  const std::size_t cells = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  if (value == 0.0 && !std::signbit(value)) {
    std::memset(data, 0, cells * sizeof(double));
  } else {
    std::fill(data, data + cells, value);
  }
  restorePlaneRows(plane, rows, cols);
}

void restorePlaneRows(double** plane, int64_t rows, int64_t cols) {
  if (!plane || rows < 1 || cols < 1) return;
  double* data = planeData(plane, rows);
  for (int64_t r = 0; r < rows; ++r) plane[r] = data + r * cols;
}

void copyPlaneBlock(double** dst, double** src, int64_t rows, int64_t cols) {
  if (!dst || !src || rows < 1 || cols < 1) return;
  double* d = planeData(dst, rows);
  const double* s = planeData(src, rows);
  std::memcpy(d, s, static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols) * sizeof(double));
  for (int64_t r = 0; r < rows; ++r) dst[r] = src[r] ? d + r * cols : nullptr;
}

double** clonePlane(double** src, int64_t rows, int64_t cols) {
  if (!src) return nullptr;
  double** copy = allocPlane(rows, cols, false);
  copyPlaneBlock(copy, src, rows, cols);
  return copy;
}

void sqrtInPlace(double* v, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  for (; i + 2 <= n; i += 2) _mm_storeu_pd(v + i, _mm_sqrt_pd(_mm_loadu_pd(v + i)));
#endif
  for (; i < n; ++i) v[i] = std::sqrt(v[i]);
}

}  // namespace megcxc

double** CSpctmBasicx::newBufferF2d(int64_t rows, int64_t cols, bool zero) {
  if (rows < 1 || cols < 1) return nullptr;
  double** plane = megcxc::allocPlane(rows, cols, zero);
  if (!plane) AfxMessageBox("Has enough memory?", MB_OK);
  return plane;
}

int CSpctmBasicx::freeBufferF2d(int64_t /*rows*/, int64_t /*cols*/, double**& buffer) {
  if (!buffer) return 0;
  megcxc::releasePlane(buffer);
  buffer = nullptr;
  return 1;
}
