// Runs the split task file named by the "task" parameter and logs the run
// to the "logfile" file.
#pragma once

#include "app/CmdLineProcessor.h"

namespace lorvant {

class TFileSplitCmdLineProcessor : public TCmdLineProcessor {
 public:
  using TCmdLineProcessor::TCmdLineProcessor;

  std::string TaskFileName;

  // Reads "task" and, when given, runs it; returns true.
  bool ProcessParams() override;
  // Checks the task file, runs it through the factory's objects, logs.
  void RunTask();
};

}  // namespace lorvant
