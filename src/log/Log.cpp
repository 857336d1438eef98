#include "log/Log.h"

#include <strings.h>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace lorvant {
namespace {

struct Registry {
  Registry() {
    debug_log.MaxSize = 0x80000;
    debug_log.SetLevelDebug();
    loggers.emplace_back("Global", std::make_unique<TLogger>());
    loggers.back().second->AddAppender(&debug_log);
  }
  // Loggers go first (they detach their appenders), the debug log last.
  ~Registry() { loggers.clear(); }

  std::mutex mutex;
  TMemoryLogAppender debug_log;
  std::vector<std::pair<std::string, std::unique_ptr<TLogger>>> loggers;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

TLogger* TLog::GetLogger(const std::string& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.mutex);
  for (auto& [key, logger] : r.loggers) {
    if (::strcasecmp(key.c_str(), name.c_str()) == 0) return logger.get();
  }
  r.loggers.emplace_back(name, std::make_unique<TLogger>());
  return r.loggers.back().second.get();
}

TLogger* TLog::Global() { return GetLogger("Global"); }

TMemoryLogAppender* TLog::DebugLog() { return &TheRegistry().debug_log; }

}  // namespace lorvant
