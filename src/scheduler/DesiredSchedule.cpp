#include "scheduler/DesiredSchedule.h"

#include <algorithm>

#include "base/Exception.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/TriggerSchedule.h"

namespace lorvant {
namespace {

// The local minute at or after t, as crontab fields for that one day.
std::string CronMomentOf(int64_t t) {
  DateTime c = EpochToLocal(t + 59);
  return std::to_string(c.minute) + " " + std::to_string(c.hour) + " " + std::to_string(c.day) +
         " " + std::to_string(c.month) + " *";
}

// The lines of one task; throws ESchedulerError when one cannot be written.
std::vector<std::string> TaskLines(const ScheduledTask& task, int64_t expiry,
                                   const ScheduleContext& c, bool* logon) {
  const TaskDefinitionData& d = task.Definition;
  std::vector<std::string> lines;
  auto line = [&](const std::string& schedule, size_t index) {
    lines.push_back(RunnerCronLine(schedule, c.Runner, c.StoreFolder, task.Name,
                                   static_cast<int>(index), c.Mark));
  };
  if (expiry != 0) {
    // One call at the moment the task expires, to delete it then.
    size_t last = 0;
    for (size_t i = 1; i < d.Triggers.size(); ++i) {
      if (IsoToDateTime(d.Triggers[i].EndBoundary) > IsoToDateTime(d.Triggers[last].EndBoundary)) {
        last = i;
      }
    }
    line(CronMomentOf(expiry), last);
  }
  for (size_t i = 0; i < d.Triggers.size(); ++i) {
    const TriggerDef& t = d.Triggers[i];
    if (!t.Enabled) continue;
    if (IsCalendarTrigger(t.Type)) {
      int64_t fired = i < task.State.LastFired.size() ? task.State.LastFired[i] : 0;
      fired = std::max(fired, task.State.RegisteredAt);
      if (!CanStillFire(t, d.Settings, fired, c.Now)) continue;
      if (IsoToDateTime(t.StartBoundary) == 0) continue;
      line(CronScheduleOf(t), i);
    } else if (t.Type == kTriggerBoot) {
      line("@reboot", i);
    } else if (t.Type == kTriggerLogon) {
      *logon = true;
    }
    // Other kinds have no source of events here; saving refuses them.
  }
  return lines;
}

}  // namespace

int64_t ExpiryOf(const TaskDefinitionData& d) {
  if (d.Settings.DeleteExpiredTaskAfter.empty() || d.Triggers.empty()) return 0;
  int64_t last_end = 0;
  for (const TriggerDef& t : d.Triggers) {
    TDateTime end = IsoToDateTime(t.EndBoundary);
    if (end == 0) return 0;
    last_end = std::max(last_end, DateTimeToEpoch(end));
  }
  return last_end + int64_t{60} * IsoDurationToMinutes(d.Settings.DeleteExpiredTaskAfter);
}

bool CanStillFire(const TriggerDef& t, const TaskSettings& settings, int64_t fired, int64_t now) {
  // An occurrence just run may lie in the minute ahead.
  if (NextOccurrence(t, std::max(now, fired)) != 0) return true;
  return settings.StartWhenAvailable && LatestOccurrence(t, fired, now) != 0;
}

std::string CronScheduleOf(const TriggerDef& t) {
  DateTime start = DecodeDateTime(IsoToDateTime(t.StartBoundary));
  uint32_t interval = IsoDurationToMinutes(t.Repetition.Interval);
  std::string minute = std::to_string(start.minute);
  if (interval > 0 && interval % 60 != 0) return "* * * * *";
  if (interval > 0) return minute + " * * * *";
  // The hour after as well: a start that a daylight-saving gap skips moves
  // an hour on, and the runner only runs what is due.
  return minute + " " + std::to_string(start.hour) + "," + std::to_string((start.hour + 1) % 24) +
         " * * *";
}

DesiredBlock DesiredSchedule(const std::vector<ScheduledTask>& tasks, const ScheduleContext& c) {
  DesiredBlock block;
  for (const ScheduledTask& task : tasks) {
    int64_t expiry = ExpiryOf(task.Definition);
    if (expiry != 0 && expiry <= c.Now) {
      block.Expired.push_back(task.Name);
      continue;
    }
    if (!task.Definition.Settings.Enabled) continue;
    bool logon = false;
    try {
      std::vector<std::string> lines = TaskLines(task, expiry, c, &logon);
      block.Lines.insert(block.Lines.end(), lines.begin(), lines.end());
      block.Logon = block.Logon || logon;
    } catch (const Exception& e) {
      block.Problems.push_back("\"" + task.Name + "\": " + e.Message());
    }
  }
  return block;
}

}  // namespace lorvant
