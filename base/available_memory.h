// How much memory this process can still be given, for limits that must fit in it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace picsheet {

// Bytes this process can be given without swapping or being killed: the smaller of the system's
// MemAvailable (else its physical memory) and the room left under the memory limits of the
// process's control groups; UINT64_MAX when none of these is known.
std::uint64_t AvailableMemoryBytes();

// The room left under the memory limits of the control groups a process belongs to: for each
// group from the process's own up to the root that has a limit, the limit less the group's usage;
// the smallest of these. rootFolder is "/" but for tests; procCgroupFile is the process's
// /proc/PID/cgroup. Empty when no group has a limit (or none can be read). Both cgroup v2
// (memory.max, memory.current) and v1 (memory.limit_in_bytes, memory.usage_in_bytes) count.
std::optional<std::uint64_t> ControlGroupMemoryRoom(const std::string& rootFolder,
                                                    const std::string& procCgroupFile);

}  // namespace picsheet
