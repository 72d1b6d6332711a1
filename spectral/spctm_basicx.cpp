#include "spectral/spctm_basicx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/alloc_hook.h"
#include "platform/message_box.h"

namespace megcxc {
namespace {
// Row data starts on a 64-byte boundary after the row table so rows of a
// plane share no cache line with the table.
constexpr std::size_t kDataAlign = 64;

std::size_t tableBytes(int64_t rows) {
  const std::size_t t = static_cast<std::size_t>(rows) * sizeof(double*) + sizeof(double*);
  return (t + kDataAlign - 1) / kDataAlign * kDataAlign;
}
}  // namespace

double** allocPlane(int64_t rows, int64_t cols, bool zero) {
  if (rows < 1 || cols < 1) return nullptr;
  const std::size_t cells = checkedBytes(rows, cols, sizeof(double));
  if (cells == SIZE_MAX || static_cast<uint64_t>(rows) > (SIZE_MAX / 4) / sizeof(double*)) return nullptr;
  const std::size_t head = tableBytes(rows);
  if (cells > SIZE_MAX - head - kDataAlign) return nullptr;
  void* block = xmalloc(head + cells + kDataAlign);
  if (!block) return nullptr;
  // The block is malloc-aligned (16); align the data start within it.
  auto* base = static_cast<unsigned char*>(block);
  const uintptr_t addr = reinterpret_cast<uintptr_t>(base + head);
  const std::size_t pad = (kDataAlign - addr % kDataAlign) % kDataAlign;
  auto** table = static_cast<double**>(block);
  auto* data = reinterpret_cast<double*>(base + head + pad);
  // The slot after the last row pointer remembers the data start.
  table[rows] = data;
  for (int64_t r = 0; r < rows; ++r) table[r] = data + r * cols;
  if (zero) std::memset(data, 0, cells);
  return table;
}

void releasePlane(double** plane) { std::free(plane); }

double* planeData(double** plane, int64_t rows) {
  if (!plane || rows < 1) return nullptr;
  return plane[rows];
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
