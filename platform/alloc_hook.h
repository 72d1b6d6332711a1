// Counted allocation with a test hook.
//
// Every allocation the library makes for planes, row tables, pair matrices,
// summaries and scratch arrays goes through these functions, so a test can make
// exactly the Nth of them fail and reach the "out of memory" paths of every
// operation (the controls are in platform/alloc_test_hook.h). Outside tests
// the hook is off and the functions are plain malloc / nothrow new. Internal
// to the library: megcxc.h does not include this header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace megcxc {

// True when the allocation being attempted must fail. Counts the attempt.
bool allocationShouldFail();

// malloc that honours the hook; returns nullptr on failure (hook or heap).
void* xmalloc(std::size_t bytes);

// Product of two non-negative extents times an element size, or SIZE_MAX when
// the byte count cannot be represented (which callers treat as a failed
// allocation).
std::size_t checkedBytes(int64_t a, int64_t b, std::size_t elemSize);

// new T[n] (value-initialised objects constructed by their default
// constructor) honouring the hook; nullptr on failure or when n < 0 or the byte
// count overflows.
template <class T>
T* xnewArray(int64_t n) {
  if (n < 0 || static_cast<uint64_t>(n) > SIZE_MAX / sizeof(T)) return nullptr;
  if (allocationShouldFail()) return nullptr;
  return new (std::nothrow) T[static_cast<std::size_t>(n)];
}

// new T(args...) honouring the hook; nullptr on failure.
template <class T, class... Args>
T* xnew(Args&&... args) {
  if (allocationShouldFail()) return nullptr;
  return new (std::nothrow) T(static_cast<Args&&>(args)...);
}

}  // namespace megcxc
