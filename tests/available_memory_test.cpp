// The memory a run may count on: the control groups' limits beside the system's, and the run's
// budget and answer limits drawn from it.
#include "base/available_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/core/memory_budget.h"
#include "tests/testkit/temp_dir.h"

namespace picsheet {
namespace {

constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(AvailableMemoryTest, TheTightestControlGroupOnTheWayToTheRootCounts) {
  struct File {
    std::string path;  // below the fake root
    std::string text;
  };
  const struct {
    const char* what;
    std::string cgroup;  // the process's /proc/PID/cgroup
    std::vector<File> files;
    std::optional<std::uint64_t> room;
  } cases[] = {
      {"v2, a limit on the process's group",
       "0::/app/run\n",
       {{"sys/fs/cgroup/app/run/memory.max", "3000\n"},
        {"sys/fs/cgroup/app/run/memory.current", "1000\n"}},
       2000},
      {"v2, the parent is tighter",
       "0::/app/run\n",
       {{"sys/fs/cgroup/app/run/memory.max", "max\n"},
        {"sys/fs/cgroup/app/memory.max", "1500\n"},
        {"sys/fs/cgroup/app/memory.current", "1000\n"}},
       500},
      {"v2 beside v1 controllers",
       "0::/run\n",
       {{"sys/fs/cgroup/unified/run/memory.max", "4000\n"},
        {"sys/fs/cgroup/unified/run/memory.current", "500\n"}},
       3500},
      {"v1 memory controller",
       "4:memory:/job\n0::/\n",
       {{"sys/fs/cgroup/memory/job/memory.limit_in_bytes", "8000\n"},
        {"sys/fs/cgroup/memory/job/memory.usage_in_bytes", "6000\n"}},
       2000},
      {"v1 without a limit",
       "4:cpu,memory:/job\n",
       {{"sys/fs/cgroup/memory/job/memory.limit_in_bytes", "9223372036854771712\n"},
        {"sys/fs/cgroup/memory/job/memory.usage_in_bytes", "6000\n"}},
       std::nullopt},
      {"over the limit already",
       "0::/full\n",
       {{"sys/fs/cgroup/full/memory.max", "1000\n"},
        {"sys/fs/cgroup/full/memory.current", "1200\n"}},
       0},
      {"no group files at all", "0::/gone\n", {}, std::nullopt},
  };
  for (const auto& c : cases) {
    testkit::TempDir root;
    testkit::WriteFileBytes(root.File("cgroup"), c.cgroup);
    for (const File& file : c.files) {
      std::filesystem::create_directories(
          std::filesystem::path(root.File(file.path)).parent_path());
      testkit::WriteFileBytes(root.File(file.path), file.text);
    }
    EXPECT_EQ(ControlGroupMemoryRoom(root.path(), root.File("cgroup")), c.room) << c.what;
  }
}

TEST(AvailableMemoryTest, TheRunsLimitsFollowWhatTheMachineCanGive) {
  const struct {
    std::uint64_t available;
    std::uint64_t budget, picture;
  } cases[] = {
      {24 * 1024 * kMiB, 256 * kMiB, (24 * 1024 - 256) * kMiB / 4},
      {3000 * kMiB, 256 * kMiB, (3000 - 256) * kMiB / 4},
      {400 * kMiB, 100 * kMiB, 75 * kMiB},
      {40 * kMiB, 16 * kMiB, 64 * kMiB},
  };
  for (const auto& c : cases) {
    const RunMemoryLimits limits = MemoryLimitsFor(c.available);
    EXPECT_EQ(limits.budgetBytes, c.budget) << c.available;
    EXPECT_EQ(limits.pictureBytes, c.picture) << c.available;
    EXPECT_EQ(limits.pageBytes, c.budget) << c.available;
  }
}

}  // namespace
}  // namespace picsheet
