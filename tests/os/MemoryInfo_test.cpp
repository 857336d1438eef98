#include "os/MemoryInfo.h"

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "base/Exception.h"

namespace lorvant {
namespace {

constexpr int64_t kMiB = 1 << 20;

TEST(MemoryInfoTest, TheTightestOfAvailableMemoryAndTheGroupLimits) {
  const std::string meminfo =
      "MemTotal:       24684032 kB\nMemFree:        23000000 kB\nMemAvailable:    2097152 kB\n";
  const std::string v1_mounts =
      "cgroup /sys/fs/cgroup/cpu cgroup rw,cpu,cpuacct 0 0\n"
      "cgroup /sys/fs/cgroup/memory cgroup rw,nosuid,memory 0 0\n";
  const std::string v2_mounts = "cgroup2 /sys/fs/cgroup cgroup2 rw,nosuid 0 0\n";
  struct Case {
    const char* what;
    std::map<std::string, std::string> files;
    int64_t room;
  } cases[] = {
      {"nothing readable", {}, INT64_MAX},
      {"available memory only", {{"/proc/meminfo", meminfo}}, 2048 * kMiB},
      {"a v2 group's parent is the tightest; its own says max",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/mounts", v2_mounts},
        {"/proc/self/cgroup", "0::/user/job\n"},
        {"/sys/fs/cgroup/user/job/memory.max", "max\n"},
        {"/sys/fs/cgroup/user/memory.max", "134217728\n"}},
       128 * kMiB},
      {"a v2 group above available memory does not raise it",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/mounts", v2_mounts},
        {"/proc/self/cgroup", "0::/job\n"},
        {"/sys/fs/cgroup/job/memory.max", "8589934592\n"}},
       2048 * kMiB},
      {"a v1 memory controller shared with others, mounted under a blank",
       {{"/proc/self/mounts", "cgroup /sys/fs/my\\040cgroups cgroup rw,memory,hugetlb 0 0\n"},
        {"/proc/self/cgroup", "5:cpu:/other\n4:hugetlb,memory:/bench\n"},
        {"/sys/fs/my cgroups/bench/memory.limit_in_bytes", "67108864\n"},
        {"/sys/fs/my cgroups/memory.limit_in_bytes", "9223372036854771712\n"},
        {"/sys/fs/cgroup/cpu/other/memory.limit_in_bytes", "1\n"}},
       64 * kMiB},
      {"a group whose controller is not mounted",
       {{"/proc/meminfo", meminfo},
        {"/proc/self/mounts", v1_mounts},
        {"/proc/self/cgroup", "0::/job\n"},
        {"/sys/fs/cgroup/job/memory.max", "1048576\n"}},
       2048 * kMiB},
  };
  for (const Case& c : cases) {
    auto read = [&c](const std::string& name) {
      auto it = c.files.find(name);
      if (it == c.files.end()) throw Exception("Cannot open file \"" + name + "\".");
      return it->second;
    };
    EXPECT_EQ(MemoryForCaching(read), c.room) << c.what;
  }
}

}  // namespace
}  // namespace lorvant
