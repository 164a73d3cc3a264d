// Runs a program to its end and captures what it wrote, for end-to-end tests of picsheet-cli.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace picsheet::testkit {

struct ProcessResult {
  int exitCode = -1;  // the exit status, or 128 + signal when killed
  std::string out;
  std::string err;
  double seconds = 0;     // wall-clock time from start to end
  long peakKb = 0;        // the child's peak resident memory
  double cpuSeconds = 0;  // the child's user + system time, and that of the children it waited for
};

// Runs program with args in folder cwd (the test's own when empty); stdin is /dev/null.
// whileRunning, when given, gets the child's pid on a thread of its own while the output is read
// (to signal it, for instance); it is waited for before the child is reaped.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::string& cwd = "",
                         const std::function<void(pid_t)>& whileRunning = {});

// RunProcess inside a memory control group of its own below this process's, limited to
// limitBytes as a container of that much memory is, and removed afterwards; nullopt where the
// machine allows none (not root, no memory controller).
std::optional<ProcessResult> RunInMemoryContainer(std::uint64_t limitBytes,
                                                  const std::string& program,
                                                  const std::vector<std::string>& args);

// Runs check(i) for i = 0 .. count - 1 in count forked copies of this process at once (for
// concurrent writers, resource limits or user ids that must not touch the test itself) and returns
// each one's answer: "" when it passed, else what went wrong, also when it threw or died.
std::vector<std::string> RunInChildren(int count, const std::function<std::string(int)>& check);

}  // namespace picsheet::testkit
