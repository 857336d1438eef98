#include "app/CmdLineProcessor.h"

#include <strings.h>

#include "base/Exception.h"
#include "log/Log.h"
#include "textio/CharsetUtil.h"

namespace lorvant {

TCmdLineProcessor::TCmdLineProcessor(std::vector<std::string> process_params)
    : process_params_(std::move(process_params)) {}

TCmdLineProcessor::~TCmdLineProcessor() = default;

bool TCmdLineProcessor::Init() {
  if (process_params_.empty()) return false;
  Params = process_params_;
  LogFileName = ParamValue("logfile");
  Appender = std::make_unique<TFileLogAppender>(LogFileName);
  Appender->SetLevelInfo();
  Logger = TLog::GetLogger("cmdline");
  Logger->AddAppender(Appender.get());
  return true;
}

bool TCmdLineProcessor::Execute() {
  if (!Init()) return false;
  try {
    return ProcessParams();
  } catch (const Exception& e) {
    ExitCode = 1;
    try {
      Logger->Error(e.Message());
    } catch (const Exception&) {
      // The log file itself is what failed; standard error has said so.
    }
    return false;
  }
}

std::string TCmdLineProcessor::ParamValue(const std::string& name) const {
  for (const std::string& word : Params) {
    size_t eq = word.find('=');
    if (eq == std::string::npos) continue;
    if (eq == name.size() && ::strncasecmp(word.c_str(), name.c_str(), eq) == 0) {
      return TrimText(word.substr(eq + 1));
    }
  }
  return "";
}

}  // namespace lorvant
