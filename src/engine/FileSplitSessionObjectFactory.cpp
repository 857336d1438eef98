#include "engine/FileSplitSessionObjectFactory.h"

#include "engine/FileSplitSessionExecutor.h"
#include "engine/LogConvertOutputer.h"
#include "fs/FileUtil.h"
#include "tasks/FileSplitSession.h"

namespace lorvant {

bool TFileSplitSessionObjectFactory::IsSessionFile(const std::string& file_name) const {
  return ExtractFileExt(file_name) == ".sft";
}

std::unique_ptr<TTaskSession> TFileSplitSessionObjectFactory::CreateSession(
    const std::string& file_name) {
  if (!IsSessionFile(file_name)) return nullptr;
  auto session = std::make_unique<TFileSplitSession>();
  session->LoadFromFile(file_name);
  return session;
}

std::unique_ptr<TSessionExecutor> TFileSplitSessionObjectFactory::CreateExecutor(
    const std::string& file_name) {
  if (!IsSessionFile(file_name)) return nullptr;
  return std::make_unique<TFileSplitSessionExecutor>();
}

std::unique_ptr<TOutputer> TFileSplitSessionObjectFactory::CreateOutputer(
    const std::string& /*task_file_name*/, const std::string& log_file_name) {
  auto outputer = std::make_unique<TLogConvertOutputer>();
  outputer->SetLogFileName(log_file_name);
  return outputer;
}

}  // namespace lorvant
