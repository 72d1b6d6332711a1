// Little-endian encoding of fixed-width values.
//
// Contract: every integer and double in an archive is written least-significant
// byte first (doubles as their IEEE-754 binary64 bit pattern), whatever the host.
// All byte-order code of the library lives here.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace megcxc::le {

inline constexpr bool kHostIsLittle = std::endian::native == std::endian::little;

template <class T>
inline T byteswap(T v) {
  static_assert(std::is_trivially_copyable_v<T>);
  unsigned char b[sizeof(T)];
  std::memcpy(b, &v, sizeof(T));
  for (std::size_t i = 0; i < sizeof(T) / 2; ++i) {
    const unsigned char t = b[i];
    b[i] = b[sizeof(T) - 1 - i];
    b[sizeof(T) - 1 - i] = t;
  }
  std::memcpy(&v, b, sizeof(T));
  return v;
}

// Stores `v` little-endian at `dst` (sizeof(T) bytes).
template <class T>
inline void store(unsigned char* dst, T v) {
  if constexpr (!kHostIsLittle) v = byteswap(v);
  std::memcpy(dst, &v, sizeof(T));
}

// Loads a little-endian T from `src`.
template <class T>
inline T load(const unsigned char* src) {
  T v;
  std::memcpy(&v, src, sizeof(T));
  if constexpr (!kHostIsLittle) v = byteswap(v);
  return v;
}

// Copies n doubles to little-endian bytes (one memcpy on little-endian hosts).
inline void storeDoubles(unsigned char* dst, const double* src, std::size_t n) {
  if constexpr (kHostIsLittle) {
    std::memcpy(dst, src, n * sizeof(double));
  } else {
    for (std::size_t i = 0; i < n; ++i) store(dst + 8 * i, src[i]);
  }
}

inline void loadDoubles(double* dst, const unsigned char* src, std::size_t n) {
  if constexpr (kHostIsLittle) {
    std::memcpy(dst, src, n * sizeof(double));
  } else {
    for (std::size_t i = 0; i < n; ++i) dst[i] = load<double>(src + 8 * i);
  }
}

}  // namespace megcxc::le
