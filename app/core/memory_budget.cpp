// AnswerLimitBytes from the memory the system can hand out.
#include "app/core/memory_budget.h"

#include <algorithm>
#include <cstdint>

#include "base/available_memory.h"

namespace picsheet {

std::size_t AnswerLimitBytes(std::size_t aheadBudgetBytes) {
  const std::uint64_t available = AvailableMemoryBytes();
  const std::uint64_t spare = available > aheadBudgetBytes ? available - aheadBudgetBytes : 0;
  const std::uint64_t limit = std::max<std::uint64_t>(spare / 4, std::uint64_t{64} << 20);
  return static_cast<std::size_t>(std::min<std::uint64_t>(limit, SIZE_MAX));
}

}  // namespace picsheet
