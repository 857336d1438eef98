// The destination side of logging: an appender receives messages that a
// logger has already prefixed with their level. An appender detaches itself
// from every logger when it is destroyed, so no later call can reach it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lorvant {

enum TLogLevel : uint8_t {
  llDebug = 0,
  llInfo = 1,
  llWarn = 2,
  llError = 3,
  llFatal = 4,
};

class TLogger;

class TLogAppender {
 public:
  TLogAppender() = default;
  TLogAppender(const TLogAppender&) = delete;
  TLogAppender& operator=(const TLogAppender&) = delete;
  virtual ~TLogAppender();

  TLogLevel Level = llDebug;  // messages at this level or above are appended

  void SetLevelDebug() { Level = llDebug; }
  void SetLevelInfo() { Level = llInfo; }
  void SetLevelError() { Level = llError; }

  // Receives one message, already prefixed by the logger.
  virtual void Append(const std::string& text) = 0;

 private:
  friend class TLogger;
  std::vector<TLogger*> attached_;  // loggers that hold this appender
};

}  // namespace lorvant
