// Counts the lines of a text file from its raw bytes, without decoding:
// line ends are LF, CR LF and lone CR in the file's code units (TextLayout),
// plus one for a last line without line end, the same lines the block
// reader delivers.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "os/Env.h"

namespace lorvant {

class TTxtFileLineCounter {
 public:
  static constexpr size_t kChunkSize = 1 << 20;

  explicit TTxtFileLineCounter(std::string file_name, size_t chunk_size = kChunkSize)
      : FileName(std::move(file_name)),
        chunk_size_(chunk_size < 16 ? 16 : chunk_size & ~size_t{1}) {}
  TTxtFileLineCounter(const TTxtFileLineCounter&) = delete;
  TTxtFileLineCounter& operator=(const TTxtFileLineCounter&) = delete;

  const std::string FileName;
  // When set, TryCount gives up (returns false) once *Cancel turns true.
  const std::atomic<bool>* Cancel = nullptr;

  // The number of lines; 0 when the file cannot be opened or read.
  int64_t Count();
  // Counts the whole file into *lines and, when info is given, the open
  // file's identity, time and size into *info; false (nothing counted) when
  // the file cannot be opened or a read fails.
  bool TryCount(int64_t* lines, FileInfo* info = nullptr);
  static int64_t CountLines(const std::string& file_name) {
    return TTxtFileLineCounter(file_name).Count();
  }

 private:
  const size_t chunk_size_;
};

// The uncached line count of a file (TTxtFileLineCounter::CountLines).
inline int64_t GetFileLineCount(const std::string& file_name) {
  return TTxtFileLineCounter::CountLines(file_name);
}

}  // namespace lorvant
