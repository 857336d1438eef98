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
  // "" stands for TaskStore::DefaultFolder().
  explicit SchedulerService(const std::string& store_folder = "");
  SchedulerService(const SchedulerService&) = delete;
  SchedulerService& operator=(const SchedulerService&) = delete;

  TaskStore& store() { return store_; }

  // True when the cron daemon runs or could be started.
  bool EnsureRunning();

  // Stores the task (replacing one of the same name), starts its record of
  // runs afresh and rewrites the schedule. Throws EServiceError when the
  // task's account is another user's (only root may, and it is refused
  // until such tasks are kept in that user's store), ETaskError for a bad
  // name, ESchedulerError when a line cannot be written.
  void Register(const StoredTask& task);
  // Removes the task and its lines; throws EServiceError when there is none.
  void Delete(const std::string& name);
  // Starts the task now, in the background, through the runner.
  void RunNow(const std::string& name);
  TaskStatus StatusOf(const std::string& name, const TaskDefinitionData& definition);

  // Rewrites the store's crontab block and autostart entry from the stored
  // tasks; a damaged task file contributes no line.
  void SyncSchedule();

  // The crontab schedule field for a calendar trigger ("30 2,3 * * *").
  static std::string CronScheduleOf(const TriggerDef& trigger);
  // The autostart entry's path for this store.
  std::string AutostartFile() const;

 private:
  void CheckAccount(const StoredTask& task);

  TaskStore store_;
};

}  // namespace lorvant
