// Remembers each file's line count for the rest of the process, keyed on
// the file's name, its last-write time at full resolution and its size, so
// an unchanged file is counted once and any change is noticed.
#pragma once

#include <cstdint>
#include <string>

namespace lorvant {

class TFileLineCountCache {
 public:
  TFileLineCountCache() = delete;

  // The line count of file_name, counted afresh when the name is new or
  // the file's time or size changed. A file that cannot be opened counts 0.
  static int64_t GetLineCount(const std::string& file_name);
  // How many times GetLineCount had to count (for tests and diagnostics).
  static int64_t CountsMade();
};

}  // namespace lorvant
