#include "platform/alloc_hook.h"
#include "platform/alloc_test_hook.h"

#include <cstdlib>

namespace megcxc {
namespace {
// The library has no threads; plain globals are enough.
int64_t g_count = 0;
int64_t g_failAt = 0;
bool g_failLater = false;
}  // namespace

void setAllocationFailureAt(int64_t n) {
  g_count = 0;
  g_failAt = n;
  g_failLater = false;
}

void setAllocationFailureFrom(int64_t n) {
  g_count = 0;
  g_failAt = n;
  g_failLater = true;
}

int64_t countedAllocations() { return g_count; }

bool allocationShouldFail() {
  ++g_count;
  if (g_failAt <= 0) return false;
  return g_failLater ? g_count >= g_failAt : g_count == g_failAt;
}

void* xmalloc(std::size_t bytes) {
  if (bytes == SIZE_MAX) return nullptr;
  if (allocationShouldFail()) return nullptr;
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
