#include "app/core/memory_budget.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <string>

namespace picsheet {
namespace {

// MemAvailable of /proc/meminfo, or the physical memory when the kernel does not report it.
std::uint64_t AvailableMemoryBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::uint64_t kilobytes = 0;
  while (meminfo >> key >> kilobytes) {
    if (key == "MemAvailable:") return kilobytes * 1024;
    meminfo.ignore(64, '\n');
  }
  const long pages = ::sysconf(_SC_PHYS_PAGES);
  const long pageSize = ::sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) return UINT64_MAX / 2;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

}  // namespace

std::size_t AnswerLimitBytes(std::size_t aheadBudgetBytes) {
  const std::uint64_t available = AvailableMemoryBytes();
  const std::uint64_t spare = available > aheadBudgetBytes ? available - aheadBudgetBytes : 0;
  const std::uint64_t limit = std::max<std::uint64_t>(spare / 4, std::uint64_t{64} << 20);
  return static_cast<std::size_t>(std::min<std::uint64_t>(limit, SIZE_MAX));
}

}  // namespace picsheet
