// AvailableMemoryBytes from /proc/meminfo, falling back on the physical memory.
#include "base/available_memory.h"

#include <unistd.h>

#include <fstream>
#include <string>

namespace picsheet {

std::uint64_t AvailableMemoryBytes() {
  // Older kernels have no MemAvailable line; the physical memory is then the best bound known.
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  while (meminfo >> key >> kilobytes) {
    if (key == "MemAvailable:") return kilobytes * 1024;
    meminfo.ignore(64, '\n');
  }
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

}  // namespace picsheet
