#include "platform/vector_math.h"

#include <cmath>
#include <cstdint>

// GCC on x86-64 only: the kernels are compiled for AVX-512F and AVX2 + FMA
// under target pragmas and chosen at run time; elsewhere std::atan2.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#define MEGCXC_ATAN2_DISPATCH 1
#endif

namespace megcxc {
namespace {

void atan2Scalar(const double* y, const double* x, double* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = std::atan2(y[i], x[i]);
}

#if defined(MEGCXC_ATAN2_DISPATCH)

// The arithmetic every width spells the same way but for the intrinsics'
// prefix (_mm512, _mm256).
#define MEGCXC_VECTOR_ARITHMETIC(P)                                           \
  inline V splat(double v) { return P##_set1_pd(v); }                         \
  inline V add(V a, V b) { return P##_add_pd(a, b); }                         \
  inline V sub(V a, V b) { return P##_sub_pd(a, b); }                         \
  inline V mul(V a, V b) { return P##_mul_pd(a, b); }                         \
  inline V divide(V a, V b) { return P##_div_pd(a, b); }                      \
  inline V mulAdd(V a, V b, V c) { return P##_fmadd_pd(a, b, c); }            \
  inline V negMulAdd(V a, V b, V c) { return P##_fnmadd_pd(a, b, c); }

#pragma GCC push_options
#pragma GCC target("avx512f")
namespace avx512 {
using V = __m512d;
using M = __mmask8;
MEGCXC_VECTOR_ARITHMETIC(_mm512)
inline V bits(__m512i v) { return _mm512_castsi512_pd(v); }
inline __m512i ints(V v) { return _mm512_castpd_si512(v); }
// On non-negative doubles the integer order of the bits is the order of the
// values, with infinity and NaN above every finite value. (The masked forms:
// GCC 12 warns that the plain ones read an undefined vector.)
inline V maxValue(V a, V b) { return bits(_mm512_mask_max_epi64(ints(a), 0xff, ints(a), ints(b))); }
inline V minValue(V a, V b) { return bits(_mm512_mask_min_epi64(ints(a), 0xff, ints(a), ints(b))); }
// For a, b >= 0: mx = max(a, b), and the lanes where it is above 2^1000 (or
// infinite or NaN) or between 0 and 2^-900.
inline M outOfRange(V a, V b, V& mx) {
  const __m512i big = _mm512_mask_max_epi64(ints(a), 0xff, ints(a), ints(b));
  mx = bits(big);
  const __m512i small = _mm512_set1_epi64(0x07b0000000000000LL);  // 2^-900
  const __m512i span = _mm512_set1_epi64(0x7e70000000000000LL - 0x07b0000000000000LL);  // to 2^1000
  return _mm512_mask_cmpgt_epu64_mask(_mm512_test_epi64_mask(big, big), _mm512_sub_epi64(big, small), span);
}
inline V absValue(V a) { return bits(_mm512_and_si512(ints(a), _mm512_set1_epi64(0x7fffffffffffffffLL))); }
inline V xorBits(V a, V b) { return bits(_mm512_xor_si512(ints(a), ints(b))); }
inline V withSignOf(V magnitude, V sign) {
  return bits(_mm512_or_si512(ints(magnitude), _mm512_and_si512(ints(sign), _mm512_set1_epi64(INT64_MIN))));
}
inline M less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
inline M lessEqual(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
inline M equal(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ); }
inline M signBit(V a) { return _mm512_cmplt_epi64_mask(ints(a), _mm512_setzero_si512()); }
inline M andMask(M a, M b) { return a & b; }
inline M orMask(M a, M b) { return a | b; }
inline M xorMask(M a, M b) { return a ^ b; }
inline M notMask(M a) { return static_cast<M>(~a); }
inline V select(M m, V whenSet, V otherwise) { return _mm512_mask_blend_pd(m, otherwise, whenSet); }
constexpr std::size_t kWidth = 8;
inline V load(const double* p) { return _mm512_loadu_pd(p); }
inline void store(double* p, V v) { _mm512_storeu_pd(p, v); }
inline unsigned laneBits(M m) { return m; }
#include "platform/atan2_kernel.inc"
}  // namespace avx512
#pragma GCC pop_options

#pragma GCC push_options
#pragma GCC target("avx2,fma")
namespace avx2 {
using V = __m256d;
using M = __m256d;  // all bits of a lane set or clear
MEGCXC_VECTOR_ARITHMETIC(_mm256)
inline V maxValue(V a, V b) { return _mm256_max_pd(a, b); }
// For a, b >= 0: mx = max(a, b), and the lanes where a or b is above 2^1000
// (or infinite or NaN) or mx is between 0 and 2^-900.
inline M outOfRange(V a, V b, V& mx) {
  mx = _mm256_max_pd(a, b);
  const __m256i large = _mm256_set1_epi64x(0x7e70000000000000LL), small = _mm256_set1_epi64x(0x07b0000000000000LL);
  const __m256i ia = _mm256_castpd_si256(a), ib = _mm256_castpd_si256(b), im = _mm256_castpd_si256(mx);
  const __m256i tooLarge = _mm256_or_si256(_mm256_cmpgt_epi64(ia, large), _mm256_cmpgt_epi64(ib, large));
  const __m256i tooSmall = _mm256_andnot_si256(_mm256_cmpeq_epi64(im, _mm256_setzero_si256()), _mm256_cmpgt_epi64(small, im));
  return _mm256_castsi256_pd(_mm256_or_si256(tooLarge, tooSmall));
}
inline V minValue(V a, V b) { return _mm256_min_pd(a, b); }
inline V absValue(V a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
inline V xorBits(V a, V b) { return _mm256_xor_pd(a, b); }
inline V withSignOf(V magnitude, V sign) { return _mm256_or_pd(magnitude, _mm256_and_pd(sign, _mm256_set1_pd(-0.0))); }
inline M less(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
inline M lessEqual(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
inline M equal(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_EQ_OQ); }
inline M signBit(V a) {
  return _mm256_castsi256_pd(_mm256_cmpgt_epi64(_mm256_setzero_si256(), _mm256_castpd_si256(a)));
}
inline M andMask(M a, M b) { return _mm256_and_pd(a, b); }
inline M orMask(M a, M b) { return _mm256_or_pd(a, b); }
inline M xorMask(M a, M b) { return _mm256_xor_pd(a, b); }
inline M notMask(M a) { return _mm256_xor_pd(a, _mm256_castsi256_pd(_mm256_set1_epi64x(-1))); }
inline V select(M m, V whenSet, V otherwise) { return _mm256_blendv_pd(otherwise, whenSet, m); }
constexpr std::size_t kWidth = 4;
inline V load(const double* p) { return _mm256_loadu_pd(p); }
inline void store(double* p, V v) { _mm256_storeu_pd(p, v); }
inline unsigned laneBits(M m) { return static_cast<unsigned>(_mm256_movemask_pd(m)); }
#include "platform/atan2_kernel.inc"
}  // namespace avx2
#pragma GCC pop_options

#undef MEGCXC_VECTOR_ARITHMETIC

constexpr auto atan2Avx512 = avx512::atan2Run;
constexpr auto atan2Avx2 = avx2::atan2Run;

using Atan2Kernel = void (*)(const double*, const double*, double*, std::size_t);
Atan2Kernel chooseAtan2() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return atan2Avx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return atan2Avx2;
  return atan2Scalar;
}
#endif

}  // namespace

void atan2Cells(const double* y, const double* x, double* out, std::size_t n) {
#if defined(MEGCXC_ATAN2_DISPATCH)
  static const Atan2Kernel kernel = chooseAtan2();
  kernel(y, x, out, n);
#else
  atan2Scalar(y, x, out, n);
#endif
}

bool atan2CellsAtWidth(int width, const double* y, const double* x, double* out, std::size_t n) {
  if (width == 1) {
    atan2Scalar(y, x, out, n);
    return true;
  }
#if defined(MEGCXC_ATAN2_DISPATCH)
  __builtin_cpu_init();
  if (width == 8 && __builtin_cpu_supports("avx512f")) {
    atan2Avx512(y, x, out, n);
    return true;
  }
  if (width == 4 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
    atan2Avx2(y, x, out, n);
    return true;
  }
#endif
  return false;
}

}  // namespace megcxc
