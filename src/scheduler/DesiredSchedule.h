// What a store's crontab block and autostart entry should hold, computed
// from its tasks and the time alone: the synchronising step of the service
// only applies it, so the rules (which trigger gets which line, which task
// has expired) are tested without a crontab.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/TaskModel.h"

namespace lorvant {

// One stored task as the schedule sees it.
struct ScheduledTask {
  std::string Name;
  TaskDefinitionData Definition;
  RunState State;
};

// Where the lines point and when they are made.
struct ScheduleContext {
  std::string Runner;       // the runner executable cron calls
  std::string StoreFolder;  // the store the runner is to read
  std::string Mark;         // the store's mark (StoreMark)
  int64_t Now = 0;          // seconds since the epoch
};

struct DesiredBlock {
  std::vector<std::string> Lines;     // the block's crontab lines, in task order
  bool Logon = false;                 // some enabled task starts at logon
  std::vector<std::string> Expired;   // tasks whose time to be deleted has come
  std::vector<std::string> Problems;  // tasks left without lines, with the reason
};

// The block for `tasks`: a line per enabled trigger that can still fire
// (calendar kinds by their cron schedule, boot as @reboot), one line at
// the moment an expiring task is to be deleted, nothing for a disabled
// task or a trigger kind that never fires here. A task whose lines cannot
// be written (too long, a control character) gets none and is named in
// Problems; the others keep theirs.
DesiredBlock DesiredSchedule(const std::vector<ScheduledTask>& tasks,
                             const ScheduleContext& context);

// When the task is to be deleted as expired: its latest trigger end
// boundary plus its delete-expired delay; 0 when never (no delay set, no
// trigger, or a trigger without an end boundary).
int64_t ExpiryOf(const TaskDefinitionData& definition);
// True when a calendar trigger can still fire: a later occurrence, or,
// with start-when-available, one since `fired` that has not run.
bool CanStillFire(const TriggerDef& trigger, const TaskSettings& settings, int64_t fired,
                  int64_t now);
// The crontab schedule field for a calendar trigger ("30 2,3 * * *").
std::string CronScheduleOf(const TriggerDef& trigger);

}  // namespace lorvant
