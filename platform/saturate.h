// Saturating 64-bit integer arithmetic for extents and indices that come from
// hosts or files: absurd values must clamp at the ends of the range instead
// of overflowing.
#pragma once

#include <cstdint>
#include <limits>

namespace megcxc {

inline int64_t satAdd(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_add_overflow(a, b, &r)) return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return r;
}

inline int64_t satSub(int64_t a, int64_t b) {
  int64_t r = 0;
  if (__builtin_sub_overflow(a, b, &r)) return b < 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  return r;
}

// For non-negative factors (a negative one counts as 0).
inline int64_t satMulNonNegative(int64_t a, int64_t b) {
  if (a <= 0 || b <= 0) return 0;
  int64_t r = 0;
  if (__builtin_mul_overflow(a, b, &r)) return std::numeric_limits<int64_t>::max();
  return r;
}

}  // namespace megcxc
