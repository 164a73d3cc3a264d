// How much memory the system can hand out, for limits that must fit in it.
#pragma once

#include <cstdint>

namespace picsheet {

// Bytes the system can hand out without swapping: MemAvailable of /proc/meminfo, else the
// physical memory; UINT64_MAX when neither is known.
std::uint64_t AvailableMemoryBytes();

}  // namespace picsheet
