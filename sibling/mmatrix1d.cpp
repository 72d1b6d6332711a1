#include "sibling/mmatrix1d.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/alloc_hook.h"

namespace {
double* allocDoubles(int64_t count) {
  return static_cast<double*>(megcxc::xmalloc(megcxc::checkedBytes(count, 1, sizeof(double))));
}
}  // namespace

CMMatrix1D::CMMatrix1D() : pData(nullptr), capacity(0), lowBound(0), upBound(-1) {}

CMMatrix1D::~CMMatrix1D() { std::free(pData); }

CMMatrix1D::CMMatrix1D(const CMMatrix1D& other) : CMMatrix1D() { *this = other; }

CMMatrix1D& CMMatrix1D::operator=(const CMMatrix1D& other) {
  if (this == &other) return *this;
  const int64_t n = other.size();
  if (n == 0) {
    _adopt(nullptr, 0, other.lowBound);
    return *this;
  }
  double* copy = allocDoubles(n);
  if (!copy) return *this;
  std::memcpy(copy, other.pData, static_cast<std::size_t>(n) * sizeof(double));
  _adopt(copy, n, other.lowBound);
  return *this;
}

CMMatrix1D::CMMatrix1D(CMMatrix1D&& other) noexcept
    : pData(other.pData), capacity(other.capacity), lowBound(other.lowBound), upBound(other.upBound) {
  other.pData = nullptr;
  other.capacity = 0;
  other.lowBound = 0;
  other.upBound = -1;
}

CMMatrix1D& CMMatrix1D::operator=(CMMatrix1D&& other) noexcept {
  if (this == &other) return *this;
  std::free(pData);
  pData = other.pData;
  capacity = other.capacity;
  lowBound = other.lowBound;
  upBound = other.upBound;
  other.pData = nullptr;
  other.capacity = 0;
  other.lowBound = 0;
  other.upBound = -1;
  return *this;
}

double* CMMatrix1D::checkInitData(int64_t count, bool zero) {
  if (count < 1) return nullptr;
  const int64_t held = size();
  if (!pData || capacity < count) {
    double* grown = allocDoubles(count);
    if (!grown) return nullptr;
    const int64_t kept = zero ? 0 : std::min(held, count);
    if (kept > 0) std::memcpy(grown, pData, static_cast<std::size_t>(kept) * sizeof(double));
    std::memset(grown + kept, 0, static_cast<std::size_t>(count - kept) * sizeof(double));
    std::free(pData);
    pData = grown;
    capacity = count;
  } else {
    const int64_t kept = zero ? 0 : std::min(held, count);
    std::memset(pData + kept, 0, static_cast<std::size_t>(count - kept) * sizeof(double));
  }
  lowBound = 0;
  upBound = count - 1;
  return pData;
}

void CMMatrix1D::clear() { _adopt(nullptr, 0, 0); }

int64_t CMMatrix1D::size() const {
  if (!pData || upBound < lowBound) return 0;
  // Computed without signed overflow; never more than the buffer holds, even
  // if the public bounds were set to something inconsistent.
  const uint64_t span = static_cast<uint64_t>(upBound) - static_cast<uint64_t>(lowBound) + 1;
  return span > static_cast<uint64_t>(capacity) ? capacity : static_cast<int64_t>(span);
}

void CMMatrix1D::_adopt(double* buffer, int64_t count, int64_t low) {
  std::free(pData);
  pData = buffer;
  capacity = buffer ? count : 0;
  lowBound = buffer ? low : 0;
  upBound = buffer ? low + count - 1 : -1;
}
