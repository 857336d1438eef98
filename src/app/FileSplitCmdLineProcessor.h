// Runs the split task file named by the "task" parameter and logs the run
// to the "logfile" file.
#pragma once

#include "app/CmdLineProcessor.h"

namespace lorvant {

class TOutputer;
class TSessionExecutor;
class TTaskSession;

// Runs session through executor, reported on outputer; an exception the
// executor lets out goes to logger. Returns the exit code: 0 done, 1 the run
// failed, 2 it ended with failed records.
int ExecuteSession(TSessionExecutor& executor, TTaskSession& session, TOutputer& outputer,
                   TLogger& logger);

class TFileSplitCmdLineProcessor : public TCmdLineProcessor {
 public:
  using TCmdLineProcessor::TCmdLineProcessor;

  std::string TaskFileName;

  // Reads "task" and, when given, runs it; returns true.
  bool ProcessParams() override;
  // Checks the task file, runs it through the factory's session and
  // executor, logs (and says on standard error why it failed, if it did).
  void RunTask();
};

}  // namespace lorvant
