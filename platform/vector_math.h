// Whole-array elementary functions at the widest vector width the processor
// has, chosen once at run time (the default build targets plain x86-64).
#pragma once

#include <cstddef>

// Marks a function whose cell loops are compiled once per vector width
// (AVX-512F, AVX2, the x86-64 baseline) and chosen when the library is
// loaded by what the processor has (GCC function multiversioning), so the
// default build, which targets plain x86-64, still runs them at the widest
// width. Only for loops whose results do not depend on the width: each cell
// or each running sum takes its inputs in the same order, and no
// multiply-add is fused (the library compiles with -ffp-contract=off). Sanitizer and
// other compilers' builds compile them once.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__) && \
    defined(__OPTIMIZE__)
#define MEGCXC_CELL_LOOPS_ALL_WIDTHS __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define MEGCXC_CELL_LOOPS_ALL_WIDTHS
#endif

namespace megcxc {

// out[i] = atan2(y[i], x[i]) for i < n, in radians. On an x86-64 processor
// with AVX-512F or AVX2 + FMA the cells go through SLEEF's 1-ULP atan2 kernel
// for that width: at most 1 ULP from the exact value, so within 2 ULP of
// glibc's std::atan2, with the same results for signed zeros, infinities and
// NaN. Elsewhere (and in builds without SLEEF) it is std::atan2. `out` may alias neither input partially
// (it may be one of them exactly).
void atan2Cells(const double* y, const double* x, double* out, std::size_t n);

}  // namespace megcxc
