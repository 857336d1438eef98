// Remembers each file's line count for the rest of the process, keyed on
// the file's name, its last-write time at full resolution and its size, so
// an unchanged file is counted once and any change is noticed. Only a count
// that read the whole file is ever kept, and none for a file reporting size
// 0 (its size may hide bytes).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "os/Env.h"

namespace lorvant {

class TFileLineCountCache {
 public:
  TFileLineCountCache() = delete;

  // The line count of file_name, counted afresh when the name is new or
  // the file's time or size changed. A file that cannot be opened or read
  // counts 0, and that 0 is not kept.
  static int64_t GetLineCount(const std::string& file_name);
  // The same, but false (and *count untouched) when the file could not be
  // opened or read to its end, or *cancel turned true while counting.
  static bool TryGetLineCount(const std::string& file_name, int64_t* count,
                              const std::atomic<bool>* cancel = nullptr);
  // The kept count for file_name whose time and size are those of info
  // (for instance an open file's); false when there is none.
  static bool Lookup(const std::string& file_name, const FileInfo& info, int64_t* count);
  // Keeps count as the whole-file count of file_name as info describes it.
  static void Store(const std::string& file_name, const FileInfo& info, int64_t count);
  // How many times GetLineCount had to count (for tests and diagnostics).
  static int64_t CountsMade();
};

}  // namespace lorvant
