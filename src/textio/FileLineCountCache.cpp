#include "textio/FileLineCountCache.h"

#include <mutex>
#include <unordered_map>

#include "os/Env.h"
#include "textio/TxtFileLineCounter.h"

namespace lorvant {
namespace {

struct Entry {
  int64_t mtime_ns;
  int64_t size;
  int64_t count;
};

// Names are compared exactly: on this file system two names that differ
// only in case are two files.
struct Cache {
  std::mutex mutex;
  std::unordered_map<std::string, Entry> entries;
  int64_t counts_made = 0;
};

Cache& TheCache() {
  static Cache cache;
  return cache;
}

}  // namespace

int64_t TFileLineCountCache::GetLineCount(const std::string& file_name) {
  FileInfo info = Env::Default()->Stat(file_name);
  Cache& cache = TheCache();
  {
    std::lock_guard<std::mutex> guard(cache.mutex);
    auto it = cache.entries.find(file_name);
    if (it != cache.entries.end() && info.exists && it->second.mtime_ns == info.mtime_ns &&
        it->second.size == info.size) {
      return it->second.count;
    }
  }
  int64_t count = TTxtFileLineCounter::CountLines(file_name);
  std::lock_guard<std::mutex> guard(cache.mutex);
  ++cache.counts_made;
  if (info.exists) {
    cache.entries[file_name] = Entry{info.mtime_ns, info.size, count};
  } else {
    cache.entries.erase(file_name);
  }
  return count;
}

int64_t TFileLineCountCache::CountsMade() {
  std::lock_guard<std::mutex> guard(TheCache().mutex);
  return TheCache().counts_made;
}

}  // namespace lorvant
