// The scheduler service both generations' objects stand on: it keeps the
// task store, turns every enabled trigger into a line of the store's block
// in the user's crontab (boot triggers as @reboot, logon triggers through
// one XDG autostart entry), reports a task's state and times, and starts a
// task on demand through the runner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/DesiredSchedule.h"
#include "scheduler/TaskModel.h"
#include "scheduler/TaskStore.h"

namespace lorvant {

struct TaskStatus {
  int State = kStateUnknown;
  int64_t LastRunTime = 0;  // seconds since the epoch; 0 never ran
  int64_t NextRunTime = 0;  // 0 none
  uint32_t LastTaskResult = 0;
};

class SchedulerService {
 public:
  // "" stands for TaskStore::DefaultFolder(). With an account (root only)
  // the service keeps that account's store: its crontab, autostart entry
  // and files are the account's.
  explicit SchedulerService(const std::string& store_folder = "",
                            const UserAccount& account = UserAccount());
  SchedulerService(const SchedulerService&) = delete;
  SchedulerService& operator=(const SchedulerService&) = delete;

  TaskStore& store() { return store_; }

  // True when the cron daemon runs or could be started.
  bool EnsureRunning();

  // "" when the task can be stored and run as written; else the reason
  // (DefinitionProblem, or a crontab line that cannot carry it). Stores
  // nothing.
  std::string CheckTask(const StoredTask& task);
  // Stores the task (replacing one of the same name), starts its record of
  // runs afresh and rewrites the schedule. A task that CheckTask refuses
  // raises ETaskError with its reason, before anything is written. A task whose principal is
  // another account goes into that account's store and crontab instead
  // (and leaves this store). Throws EServiceError when that account is
  // unknown or the caller is not root, ETaskError for a bad name,
  // ESchedulerError when a line cannot be written.
  void Register(const StoredTask& task);
  // Removes the task and its lines; throws EServiceError when there is none.
  void Delete(const std::string& name);
  // Starts the task now, in the background, through the runner (as the
  // store's account). Throws EServiceError for a disabled task or one that
  // may not be started on demand.
  void RunNow(const std::string& name);
  // The task's state: disabled; queued while a start waits for the run
  // before it (queue policy); running; else ready. Times and result as the
  // runner recorded them.
  TaskStatus StatusOf(const std::string& name, const TaskDefinitionData& definition);

  // Rewrites the store's crontab block and autostart entry from the stored
  // tasks (DesiredSchedule); a damaged task file, or one whose lines cannot
  // be written, contributes no line and is logged, and the other tasks keep
  // theirs. Expired tasks whose time to go has come are deleted.
  void SyncSchedule();

  // The store folder of an account: its home's XDG data default.
  static std::string StoreFolderOf(const UserAccount& account);

  // The autostart entry's path for this store.
  std::string AutostartFile() const;

 private:
  // The schedule's context for this store at the current time.
  ScheduleContext Context();
  // The other account the task is for; an account with uid -1 for this one.
  UserAccount OtherAccount(const StoredTask& task);

  TaskStore store_;
  UserAccount account_;
};

}  // namespace lorvant
