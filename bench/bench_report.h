// The lines the whole-run benchmarks print: a figure against its target, met or MISSED.
#pragma once

#include <string>

namespace picsheet::bench {

// Prints "  WHAT  VALUE UNIT  (target RELATION TARGET) met|MISSED" and returns whether the value
// meets the target; relation is "<=" or ">=".
bool Report(const std::string& what, double value, const char* relation, double target,
            const char* unit = "");

}  // namespace picsheet::bench
