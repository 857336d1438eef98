// Child processes of the scheduler: one run to its end (with its input,
// output, time limit and process group), one started to outlive the
// caller (as another account when root), and process groups stopped whole.
// Real implementations behind SchedSystem, the room's door.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scheduler/Accounts.h"

namespace lorvant {

struct ProcessSpec {
  std::vector<std::string> argv;       // argv[0] is looked up on PATH without '/'
  std::string working_folder;          // "" keeps the current one
  std::vector<std::string> extra_env;  // "NAME=value"; a bare "NAME" removes it
  std::string input;                   // written to standard input
  bool capture_output = false;         // else the child's output goes to log_file
  bool separate_errors = false;        // with capture_output: standard error apart
  std::string log_file;                // "" discards the output
  int64_t time_limit_ms = 0;           // 0: none; past it the process group is stopped
  bool hard_kill = true;               // past the limit, SIGKILL follows SIGTERM after a grace
  // Called in the parent with the child's pid, which is also its process
  // group (every child leads a group of its own), once it runs.
  std::function<void(int64_t)> on_start;
};

struct ProcessResult {
  bool started = false;
  std::string error;   // why it could not start
  int exit_code = -1;  // 128 + signal when a signal ended it
  bool timed_out = false;
  std::string output;  // when captured (with standard error unless separate_errors)
  std::string errors;  // standard error, with separate_errors
};

// Runs a process to its end (or its time limit).
ProcessResult RunChild(const ProcessSpec& spec);
// Starts a process that outlives the caller, as `run_as` when that names an
// account (root only; HOME, USER and LOGNAME follow it); false with *error
// when it cannot start.
bool StartDetachedChild(const std::vector<std::string>& argv, const UserAccount& run_as,
                        std::string* error);
// True when process pid exists.
bool ProcessRuns(int64_t pid);
// Ends process group `group`: SIGTERM, then SIGKILL to whatever is left
// after grace_ms (none with hard_kill false); returns when the group is
// gone or, without hard_kill, after the grace.
void StopProcessGroup(int64_t group, int64_t grace_ms, bool hard_kill);
// Sleeps whole seconds, however often a signal interrupts.
void SleepWholeSeconds(int64_t seconds);

}  // namespace lorvant
