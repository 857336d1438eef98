#include "os/MemoryInfo.h"

#include <algorithm>
#include <sstream>
#include <vector>

#include "base/Exception.h"
#include "os/Env.h"

namespace lorvant {
namespace {

std::string ReadOrEmpty(const FileTextReader& read, const std::string& name) {
  try {
    return read(name);
  } catch (const Exception&) {
    return "";
  }
}

// A decimal number at the start of text (after blanks); -1 for none.
int64_t LeadingNumber(const std::string& text) {
  size_t i = text.find_first_not_of(" \t");
  if (i == std::string::npos || text[i] < '0' || text[i] > '9') return -1;
  int64_t n = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (n > (INT64_MAX - 9) / 10) return INT64_MAX;
    n = n * 10 + (text[i] - '0');
  }
  return n;
}

// Mount points are written with octal escapes for blanks.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                       std::all_of(field.data() + i + 1, field.data() + i + 4,
                                   [](char c) { return c >= '0' && c <= '7'; });
    if (octal) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                               (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

bool HasMemoryController(const std::string& list) {
  std::stringstream s(list);
  std::string item;
  while (std::getline(s, item, ',')) {
    if (item == "memory") return true;
  }
  return false;
}

struct Hierarchy {
  std::string mount;       // where it is mounted
  std::string path;        // this process's group in it
  std::string limit_file;  // the limit's file in each group
};

std::vector<Hierarchy> MemoryHierarchies(const FileTextReader& read) {
  std::string v2_mount, v1_mount;
  std::stringstream mounts(ReadOrEmpty(read, "/proc/self/mounts"));
  for (std::string line; std::getline(mounts, line);) {
    std::stringstream fields(line);
    std::string device, point, type, options;
    fields >> device >> point >> type >> options;
    if (type == "cgroup2" && v2_mount.empty()) v2_mount = Unescape(point);
    if (type == "cgroup" && v1_mount.empty() && HasMemoryController(options)) {
      v1_mount = Unescape(point);
    }
  }
  std::vector<Hierarchy> found;
  std::stringstream groups(ReadOrEmpty(read, "/proc/self/cgroup"));
  for (std::string line; std::getline(groups, line);) {
    const size_t first = line.find(':');
    const size_t second = first == std::string::npos ? first : line.find(':', first + 1);
    if (second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    const std::string path = line.substr(second + 1);
    if (line.compare(0, first, "0") == 0 && controllers.empty() && !v2_mount.empty()) {
      found.push_back({v2_mount, path, "memory.max"});
    } else if (HasMemoryController(controllers) && !v1_mount.empty()) {
      found.push_back({v1_mount, path, "memory.limit_in_bytes"});
    }
  }
  return found;
}

// The tightest limit on the group and the groups above it.
int64_t GroupLimit(const FileTextReader& read, const Hierarchy& h) {
  int64_t limit = INT64_MAX;
  std::string path = h.path;
  while (true) {
    while (!path.empty() && path.back() == '/') path.pop_back();
    const int64_t n = LeadingNumber(ReadOrEmpty(read, h.mount + path + "/" + h.limit_file));
    if (n >= 0) limit = std::min(limit, n);  // "max" or unreadable: no limit here
    const size_t slash = path.rfind('/');
    if (path.empty() || slash == std::string::npos) break;
    path.resize(slash);
  }
  return limit;
}

}  // namespace

int64_t MemoryForCaching(const FileTextReader& read) {
  int64_t room = INT64_MAX;
  std::stringstream meminfo(ReadOrEmpty(read, "/proc/meminfo"));
  for (std::string line; std::getline(meminfo, line);) {
    if (line.compare(0, 13, "MemAvailable:") != 0) continue;
    const int64_t kb = LeadingNumber(line.substr(13));
    if (kb >= 0 && kb < INT64_MAX / 1024) room = kb * 1024;
  }
  for (const Hierarchy& h : MemoryHierarchies(read)) room = std::min(room, GroupLimit(read, h));
  return room;
}

int64_t MemoryForCaching() { return MemoryForCaching(ReadWholeFile); }

}  // namespace lorvant
