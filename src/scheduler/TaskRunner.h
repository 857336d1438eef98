// What the runner executable does when cron, the desktop's autostart or a
// demand start calls it: it checks that a trigger is really due (its own
// day and week intervals, weekdays of the month, boundaries and
// repetition, which cron's fields cannot say), keeps to the task's policy
// for runs that overlap, runs the task's actions and records state, last
// run time and exit code.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "scheduler/Arguments.h"
#include "scheduler/SchedulerService.h"

namespace lorvant {

class TaskRunner {
 public:
  explicit TaskRunner(SchedulerService* service) : service_(service) {}
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // Runs the task when trigger `index` is due now. An occurrence is due
  // once: when it is at most five minutes old (any age with the task's
  // start-when-available setting) and newer than the task's registration,
  // and when the task's conditions allow (a network, if it asks for one).
  // A trigger left with nothing to fire, or an expired task, makes the
  // schedule be rewritten (which drops the line, or deletes the task).
  // Returns the process exit code: 0 when nothing was due or the task
  // succeeded, else the task's result (1 for a result whose low byte is 0).
  int Fire(const std::string& name, int index);
  // Runs every task with an enabled trigger of the event's kind ("logon",
  // "boot") within its boundaries; returns 0, or 1 when any failed.
  int Event(const std::string& kind);
  // Runs the task now, whatever its schedule and conditions; a disabled
  // task is refused (logged, 1).
  int RunNow(const std::string& name);

 private:
  // Keeps to the task's instance policy, then runs it with its restarts;
  // returns the exit code.
  int Execute(const StoredTask& task);
  // False (logged) when a condition of the task keeps a scheduled start
  // from running now.
  bool ConditionsAllow(const StoredTask& task);
  // Rewrites the store's schedule; a failure is logged.
  void Resync();
  // Takes the task's run lock as its policy says; false when this start
  // does not run (logged).
  bool TakeInstanceSlot(const StoredTask& task, UniqueFd* run_lock);
  // One attempt: every action, within the time limit; the task's result.
  uint32_t RunActions(const StoredTask& task);
  // One action with time_limit_ms left (0: none); its result, and why it
  // failed in *failure.
  uint32_t RunAction(const StoredTask& task, const ActionDef& action, int64_t time_limit_ms,
                     std::string* failure);
  void UpdateState(const std::string& name, const std::function<void(RunState*)>& change);
  bool StopRequested(const std::string& name);
  void Log(const std::string& text);

  SchedulerService* service_;
};

// The command line that starts program with arguments: as it is for an
// ELF file or a "#!" script, else "/bin/sh" and the program's path first
// (a script without "#!"). A program that cannot be found or read stays
// as it is, so starting it reports why.
std::vector<std::string> LaunchCommand(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::string& working_folder);

// The exit code the runner ends with for a task result.
int ExitCodeOf(uint32_t result);

}  // namespace lorvant
