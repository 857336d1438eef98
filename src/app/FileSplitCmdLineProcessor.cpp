#include "app/FileSplitCmdLineProcessor.h"

#include <cstdio>

#include "app/ConsoleProgressOutputer.h"
#include "base/Exception.h"
#include "engine/Outputer.h"
#include "engine/SessionExecutor.h"
#include "engine/SessionObjectFactory.h"
#include "fs/FileUtil.h"
#include "tasks/TaskSession.h"

namespace lorvant {

int ExecuteSession(TSessionExecutor& executor, TTaskSession& session, TOutputer& outputer,
                   TLogger& logger) {
  executor.SetSession(&session);
  executor.SetOutputer(&outputer);
  try {
    if (!executor.Execute()) return 1;
    return executor.FailedRecords() > 0 ? 2 : 0;
  } catch (const Exception& e) {
    logger.Error("Exception on Execute Task.");
    logger.Error(e.Message());
    return 1;
  }
}

bool TFileSplitCmdLineProcessor::ProcessParams() {
  TaskFileName = ParamValue("task");
  if (!TaskFileName.empty()) RunTask();
  return true;
}

void TFileSplitCmdLineProcessor::RunTask() {
  if (!FileExists(TaskFileName)) {
    Logger->Error("task file: " + TaskFileName + " not exists.");
    ExitCode = 1;
    return;
  }
  Logger->Info(TaskFileName);
  if (!Factory->IsSessionFile(TaskFileName)) {
    Logger->Error("invalid task file.");
    ExitCode = 1;
    return;
  }
  std::unique_ptr<TTaskSession> session = Factory->CreateSession(TaskFileName);
  // The log outputer of the run, which also says on standard error why
  // the run or a line failed (and nothing when all is well).
  TConsoleProgressOutputer outputer(stderr, false, TConsoleProgressOutputer::Shown::kFailures);
  outputer.SetLogFileName(LogFileName);
  std::unique_ptr<TSessionExecutor> executor = Factory->CreateExecutor(TaskFileName);
  Logger->Info(session->GetDescription());
  ExitCode = ExecuteSession(*executor, *session, outputer, *Logger);
}

}  // namespace lorvant
