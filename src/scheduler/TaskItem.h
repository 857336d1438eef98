// One scheduled task as the program sees it: name, actions, account,
// settings, run state and triggers, read from and written to the service's
// objects of either generation. Loaded with Activate, written back with
// Deactivate; made only by TTaskScheduler.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scheduler/SchedTime.h"
#include "scheduler/TaskService.h"
#include "scheduler/Triggers.h"
#include "scheduler/WorkItemScheduler.h"

namespace lorvant {

class TTaskScheduler;

enum TTaskPriority : uint8_t { tpIdle, tpNormal, tpHigh, tpRealTime };
enum TTaskStatus : uint8_t {
  tsReady,
  tsRunning,
  tsDisabled,
  tsHasNotRun,
  tsNoMoreRuns,
  tsNotScheduled,
  tsTerminated,
  tsNoValidTriggers,
  ts2Unknown,
  ts2Disabled,
  ts2Queued,
  ts2Ready,
  ts2Running
};
enum TTaskFlag : uint8_t {
  tfInteractive,
  tfDeleteWhenDone,
  tfDisabled,
  tfHidden,
  tfRunOnlyIfLoggedOn,
  tfStartOnlyIfIdle,
  tfSystemRequired,
  tfKillOnIdleEnd,
  tfRestartOnIdleResume,
  tfDontStartIfOnBatteries,
  tfKillIfGoingOnBatteries,
  tfRunIfConnectedToInternet
};
using TTaskFlags = uint16_t;  // bit n for member n
enum TTaskVistaFlag : uint8_t {
  tfvAllowDemandStart,
  tfvAllowHardTerminate,
  tfvDisallowStartIfOnBatteries,
  tfvStopIfGoingOnBatteries,
  tfvEnabled,
  tfvHidden,
  tfvRunOnlyIfIdle,
  tfvStopOnIdleEnd,
  tfvRestartOnIdle,
  tfvRunOnlyIfNetworkAvailable,
  tfvStartWhenAvailable,
  tfvWakeToRun,
  tfvNeedLogon
};
using TTaskVistaFlags = uint16_t;  // bit n for member n
enum TTaskInstancesPolicy : uint8_t { tipParallel, tipQueue, tipIgnoreNew, tipStopExisting };
struct TIdleTime {
  uint16_t wIdleMinutes = 0;
  uint16_t wDeadlineMinutes = 0;
};

constexpr TTaskFlags FlagOf(TTaskFlag f) { return static_cast<TTaskFlags>(1u << f); }
constexpr TTaskVistaFlags VistaFlagOf(TTaskVistaFlag f) {
  return static_cast<TTaskVistaFlags>(1u << f);
}

class TTaskItem {
 public:
  explicit TTaskItem(TTaskScheduler* manager);
  ~TTaskItem();
  TTaskItem(const TTaskItem&) = delete;
  TTaskItem& operator=(const TTaskItem&) = delete;

  // Loads the task: the work item (first generation; ESchedulerError
  // "Could not activate "%s" task." when refused) and the triggers.
  void Activate();
  // Writes the task back when asked (first generation only when it
  // changed; second generation registers the definition) and, in the first
  // generation, lets go of the work item.
  void Deactivate(bool save_changes);
  // "" when Deactivate(true) would save the task as it stands; else the
  // reason, to show before anything is written. Stores nothing.
  std::string CheckDefinition();
  // Starts the task now; needs the task on the service.
  void Run();
  // The account the task runs under; the second generation registers the
  // task at once ("" and "" run it as "System", here the current user).
  void SetAccountInformation(const std::string& account, const std::string& password);
  void InsertAction(int type);
  void RemoveAction(int index);
  // The kinds ("Start a programm", "Send e-mail", "Display message") and
  // descriptions of the registered task's actions, line for line.
  void GetTasksLists(std::vector<std::string>* descriptions, std::vector<std::string>* kinds);
  // ExecutionTimeLimit, RestartInterval, RestartCount,
  // DeleteExpiredTaskAfter, idle WaitTimeout, idle IdleDuration.
  std::vector<std::string> GetTimeProperties();
  // Throws ETaskError when the restart count is not a number.
  void SetTimeProperties(const std::vector<std::string>& values);
  // The free data appended to *stream / stored from bytes.
  void GetBinaryData(std::string* stream);
  void SetBinaryData(const std::string& bytes);

  std::string Name() const;
  std::string GetApplicationName();
  void SetApplicationName(const std::string& v);
  std::string GetParameters();
  void SetParameters(const std::string& v);
  std::string GetWorkingDirectory();
  void SetWorkingDirectory(const std::string& v);
  std::string GetComment();
  void SetComment(const std::string& v);
  std::string GetCreator();
  void SetCreator(const std::string& v);
  std::string GetAccountName();
  TTaskFlags GetFlags();
  void SetFlags(TTaskFlags flags);
  TTaskVistaFlags GetVistaFlags();
  void SetVistaFlags(TTaskVistaFlags flags);
  TTaskPriority GetPriority();
  void SetPriority(TTaskPriority p);
  TIdleTime GetIdleTime();
  void SetIdleTime(const TIdleTime& t);
  uint32_t GetMaxRunTime();
  void SetMaxRunTime(uint32_t ms);
  TTaskStatus GetStatus();
  uint32_t GetExitCode();
  TDateTime GetMostRecentRunTime();
  TDateTime GetNextRunTime();
  TTriggers* GetTriggers();
  std::string GetTriggerString();
  TTaskInstancesPolicy GetTaskInstancesPolicy();
  void SetTaskInstancesPolicy(TTaskInstancesPolicy p);
  int GetCurrentAction() const { return CurrentTask; }
  void SetCurrentAction(int v) { CurrentTask = v; }
  int GetActionsCount();
  std::string GetMailSendTo();
  void SetMailSendTo(const std::string& v);
  std::string GetMailSendFrom();
  void SetMailSendFrom(const std::string& v);
  std::string GetMailSubject();
  void SetMailSubject(const std::string& v);
  std::string GetMailContent();
  void SetMailContent(const std::string& v);
  std::string GetMailServer();
  void SetMailServer(const std::string& v);
  std::string GetMessTitle();
  void SetMessTitle(const std::string& v);
  std::string GetMessText();
  void SetMessText(const std::string& v);
  TaskDefinitionPtr TaskDefinition() const { return FTaskDefinition; }
  // The work item (first generation) or registered task (second).
  const WorkItemPtr& WorkItemInterface() const { return FWorkItem; }
  const RegisteredTaskPtr& RegisteredInterface() const { return FRegistered; }
  TTaskScheduler* TaskScheduler() const { return FTaskManager; }

  // For TTaskScheduler and TTriggers.
  bool Vista() const;
  void RequireActivation();
  void RequireInterface();

 private:
  friend class TTaskScheduler;
  void EnsureExecAction();
  ActionDef& CurrentActionDef();
  // The current action for the e-mail and message properties; nullptr
  // while none is chosen.
  ActionDef* ChosenAction();

  WorkItemPtr FWorkItem;          // FInterface, first generation
  RegisteredTaskPtr FRegistered;  // FInterface, second generation
  TTaskScheduler* FTaskManager;   // not owned
  std::string FTaskName;
  std::unique_ptr<TTriggers> FTriggers;
  TaskDefinitionPtr FTaskDefinition;
  int CurrentTask = 0;
  std::string FTaskSched2UserID;
  std::string FTaskSched2Pw;
};

}  // namespace lorvant
