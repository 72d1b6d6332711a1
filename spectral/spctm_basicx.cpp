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
void* planeBlock(std::size_t bytes) { return planesOnMalloc() ? std::malloc(bytes) : planeArena().allocate(bytes); }
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
}  // namespace

double** allocPlane(int64_t rows, int64_t cols, bool zero) {
  if (rows < 1 || cols < 1) return nullptr;
  const std::size_t cells = checkedBytes(rows, cols, sizeof(double));
  if (cells == SIZE_MAX || static_cast<uint64_t>(rows) > (SIZE_MAX / 4) / sizeof(double*)) return nullptr;
  const std::size_t head = tableBytes(rows);
  if (cells > SIZE_MAX - head) return nullptr;
  if (allocationShouldFail()) return nullptr;
  void* block = planeBlock(head + cells);
  if (!block) return nullptr;
  auto** table = static_cast<double**>(block);
  auto* data = reinterpret_cast<double*>(static_cast<unsigned char*>(block) + head);
  // The slot after the last row pointer remembers the data start.
  table[rows] = data;
  for (int64_t r = 0; r < rows; ++r) table[r] = data + r * cols;
  if (zero) std::memset(data, 0, cells);
  return table;
}

void releasePlane(double** plane) { freePlaneBlock(plane); }

std::size_t trimPlaneMemory() { return planesOnMalloc() ? 0 : planeArena().trim(); }

double* planeData(double** plane, int64_t rows) {
  if (!plane || rows < 1) return nullptr;
  return plane[rows];
}

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
