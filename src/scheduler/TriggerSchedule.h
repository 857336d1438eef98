// When a service trigger fires: the next occurrence of each calendar kind
// (once, daily, weekly, monthly by date and by weekday) with its repetition
// and its begin and end boundaries, in local wall-clock time across month
// ends, leap days and daylight-saving changes. The runner and NextRunTime
// both ask here, so what is shown is what runs.
#pragma once

#include <cstdint>

#include "scheduler/TaskModel.h"

namespace lorvant {

// True for the kinds this unit computes times for (time, daily, weekly,
// monthly, monthly by weekday).
bool IsCalendarTrigger(int type);
// True for the service trigger types that fire on this machine: the
// calendar kinds and boot through cron, logon through the desktop's
// autostart. Idle, event, registration and session-state triggers have no
// source of events here, so a task with one would silently never run.
bool TriggerTypeFires(int type);

// The first occurrence of trigger strictly after `after` (seconds since the
// epoch), or 0 when it has none: not a calendar kind, disabled, without a
// start boundary, or past its end boundary. A repetition runs from each
// start for its duration (an empty duration: until the trigger's next
// start) every interval.
int64_t NextOccurrence(const TriggerDef& trigger, int64_t after);

// The latest occurrence in (after, until], or 0 when there is none.
int64_t LatestOccurrence(const TriggerDef& trigger, int64_t after, int64_t until);

// The task's next run after now over all its enabled calendar triggers; 0
// when the task is disabled or none will fire again.
int64_t NextRunOf(const TaskDefinitionData& definition, int64_t now);

}  // namespace lorvant
