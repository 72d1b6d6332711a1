// What the machine can give: the memory available for new allocations without
// swapping, so that a request far beyond it is refused before it starts
// instead of running the machine out of memory.
#pragma once

#include <cstdint>

namespace megcxc {

// Bytes of memory available to new allocations (Linux: MemAvailable of
// /proc/meminfo, else the free physical pages), or -1 when unknown.
int64_t availableMemoryBytes();

}  // namespace megcxc
