#include "log/Logger.h"

#include <algorithm>

namespace lorvant {

TLogAppender::~TLogAppender() {
  // Copy: RemoveAppender edits attached_.
  std::vector<TLogger*> loggers = attached_;
  for (TLogger* logger : loggers) logger->RemoveAppender(this);
}

TLogger::~TLogger() {
  for (TLogAppender* a : appenders_) std::erase(a->attached_, this);
}

void TLogger::AddAppender(TLogAppender* appender) {
  appenders_.push_back(appender);
  appender->attached_.push_back(this);
}

void TLogger::RemoveAppender(TLogAppender* appender) {
  std::erase(appenders_, appender);
  std::erase(appender->attached_, this);
}

void TLogger::Log(TLogLevel level, const std::string& text) {
  const size_t count = appenders_.size();
  for (size_t i = 0; i < count && i < appenders_.size(); ++i) {
    TLogAppender* appender = appenders_[i];
    if (level >= appender->Level) appender->Append(FormatMessage(level, text));
  }
}

std::string TLogger::FormatMessage(TLogLevel level, const std::string& text) {
  switch (level) {
    case llInfo:
      return "[info]\t" + text;
    case llWarn:
      return "[warn]\t" + text;
    case llError:
      return "[error]\t" + text;
    case llFatal:
      return "[fatal]\t" + text;
    default:
      return "[debug]\t" + text;
  }
}

}  // namespace lorvant
