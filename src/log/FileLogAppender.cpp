#include "log/FileLogAppender.h"

#include <mutex>

#include "os/Clock.h"
#include "os/Env.h"

namespace lorvant {

void WriteLogLine(const std::string& file_name, const std::string& text) {
  if (file_name.empty()) return;
  static std::mutex log_file_lock;
  std::lock_guard<std::mutex> guard(log_file_lock);
  std::string line = "[" + FormatLogTimestamp(LocalNow()) + "] " + text + "\r\n";
  auto file = Env::Default()->OpenForAppend(file_name);
  file->Append(line.data(), line.size());
  file->Close();
}

}  // namespace lorvant
