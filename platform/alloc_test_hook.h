// Test controls of the counted allocations (platform/alloc_hook.h).
//
// A test or fuzz driver includes this header to make exactly the Nth counted
// allocation fail and so reach the "out of memory" path of every operation.
// The functions are compiled into the library (platform/alloc_hook.cpp), so
// every program linking it can use them, but they are no part of the surface
// a host sees: megcxc.h does not include this header and it is not installed.
#pragma once

#include <cstdint>

namespace megcxc {

// Makes the nth counted allocation from now on fail (1 = the very next one).
// 0 switches the hook off. Counting restarts at every call.
void setAllocationFailureAt(int64_t n);

// Makes every counted allocation from the nth one on fail (until reset).
void setAllocationFailureFrom(int64_t n);

// Number of counted allocations since the last setAllocationFailure* call;
// counts failed ones too. Nothing is counted before the first such call.
int64_t countedAllocations();

// Bytes asked for by the largest counted allocation of a known size since
// the last setAllocationFailure* call, failed ones included.
// Tests use it to show that a declared size did not lead to a large request.
uint64_t largestCountedAllocation();

// Arms the hook on construction, disarms it on exit.
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
