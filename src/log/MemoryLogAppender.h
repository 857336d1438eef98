// Keeps log lines in memory (the debug log the viewer shows, the error log
// that tells whether a run logged errors), trimmed to a size now and then.
// A split logs from its worker thread while the window reads: every
// operation takes the appender's lock.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "log/LogAppender.h"

namespace lorvant {

class TMemoryLogAppender : public TLogAppender {
 public:
  TMemoryLogAppender() = default;

  int32_t MaxSize = 0;  // characters the text may keep; 0 = no limit

  // Adds "yyyy-mm-dd hh:mm:ss:zzz" + tab + text as a line, then trims.
  void Append(const std::string& text) override;
  // All lines, each followed by CR LF.
  std::string GetText() const;
  // Removes all lines.
  void Clear();
  // A copy of the lines.
  std::vector<std::string> Lines() const;

 private:
  // Every 1001st append: cut the text to its last MaxSize characters,
  // marked by a leading "......".
  void TrimToMaxSize();

  std::string TextLocked() const;

  mutable std::mutex mutex_;
  int32_t append_count_ = 0;
  std::vector<std::string> lines_;
};

}  // namespace lorvant
