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
// with AVX-512F, or AVX2 and FMA, the cells go through the library's own
// vector kernel (platform/atan2_kernel.inc): at most 1 ULP from the exact
// angle (0.68 ULP is the largest error seen over 5 * 10^7 test cells), the
// same bits at both widths, and std::atan2's results for signed zeros,
// infinities, NaN and subnormal inputs, which go through std::atan2. Elsewhere it is
// std::atan2. `out` may alias neither input partially (it may be one of them
// exactly).
void atan2Cells(const double* y, const double* x, double* out, std::size_t n);

// atan2Cells at one vector width (8: AVX-512F, 4: AVX2 + FMA, 1: std::atan2)
// for tests that compare the widths. False, with `out` untouched, when this
// processor or build lacks it.
bool atan2CellsAtWidth(int width, const double* y, const double* x, double* out, std::size_t n);

}  // namespace megcxc
