// Whole-array elementary functions at the widest vector width the processor
// has, chosen once at run time (the default build targets plain x86-64).
#pragma once

#include <cstddef>

namespace megcxc {

// out[i] = atan2(y[i], x[i]) for i < n, in radians. On an x86-64 processor
// with AVX-512F or AVX2 + FMA the cells go through SLEEF's 1-ULP atan2 kernel
// for that width: at most 1 ULP from the exact value, so within 2 ULP of
// glibc's std::atan2, with the same results for signed zeros, infinities and
// NaN. Elsewhere (and in builds without SLEEF) it is std::atan2. `out` may alias neither input partially
// (it may be one of them exactly).
void atan2Cells(const double* y, const double* x, double* out, std::size_t n);

}  // namespace megcxc
