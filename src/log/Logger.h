// A named logger: formats a message with its level prefix and hands it to
// each appender whose threshold the level reaches, in the order added.
// Loggers never own their appenders.
#pragma once

#include <string>
#include <vector>

#include "log/LogAppender.h"

namespace lorvant {

class TLogger {
 public:
  TLogger() = default;
  TLogger(const TLogger&) = delete;
  TLogger& operator=(const TLogger&) = delete;
  ~TLogger();

  // Appends to the list; no test for duplicates.
  void AddAppender(TLogAppender* appender);
  // Removes every occurrence; called by an appender that is destroyed.
  void RemoveAppender(TLogAppender* appender);
  int AppenderCount() const { return static_cast<int>(appenders_.size()); }

  // An appender's exception ends the loop and reaches the caller.
  void Log(TLogLevel level, const std::string& text);
  void Debug(const std::string& text) { Log(llDebug, text); }
  void Info(const std::string& text) { Log(llInfo, text); }
  void Error(const std::string& text) { Log(llError, text); }

  // The level's prefix ("[error]\t") followed by text.
  static std::string FormatMessage(TLogLevel level, const std::string& text);

 private:
  std::vector<TLogAppender*> appenders_;
};

}  // namespace lorvant
