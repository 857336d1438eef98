#include "scheduler/SchedulerCli.h"

#include <cstdio>

#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskService.h"
#include "scheduler/TriggerRecord.h"

namespace lorvant {
namespace {

const char* StateName(int state) {
  switch (state) {
    case kStateDisabled:
      return "disabled";
    case kStateQueued:
      return "queued";
    case kStateReady:
      return "ready";
    case kStateRunning:
      return "running";
    default:
      return "unknown";
  }
}

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof(buf), "0x%X", v);
  return buf;
}

}  // namespace

std::string DisplayDateTime(double value) {
  if (value == 0) return "never";
  std::string iso = DateTimeToIso(value);
  iso[10] = ' ';
  return iso;
}

int RunSchedulerCommand(const std::vector<std::string>& args, std::string* out) {
  TaskService service;
  if (!service.service()->EnsureRunning()) throw ESchedulerError(kServiceNotRunning);
  service.Connect("", "", "", "");
  std::shared_ptr<TaskFolder> folder = service.GetFolder("");
  const std::string& command = args[0];
  if (command == "schedule" && args.size() >= 4 && args.size() <= 6) {
    TDateTime when;
    if (args[2] == "next-minute") {
      int64_t now = NowSeconds();
      when = EpochToDateTime(now - now % 60 + 60);
    } else {
      when = IsoToDateTime(args[2] + ":00");
      if (when == 0) {
        *out = "\"" + args[2] + "\" is not a time in the form yyyy-mm-ddThh:nn.\n";
        return 2;
      }
    }
    TaskDefinitionPtr def = service.NewTask(0);
    TriggerDef trigger;
    trigger.Type = kTriggerTime;
    trigger.StartBoundary = DateTimeToIso(when);
    def->Triggers.push_back(trigger);
    ActionDef action;
    action.Path = args[3];
    if (args.size() > 4) action.Arguments = args[4];
    if (args.size() > 5) action.WorkingDirectory = args[5];
    def->Actions.push_back(action);
    folder->RegisterTaskDefinition(args[1], def, kTaskCreateOrUpdate, "", "", 3, "");
    *out = "Task \"" + args[1] + "\" scheduled: " + DescribeServiceTrigger(trigger) + "\n";
    return 0;
  }
  if (command == "show" && args.size() == 2) {
    RegisteredTaskPtr task = folder->GetTask(args[1]);
    *out = "Task:       " + task->Name() + "\n" + "State:      " + StateName(task->State()) + "\n" +
           "Last run:   " + DisplayDateTime(task->LastRunTime()) + "\n" +
           "Exit code:  " + Hex(task->LastTaskResult()) + "\n" +
           "Next run:   " + DisplayDateTime(task->NextRunTime()) + "\n";
    return 0;
  }
  if (command == "remove" && args.size() == 2) {
    folder->DeleteTask(args[1], 0);
    *out = "Task \"" + args[1] + "\" deleted.\n";
    return 0;
  }
  *out = "Bad arguments for \"" + command + "\".\n";
  return 2;
}

}  // namespace lorvant
