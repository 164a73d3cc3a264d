// Report: one aligned line per figure, so the benchmarks' output reads as one table.
#include "bench/bench_report.h"

#include <cstdio>
#include <string_view>

namespace picsheet::bench {

bool Report(const std::string& what, double value, const char* relation, double target,
            const char* unit) {
  const bool met = std::string_view(relation) == ">=" ? value >= target : value <= target;
  std::printf("  %-56s %9.2f %-3s (target %s %.2f) %s\n", what.c_str(), value, unit, relation,
              target, met ? "met" : "MISSED");
  return met;
}

}  // namespace picsheet::bench
