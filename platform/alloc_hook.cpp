#include "platform/alloc_hook.h"
#include "platform/alloc_test_hook.h"

#include <atomic>
#include <cstdlib>

namespace megcxc {
namespace {
// Counting starts with the first setAllocationFailure* call, so a host that
// never uses the test controls pays one relaxed load per allocation and no
// shared write. Hosts may fill pairs (and so allocate planes) from several
// threads, so everything is atomic; the failure settings are written by tests
// between passes.
std::atomic<bool> g_armed{false};
std::atomic<int64_t> g_count{0};
std::atomic<int64_t> g_failAt{0};
std::atomic<bool> g_failLater{false};
std::atomic<uint64_t> g_largest{0};

void arm(int64_t n, bool later) {
  g_count.store(0, std::memory_order_relaxed);
  g_largest.store(0, std::memory_order_relaxed);
  g_failAt.store(n, std::memory_order_relaxed);
  g_failLater.store(later, std::memory_order_relaxed);
  g_armed.store(true, std::memory_order_release);
}

bool countAndDecide() {
  const int64_t n = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
  const int64_t failAt = g_failAt.load(std::memory_order_relaxed);
  if (failAt <= 0) return false;
  return g_failLater.load(std::memory_order_relaxed) ? n >= failAt : n == failAt;
}
}  // namespace

void setAllocationFailureAt(int64_t n) { arm(n, false); }

void setAllocationFailureFrom(int64_t n) { arm(n, true); }

int64_t countedAllocations() { return g_count.load(std::memory_order_relaxed); }

uint64_t largestCountedAllocation() { return g_largest.load(std::memory_order_relaxed); }

bool allocationShouldFail(uint64_t bytes) {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  uint64_t largest = g_largest.load(std::memory_order_relaxed);
  while (bytes > largest && !g_largest.compare_exchange_weak(largest, bytes, std::memory_order_relaxed)) {
  }
  return countAndDecide();
}

bool allocationShouldFail() {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  return countAndDecide();
}

void* xmalloc(std::size_t bytes) {
  if (bytes == SIZE_MAX) return nullptr;
  if (allocationShouldFail(bytes)) return nullptr;
  return std::malloc(bytes == 0 ? 1 : bytes);
}

std::size_t checkedBytes(int64_t a, int64_t b, std::size_t elemSize) {
  if (a < 0 || b < 0) return SIZE_MAX;
  const uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
  if (ua != 0 && ub > SIZE_MAX / ua) return SIZE_MAX;
  const uint64_t cells = ua * ub;
  if (elemSize != 0 && cells > (SIZE_MAX - 1) / elemSize) return SIZE_MAX;
  return static_cast<std::size_t>(cells * elemSize);
}

}  // namespace megcxc
