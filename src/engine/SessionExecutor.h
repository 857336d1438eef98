// An executor joins a task session, a converter and an outputer for one
// run, catches whatever the run throws and reports it.
#pragma once

#include <cstdint>

namespace lorvant {

class TOutputer;
class TTaskSession;

class TSessionExecutor {
 public:
  TSessionExecutor() = default;
  virtual ~TSessionExecutor() = default;
  TSessionExecutor(const TSessionExecutor&) = delete;
  TSessionExecutor& operator=(const TSessionExecutor&) = delete;

  TTaskSession* Session = nullptr;  // not owned
  TOutputer* Outputer = nullptr;    // not owned

  virtual void SetSession(TTaskSession* session) { Session = session; }
  void SetOutputer(TOutputer* outputer) { Outputer = outputer; }
  // Runs the session: true when the run reached its end (also with failed
  // records or a stop), false when an exception ended it.
  virtual bool Execute() = 0;
  // Requests a stop before the next record.
  virtual void Stop() = 0;
  // Forgets a stop of an earlier run; call before Execute, never during it.
  virtual void ResetStop() = 0;
  // Records that failed in the last run.
  virtual int64_t FailedRecords() const = 0;
};

}  // namespace lorvant
