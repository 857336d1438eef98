// Makes the session, executor and outputer for a task file by its name, so
// the command line can run a task file without knowing its kind.
#pragma once

#include <memory>
#include <string>

namespace lorvant {

class TOutputer;
class TSessionExecutor;
class TTaskSession;

class TSessionObjectFactory {
 public:
  TSessionObjectFactory() = default;
  virtual ~TSessionObjectFactory() = default;
  TSessionObjectFactory(const TSessionObjectFactory&) = delete;
  TSessionObjectFactory& operator=(const TSessionObjectFactory&) = delete;

  virtual bool IsSessionFile(const std::string& file_name) const = 0;
  // A session loaded from file_name; null for a name IsSessionFile refuses.
  virtual std::unique_ptr<TTaskSession> CreateSession(const std::string& file_name) = 0;
  // null for a name IsSessionFile refuses.
  virtual std::unique_ptr<TSessionExecutor> CreateExecutor(const std::string& file_name) = 0;
  virtual std::unique_ptr<TOutputer> CreateOutputer(const std::string& task_file_name,
                                                    const std::string& log_file_name) = 0;
};

}  // namespace lorvant
