#include "scheduler/SchedSystem.h"

#include <unistd.h>

#include <atomic>

#include "scheduler/CronDaemon.h"
#include "scheduler/FileLocks.h"
#include "scheduler/HostFacts.h"

namespace lorvant {
namespace {

// The real door: each job goes to its unit.
class RealSchedSystem : public SchedSystem {
 public:
  bool IsCronRunning() override { return CronDaemonRuns(); }
  bool StartCron() override { return StartCronDaemon(); }
  std::unique_ptr<CrontabAccess> Crontab(const std::string& user) override {
    return OpenRealCrontab(user);
  }
  ProcessResult RunProcess(const ProcessSpec& spec) override { return RunChild(spec); }
  bool StartDetached(const std::vector<std::string>& argv, const UserAccount& run_as,
                     std::string* error) override {
    return StartDetachedChild(argv, run_as, error);
  }
  bool ProcessAlive(int64_t pid) override { return ProcessRuns(pid); }
  void StopGroup(int64_t group, int64_t grace_ms, bool hard_kill) override {
    StopProcessGroup(group, grace_ms, hard_kill);
  }
  int64_t CurrentPid() override { return ::getpid(); }
  bool TryLock(const std::string& name, UniqueFd* lock) override { return TryLockFile(name, lock); }
  std::string FindProgram(const std::string& name) override { return FindProgramPath(name); }
  std::string RunnerPath() override { return FindRunnerPath(); }
  bool WaitLock(const std::string& name, int64_t timeout_ms, UniqueFd* lock) override {
    return WaitLockFile(name, timeout_ms, lock);
  }
  void SleepSeconds(int64_t seconds) override { SleepWholeSeconds(seconds); }
  bool NetworkAvailable() override { return NetworkIsUp(); }
  bool LookupUser(const std::string& name, UserAccount* account) override {
    return LookupAccount(name, account);
  }
  int ChangeOwner(const std::string& path, const UserAccount& owner) override {
    return GiveToAccount(path, owner);
  }
  std::string CurrentUserName() override { return EffectiveUserName(); }
  bool IsRoot() override { return Env::Default()->EffectiveUserId() == 0; }
  std::string HostName() override { return ThisHostName(); }
};

RealSchedSystem* RealSystem() {
  static RealSchedSystem system;
  return &system;
}

std::atomic<SchedSystem*> g_system{nullptr};

}  // namespace

SchedSystem* SchedSystem::Default() {
  SchedSystem* s = g_system.load();
  return s != nullptr ? s : RealSystem();
}

SchedSystem* SchedSystem::SetDefault(SchedSystem* system) {
  SchedSystem* previous = g_system.exchange(system);
  return previous != nullptr ? previous : RealSystem();
}

}  // namespace lorvant
