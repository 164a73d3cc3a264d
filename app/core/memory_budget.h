// How much memory a run lets its picture answers use.
#pragma once

#include <cstddef>

namespace picsheet {

// The longest answer body one picture may have: a quarter of the memory the system can hand out
// besides aheadBudgetBytes (the bodies downloaded ahead), since the picture being converted, the
// next one arriving and the growth of its buffer share the rest; at least 64 MiB.
std::size_t AnswerLimitBytes(std::size_t aheadBudgetBytes);

}  // namespace picsheet
