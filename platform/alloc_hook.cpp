#include "platform/alloc_hook.h"
#include "platform/alloc_test_hook.h"

#include <atomic>
#include <cstdlib>

namespace megcxc {
namespace {
// Hosts may fill pairs (and so allocate planes) from several threads, so the
// count is atomic; the failure settings are written by tests between passes.
std::atomic<int64_t> g_count{0};
int64_t g_failAt = 0;
bool g_failLater = false;
uint64_t g_largest = 0;
}  // namespace

void setAllocationFailureAt(int64_t n) {
  g_count = 0;
  g_largest = 0;
  g_failAt = n;
  g_failLater = false;
}

void setAllocationFailureFrom(int64_t n) {
  g_count = 0;
  g_largest = 0;
  g_failAt = n;
  g_failLater = true;
}

int64_t countedAllocations() { return g_count; }

uint64_t largestCountedAllocation() { return g_largest; }

bool allocationShouldFail(uint64_t bytes) {
  if (bytes > g_largest) g_largest = bytes;
  return allocationShouldFail();
}

bool allocationShouldFail() {
  const int64_t n = g_count.fetch_add(1, std::memory_order_relaxed) + 1;
  if (g_failAt <= 0) return false;
  return g_failLater ? n >= g_failAt : n == g_failAt;
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
