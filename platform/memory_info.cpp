#include "platform/memory_info.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace megcxc {

int64_t availableMemoryBytes() {
  if (std::FILE* f = std::fopen("/proc/meminfo", "r")) {
    char line[256];
    long long kb = -1;
    while (std::fgets(line, sizeof line, f)) {
      if (std::sscanf(line, "MemAvailable: %lld kB", &kb) == 1) break;
      kb = -1;
    }
    std::fclose(f);
    if (kb >= 0) return static_cast<int64_t>(kb) * 1024;
  }
  const long pages = ::sysconf(_SC_AVPHYS_PAGES);
  const long size = ::sysconf(_SC_PAGESIZE);
  if (pages > 0 && size > 0) return static_cast<int64_t>(pages) * size;
  return -1;
}

}  // namespace megcxc
