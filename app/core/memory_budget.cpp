// MemoryLimitsFor: the run's budget and answer limits from the memory it can be given.
#include "app/core/memory_budget.h"

#include <algorithm>

#include "base/available_memory.h"

namespace picsheet {
namespace {

constexpr std::uint64_t kMebibyte = std::uint64_t{1} << 20;

std::size_t AsSize(std::uint64_t bytes) {
  return static_cast<std::size_t>(std::min<std::uint64_t>(bytes, SIZE_MAX));
}

}  // namespace

RunMemoryLimits MemoryLimitsFor(std::uint64_t availableBytes) {
  const std::uint64_t budget =
      std::clamp<std::uint64_t>(availableBytes / 4, 16 * kMebibyte, 256 * kMebibyte);
  const std::uint64_t spare = availableBytes > budget ? availableBytes - budget : 0;
  const std::uint64_t picture = std::max<std::uint64_t>(spare / 4, 64 * kMebibyte);
  return RunMemoryLimits{AsSize(budget), AsSize(picture), AsSize(budget)};
}

RunMemoryLimits CurrentMemoryLimits() { return MemoryLimitsFor(AvailableMemoryBytes()); }

}  // namespace picsheet
