// The scheduled-task room's door to the operating system beyond files (and
// beyond the clock, which is Env's): the cron daemon and the programs it
// calls, a user's crontab, child processes, file locks, accounts and the
// host. One small interface, so tests can fake every step; the real one
// (`SchedSystem::Default()`) hands each job to its unit: CronDaemon,
// Crontab, ChildProcess, FileLocks, Accounts, HostFacts.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/Env.h"
#include "scheduler/Accounts.h"
#include "scheduler/ChildProcess.h"
#include "scheduler/Crontab.h"

namespace lorvant {

class SchedSystem {
 public:
  SchedSystem() = default;
  virtual ~SchedSystem() = default;
  SchedSystem(const SchedSystem&) = delete;
  SchedSystem& operator=(const SchedSystem&) = delete;

  // The system in use; tests may replace it with SetDefault.
  static SchedSystem* Default();
  // Installs system (or the real one for nullptr); returns the previous one.
  static SchedSystem* SetDefault(SchedSystem* system);

  // True when a cron daemon runs.
  virtual bool IsCronRunning() = 0;
  // Starts the cron daemon (root only); true when it runs afterwards.
  virtual bool StartCron() = 0;
  virtual std::unique_ptr<CrontabAccess> Crontab(const std::string& user) = 0;
  // Runs a process to its end (or its time limit).
  virtual ProcessResult RunProcess(const ProcessSpec& spec) = 0;
  // Starts a process that outlives the caller, as `run_as` when that names
  // an account (root only; HOME, USER and LOGNAME follow it); false with
  // *error when it cannot start.
  virtual bool StartDetached(const std::vector<std::string>& argv, const UserAccount& run_as,
                             std::string* error) = 0;
  virtual bool ProcessAlive(int64_t pid) = 0;
  // Ends process group `group`: SIGTERM, then SIGKILL to whatever is left
  // after grace_ms (none with hard_kill false); returns when the group is
  // gone or, without hard_kill, after the grace.
  virtual void StopGroup(int64_t group, int64_t grace_ms, bool hard_kill) = 0;
  virtual int64_t CurrentPid() = 0;
  // Takes the lock on file name without waiting; false when another holds it.
  virtual bool TryLock(const std::string& name, UniqueFd* lock) = 0;
  // The full path of a program, searched on PATH and the system folders;
  // "" when absent.
  virtual std::string FindProgram(const std::string& name) = 0;
  // The runner executable cron calls: $LORVANT_RUNNER, else
  // "lorvant-runner" beside the running executable or on PATH. Throws
  // ESchedulerError when there is none.
  virtual std::string RunnerPath() = 0;
  // Waits up to timeout_ms for the lock on file name; false when another
  // still holds it then.
  virtual bool WaitLock(const std::string& name, int64_t timeout_ms, UniqueFd* lock) = 0;
  // Sleeps; the runner waits between restarts of a failed task here.
  virtual void SleepSeconds(int64_t seconds) = 0;
  // True when a network interface other than loopback is up and running.
  virtual bool NetworkAvailable() = 0;
  // The account of login name `name`; false when there is none.
  virtual bool LookupUser(const std::string& name, UserAccount* account) = 0;
  // Gives path (not following a link) to the account; 0 or an errno value.
  virtual int ChangeOwner(const std::string& path, const UserAccount& owner) = 0;
  // The login name of the effective user.
  virtual std::string CurrentUserName() = 0;
  virtual bool IsRoot() = 0;
  // The host's name.
  virtual std::string HostName() = 0;
};

// Installs a SchedSystem for the lifetime of the object (tests).
class ScopedSchedSystem {
 public:
  explicit ScopedSchedSystem(SchedSystem* s) : previous_(SchedSystem::SetDefault(s)) {}
  ~ScopedSchedSystem() { SchedSystem::SetDefault(previous_); }
  ScopedSchedSystem(const ScopedSchedSystem&) = delete;
  ScopedSchedSystem& operator=(const ScopedSchedSystem&) = delete;

 private:
  SchedSystem* previous_;
};

}  // namespace lorvant
