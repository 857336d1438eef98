// The process-wide registry of named loggers. It exists from the first use
// on and attaches the debug memory log to "Global" before anything can log.
#pragma once

#include <string>

#include "log/Logger.h"
#include "log/MemoryLogAppender.h"

namespace lorvant {

class TLog {
 public:
  TLog() = delete;

  // The logger registered under name (case-insensitive); made on a miss.
  static TLogger* GetLogger(const std::string& name);
  // GetLogger("Global").
  static TLogger* Global();
  // The debug memory log on "Global": threshold debug, 524288 characters.
  static TMemoryLogAppender* DebugLog();
};

}  // namespace lorvant
