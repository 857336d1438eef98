#include "scheduler/DefinitionCheck.h"

#include <cstdio>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "scheduler/Arguments.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/TaskStore.h"
#include "scheduler/TriggerRecord.h"
#include "scheduler/TriggerSchedule.h"

namespace lorvant {
namespace {

bool HasControl(const std::string& s) {
  for (unsigned char c : s) {
    if (c < 0x20 || c == 0x7F) return true;
  }
  return false;
}

std::string LocalMinuteText(int64_t epoch) {
  DateTime t = EpochToLocal(epoch);
  char buf[40];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute);
  return buf;
}

std::string ActionProblem(const std::string& task, size_t number, const ActionDef& a) {
  const std::string which = "Action " + std::to_string(number) + " of the task \"" + task + "\"";
  switch (a.Type) {
    case kActionExec:
      if (a.Path.empty()) return which + " names no program to start.";
      if (HasControl(a.Path) || HasControl(a.WorkingDirectory)) {
        return which + " has a program or folder name with a line break or control character.";
      }
      try {
        SplitArguments(a.Arguments);
      } catch (const Exception& e) {
        return which + " cannot start its program: " + e.Message();
      }
      return "";
    case kActionEmail:
      if (a.To.empty()) return which + " sends an e-mail to nobody.";
      if (HasControl(a.To) || HasControl(a.From) || HasControl(a.Subject)) {
        return which + " has an e-mail receiver, sender or subject with a line break.";
      }
      return "";
    case kActionShowMessage:
      return "";
    default:
      return which + " is of a kind (" + std::to_string(a.Type) + ") that cannot run here.";
  }
}

std::string TriggerProblem(const std::string& task, size_t number, const TriggerDef& t,
                           int64_t now) {
  if (!t.Enabled) return "";
  const std::string which = "Trigger " + std::to_string(number) + " of the task \"" + task + "\"";
  if (!TriggerTypeFires(t.Type)) {
    return which + " (" + DescribeServiceTrigger(t) +
           ") never fires on this computer; use a time, daily, weekly, monthly, start-up or "
           "logon trigger.";
  }
  if (!IsCalendarTrigger(t.Type)) return "";
  TDateTime start = IsoToDateTime(t.StartBoundary);
  if (start == 0) return which + " has no valid start time.";
  if (NextOccurrence(t, now) != 0) return "";
  if (t.Type == kTriggerTime && t.Repetition.Interval.empty()) {
    return which + " is to run once at " + LocalMinuteText(DateTimeToEpoch(start)) +
           ", which has passed; choose a later time.";
  }
  return which + " will not fire again: its end has passed.";
}

}  // namespace

std::string DefinitionProblem(const StoredTask& task, int64_t now) {
  try {
    CheckTaskName(task.Name);
  } catch (const Exception& e) {
    return e.Message();
  }
  const TaskDefinitionData& d = task.Definition;
  if (d.Actions.empty()) return "The task \"" + task.Name + "\" has no action to run.";
  for (size_t i = 0; i < d.Actions.size(); ++i) {
    std::string problem = ActionProblem(task.Name, i + 1, d.Actions[i]);
    if (!problem.empty()) return problem;
  }
  for (size_t i = 0; i < d.Triggers.size(); ++i) {
    std::string problem = TriggerProblem(task.Name, i + 1, d.Triggers[i], now);
    if (!problem.empty()) return problem;
  }
  // What is stored must load again, or the task would be a damaged file.
  try {
    ParseTaskFile(FormatTaskFile(task), task.Name);
  } catch (const Exception& e) {
    return "The task \"" + task.Name + "\" cannot be saved as written: " + e.Message();
  }
  return "";
}

}  // namespace lorvant
