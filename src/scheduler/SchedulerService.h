// The scheduler service both generations' objects stand on: it keeps the
// task store, turns every enabled trigger into a line of the store's block
// in the user's crontab (boot triggers as @reboot, logon triggers through
// one XDG autostart entry), reports a task's state and times, and starts a
// task on demand through the runner.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

  // Stores the task (replacing one of the same name), starts its record of
  // runs afresh and rewrites the schedule. A task whose principal is
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
  TaskStatus StatusOf(const std::string& name, const TaskDefinitionData& definition);

  // Rewrites the store's crontab block and autostart entry from the stored
  // tasks; a damaged task file contributes no line. Expired tasks whose
  // time to go has come are deleted first.
  void SyncSchedule();

  // When the task is to be deleted as expired: its latest trigger end
  // boundary plus its delete-expired delay; 0 when never (no delay set, no
  // trigger, or a trigger without an end boundary).
  static int64_t ExpiryOf(const TaskDefinitionData& definition);
  // True when a calendar trigger can still fire: a later occurrence, or,
  // with start-when-available, one since `fired` that has not run.
  static bool CanStillFire(const TriggerDef& trigger, const TaskSettings& settings, int64_t fired,
                           int64_t now);

  // The store folder of an account: its home's XDG data default.
  static std::string StoreFolderOf(const UserAccount& account);

  // The crontab schedule field for a calendar trigger ("30 2,3 * * *").
  static std::string CronScheduleOf(const TriggerDef& trigger);
  // The autostart entry's path for this store.
  std::string AutostartFile() const;

 private:
  // The other account the task is for; an account with uid -1 for this one.
  UserAccount OtherAccount(const StoredTask& task);

  TaskStore store_;
  UserAccount account_;
};

}  // namespace lorvant
