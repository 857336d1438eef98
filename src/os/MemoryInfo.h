// How much file data the page cache can hold for this process: the memory
// the system has available, less where a memory control group caps it.
// A file larger than that cannot stay cached whatever the reader does.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lorvant {

// Reads a whole file by name; throws an Exception when it cannot.
using FileTextReader = std::function<std::string(const std::string& name)>;

// The smaller of MemAvailable in /proc/meminfo and the memory limits of
// this process's control group and its parents (cgroup v2 memory.max, v1
// memory.limit_in_bytes); INT64_MAX when none of them can be read.
int64_t MemoryForCaching();
// The same, reading /proc and the control group files through read.
int64_t MemoryForCaching(const FileTextReader& read);

}  // namespace lorvant
