// Counted allocation with a test hook.
//
// Every allocation the library makes for planes, row tables, pair matrices,
// summaries and scratch arrays goes through these functions, so a test can make
// exactly the Nth of them fail and reach the "out of memory" paths of every
// operation. Outside tests the hook is off and the functions are plain
// malloc / nothrow new.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

namespace megcxc {

// Makes the nth counted allocation from now on fail (1 = the very next one).
// 0 switches the hook off. Counting restarts at every call.
void setAllocationFailureAt(int64_t n);

// Makes every counted allocation from the nth one on fail (until reset).
void setAllocationFailureFrom(int64_t n);

// Number of counted allocations since the last setAllocationFailure* call
// (or since start); counts failed ones too.
int64_t countedAllocations();

// Bytes asked for by the largest counted allocation of a known size since
// the last setAllocationFailure* call (or since start), failed ones included.
// Tests use it to show that a declared size did not lead to a large request.
uint64_t largestCountedAllocation();

// True when the allocation being attempted must fail. Counts the attempt.
bool allocationShouldFail();
// The same for an allocation of `bytes` bytes, which it also notes for
// largestCountedAllocation.
bool allocationShouldFail(uint64_t bytes);

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
  if (allocationShouldFail(static_cast<uint64_t>(n) * sizeof(T))) return nullptr;
  return new (std::nothrow) T[static_cast<std::size_t>(n)];
}

// new T(args...) honouring the hook; nullptr on failure.
template <class T, class... Args>
T* xnew(Args&&... args) {
  if (allocationShouldFail()) return nullptr;
  return new (std::nothrow) T(static_cast<Args&&>(args)...);
}

// RAII guard for tests: arms the hook on construction, disarms it on exit.
class AllocationFailureScope {
 public:
  explicit AllocationFailureScope(int64_t nth, bool andAllLater = false) {
    if (andAllLater) setAllocationFailureFrom(nth);
    else setAllocationFailureAt(nth);
  }
  ~AllocationFailureScope() { setAllocationFailureAt(0); }
  AllocationFailureScope(const AllocationFailureScope&) = delete;
  AllocationFailureScope& operator=(const AllocationFailureScope&) = delete;
};

}  // namespace megcxc
