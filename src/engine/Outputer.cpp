#include "engine/Outputer.h"

#include "log/FileLogAppender.h"

namespace lorvant {

void TOutputer::Output(const std::string& text) { WriteLogLine(LogFileName, text); }

}  // namespace lorvant
