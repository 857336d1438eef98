// Finding the programs the scheduler works with: the cron daemon (is it
// running, start it), programs on the search path, and the runner that
// cron calls. Real implementations behind SchedSystem, the room's door.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lorvant {

// True when path names a regular file this user may execute.
bool IsExecutableFile(const std::string& path);
// The processes of the running cron daemon (ended ones not yet reaped
// left out); empty when none runs.
std::vector<pid_t> CronDaemonPids();
// True when a cron daemon runs.
bool CronDaemonRuns();
// Starts the cron daemon (root only); true when it runs afterwards.
bool StartCronDaemon();
// The full path of a program, searched on PATH and the system folders;
// "" when absent. A name with a '/' is itself the path.
std::string FindProgramPath(const std::string& name);
// $LORVANT_RUNNER, else "lorvant-runner" beside the running executable or
// on PATH. Throws ESchedulerError when there is none.
std::string FindRunnerPath();

}  // namespace lorvant
