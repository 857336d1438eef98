// The factory for split task files (".sft", letter case included).
#pragma once

#include "engine/SessionObjectFactory.h"

namespace lorvant {

class TFileSplitSessionObjectFactory : public TSessionObjectFactory {
 public:
  bool IsSessionFile(const std::string& file_name) const override;
  // A TFileSplitSession after LoadFromFile (which updates the saved-task list).
  std::unique_ptr<TTaskSession> CreateSession(const std::string& file_name) override;
  std::unique_ptr<TSessionExecutor> CreateExecutor(const std::string& file_name) override;
  // A TLogConvertOutputer writing to log_file_name.
  std::unique_ptr<TOutputer> CreateOutputer(const std::string& task_file_name,
                                            const std::string& log_file_name) override;
};

}  // namespace lorvant
