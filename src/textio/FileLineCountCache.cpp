#include "textio/FileLineCountCache.h"

#include <mutex>
#include <unordered_map>

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

bool TFileLineCountCache::Lookup(const std::string& file_name, const FileInfo& info,
                                 int64_t* count) {
  if (!info.exists || info.size == 0) return false;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.mutex);
  auto it = cache.entries.find(file_name);
  if (it == cache.entries.end() || it->second.mtime_ns != info.mtime_ns ||
      it->second.size != info.size) {
    return false;
  }
  *count = it->second.count;
  return true;
}

void TFileLineCountCache::Store(const std::string& file_name, const FileInfo& info, int64_t count) {
  // A size of 0 says nothing: the kernel's own files report it whatever
  // they hold, and change without a new time.
  if (!info.exists || info.size == 0) return;
  Cache& cache = TheCache();
  std::lock_guard<std::mutex> guard(cache.mutex);
  cache.entries[file_name] = Entry{info.mtime_ns, info.size, count};
}

int64_t TFileLineCountCache::GetLineCount(const std::string& file_name) {
  int64_t count = 0;
  return TryGetLineCount(file_name, &count) ? count : 0;
}

bool TFileLineCountCache::TryGetLineCount(const std::string& file_name, int64_t* result,
                                          const std::atomic<bool>* cancel) {
  int64_t count = 0;
  if (Lookup(file_name, Env::Default()->Stat(file_name), &count)) {
    *result = count;
    return true;
  }
  // The key is what the counter saw through its own open file, so a file
  // replaced between the two looks is never credited with another's count.
  FileInfo counted;
  TTxtFileLineCounter counter(file_name);
  counter.Cancel = cancel;
  const bool whole = counter.TryCount(&count, &counted);
  {
    std::lock_guard<std::mutex> guard(TheCache().mutex);
    ++TheCache().counts_made;
    if (!whole) TheCache().entries.erase(file_name);
  }
  if (!whole) return false;
  Store(file_name, counted, count);
  *result = count;
  return true;
}

int64_t TFileLineCountCache::CountsMade() {
  std::lock_guard<std::mutex> guard(TheCache().mutex);
  return TheCache().counts_made;
}

}  // namespace lorvant
