#include "platform/vector_math.h"

#include <cmath>

// GCC only: its target pragmas declare the kernels; other compilers use std::atan2.
#if defined(MEGCXC_HAVE_SLEEF) && defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#include <sleef.h>
#define MEGCXC_SLEEF_DISPATCH 1
// sleef.h declares the AVX kernels only when the whole file targets AVX; the
// default build targets plain x86-64 and calls them from functions compiled
// for the instruction set the processor reports.
#pragma GCC push_options
#pragma GCC target("avx512f")
extern "C" __m512d Sleef_atan2d8_u10avx512f(__m512d, __m512d);
#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("avx2,fma")
extern "C" __m256d Sleef_atan2d4_u10avx2(__m256d, __m256d);
#pragma GCC pop_options
#endif

namespace megcxc {
namespace {

void atan2Scalar(const double* y, const double* x, double* out, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out[i] = std::atan2(y[i], x[i]);
}

#if defined(MEGCXC_SLEEF_DISPATCH)
// The tails go through the same vector kernel (padded), so every cell gets
// the same function whatever its position: results do not depend on how a
// pass splits its cells among threads.
__attribute__((target("avx512f"))) void atan2Avx512(const double* y, const double* x, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8)
    _mm512_storeu_pd(out + i, Sleef_atan2d8_u10avx512f(_mm512_loadu_pd(y + i), _mm512_loadu_pd(x + i)));
  if (i < n) {
    alignas(64) double ty[8] = {}, tx[8] = {}, to[8];
    for (std::size_t k = 0; i + k < n; ++k) ty[k] = y[i + k], tx[k] = x[i + k];
    _mm512_store_pd(to, Sleef_atan2d8_u10avx512f(_mm512_load_pd(ty), _mm512_load_pd(tx)));
    for (std::size_t k = 0; i + k < n; ++k) out[i + k] = to[k];
  }
}

__attribute__((target("avx2,fma"))) void atan2Avx2(const double* y, const double* x, double* out, std::size_t n) {
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4)
    _mm256_storeu_pd(out + i, Sleef_atan2d4_u10avx2(_mm256_loadu_pd(y + i), _mm256_loadu_pd(x + i)));
  if (i < n) {
    alignas(32) double ty[4] = {}, tx[4] = {}, to[4];
    for (std::size_t k = 0; i + k < n; ++k) ty[k] = y[i + k], tx[k] = x[i + k];
    _mm256_store_pd(to, Sleef_atan2d4_u10avx2(_mm256_load_pd(ty), _mm256_load_pd(tx)));
    for (std::size_t k = 0; i + k < n; ++k) out[i + k] = to[k];
  }
}

using Atan2Kernel = void (*)(const double*, const double*, double*, std::size_t);
Atan2Kernel chooseAtan2() {
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) return atan2Avx512;
  if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return atan2Avx2;
  // SLEEF's SSE2 kernel is slower here than glibc's scalar atan2.
  return atan2Scalar;
}
#endif

}  // namespace

void atan2Cells(const double* y, const double* x, double* out, std::size_t n) {
#if defined(MEGCXC_SLEEF_DISPATCH)
  static const Atan2Kernel kernel = chooseAtan2();
  kernel(y, x, out, n);
#else
  atan2Scalar(y, x, out, n);
#endif
}

}  // namespace megcxc
