#include "engine/Outputer.h"

#include "infra/FileLogAppender.h"

namespace lorvant {

void TOutputer::Output(const std::string& text) { WriteLogLine(LogFileName, text); }

}  // namespace lorvant
