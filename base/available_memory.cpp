// AvailableMemoryBytes from /proc/meminfo and the process's control groups.
#include "base/available_memory.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

namespace picsheet {
namespace {

// Lowers bound to found, when there is a found.
void KeepSmaller(std::optional<std::uint64_t>& bound, std::optional<std::uint64_t> found) {
  if (found) bound = bound ? std::min(*bound, *found) : *found;
}

std::optional<std::uint64_t> SystemAvailableBytes() {
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
  if (pages <= 0 || pageSize <= 0) return std::nullopt;
  return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
}

// A number file of a control group; empty for "max", a missing file or anything else.
std::optional<std::uint64_t> ReadNumber(const std::string& path) {
  std::ifstream file(path);
  std::uint64_t value = 0;
  if (!(file >> value)) return std::nullopt;
  return value;
}

// The room under the limit of each group from folder up to mountRoot, the smallest.
std::optional<std::uint64_t> RoomUpTheTree(const std::string& mountRoot, std::string group,
                                           const char* limitName, const char* usageName) {
  std::optional<std::uint64_t> room;
  for (;;) {
    const std::string folder = mountRoot + group;
    const std::optional<std::uint64_t> limit = ReadNumber(folder + "/" + limitName);
    // cgroup v1 writes "no limit" as a huge number near 2^63.
    if (limit && *limit < (std::uint64_t{1} << 62)) {
      const std::uint64_t usage = ReadNumber(folder + "/" + usageName).value_or(0);
      KeepSmaller(room, *limit > usage ? *limit - usage : 0);
    }
    if (group.empty() || group == "/") break;
    const std::size_t slash = group.rfind('/');
    group = slash == std::string::npos || slash == 0 ? std::string() : group.substr(0, slash);
  }
  return room;
}

}  // namespace

std::optional<std::uint64_t> ControlGroupMemoryRoom(const std::string& rootFolder,
                                                    const std::string& procCgroupFile) {
  std::string root = rootFolder;
  if (!root.empty() && root.back() == '/') root.pop_back();
  std::ifstream cgroups(procCgroupFile);
  std::string line;
  std::optional<std::uint64_t> room;
  while (std::getline(cgroups, line)) {
    // "ID:CONTROLLERS:PATH"; v2's line is "0::PATH", v1's memory line names "memory".
    const std::size_t first = line.find(':');
    const std::size_t second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty()) {
      // The unified hierarchy: at the mount point itself, or below it beside v1's controllers.
      for (const char* mount : {"/sys/fs/cgroup", "/sys/fs/cgroup/unified"}) {
        KeepSmaller(room, RoomUpTheTree(root + mount, path, "memory.max", "memory.current"));
      }
    } else {
      std::istringstream names(controllers);
      std::string name;
      while (std::getline(names, name, ',')) {
        if (name == "memory") {
          KeepSmaller(room, RoomUpTheTree(root + "/sys/fs/cgroup/memory", path,
                                          "memory.limit_in_bytes", "memory.usage_in_bytes"));
        }
      }
    }
  }
  return room;
}

std::uint64_t AvailableMemoryBytes() {
  std::optional<std::uint64_t> available = SystemAvailableBytes();
  KeepSmaller(available, ControlGroupMemoryRoom("/", "/proc/self/cgroup"));
  return available.value_or(UINT64_MAX);
}

}  // namespace picsheet
