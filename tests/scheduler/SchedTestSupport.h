// Test support for the scheduler: a SchedSystem (and Env clock) whose time, cron daemon,
// account and child processes the test decides, with the crontab a file in
// the test's own folder, and a scope that sets the time zone.
#pragma once

#include <stdlib.h>
#include <time.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "scheduler/SchedSystem.h"
#include "scheduler/SchedTime.h"
#include "scheduler/TaskModel.h"
#include "support/TestEnv.h"

namespace lorvant::test {

class FakeSchedSystem : public SchedSystem {
 public:
  FakeSchedSystem()
      : real_(SchedSystem::Default()), clock_(this), clock_scope_(&clock_), scope_(this) {}

  int64_t now = 1700000000;  // Env's wall clock, in seconds
  bool cron_running = true;
  bool can_start_cron = false;
  bool root = false;
  std::string user = "tester";
  bool fake_processes = false;  // else children really run
  ProcessResult process_result;
  std::vector<ProcessSpec> processes;
  std::vector<std::vector<std::string>> detached;
  std::set<int64_t> alive;
  std::map<std::string, std::string> programs;
  std::map<std::string, UserAccount> users;
  std::vector<std::pair<std::string, int64_t>> owners;  // path, uid given
  std::vector<int64_t> stopped_groups;
  std::function<void()> on_stop;  // runs when a group is stopped
  std::vector<int64_t> slept;
  std::vector<int64_t> lock_waits;  // the timeouts WaitLock was given
  std::function<void()> on_wait;    // runs as WaitLock waits
  // Runs as each faked process runs (after its on_start, with the group
  // 9000 + its number).
  std::function<void(const ProcessSpec&)> on_process;
  bool network = true;
  std::vector<UserAccount> detached_as;

  bool IsCronRunning() override { return cron_running; }
  bool StartCron() override {
    if (can_start_cron) cron_running = true;
    return cron_running;
  }
  std::unique_ptr<CrontabAccess> Crontab(const std::string& u) override {
    return real_->Crontab(u);
  }
  ProcessResult RunProcess(const ProcessSpec& spec) override {
    processes.push_back(spec);
    if (!fake_processes) return real_->RunProcess(spec);
    if (spec.on_start) spec.on_start(9000 + static_cast<int64_t>(processes.size()));
    if (on_process) on_process(spec);
    return process_result;
  }
  bool StartDetached(const std::vector<std::string>& argv, const UserAccount& run_as,
                     std::string*) override {
    detached.push_back(argv);
    detached_as.push_back(run_as);
    return true;
  }
  bool ProcessAlive(int64_t pid) override { return alive.count(pid) != 0; }
  void StopGroup(int64_t group, int64_t, bool) override {
    stopped_groups.push_back(group);
    alive.erase(group);
    if (on_stop) on_stop();
  }
  // Never waits: a lock held elsewhere stays held in a test.
  bool WaitLock(const std::string& name, int64_t timeout_ms, UniqueFd* lock) override {
    lock_waits.push_back(timeout_ms);
    if (on_wait) on_wait();
    return real_->TryLock(name, lock);
  }
  void SleepSeconds(int64_t seconds) override {
    slept.push_back(seconds);
    now += seconds;
  }
  bool NetworkAvailable() override { return network; }
  bool LookupUser(const std::string& name, UserAccount* account) override {
    auto it = users.find(name);
    if (it == users.end()) return false;
    *account = it->second;
    return true;
  }
  // Records the owner instead of changing it: tests do not run as root.
  int ChangeOwner(const std::string& path, const UserAccount& owner) override {
    owners.emplace_back(path, owner.uid);
    return 0;
  }
  int64_t CurrentPid() override { return 4242; }
  bool TryLock(const std::string& name, UniqueFd* lock) override {
    return real_->TryLock(name, lock);
  }
  // Paths are looked at for real; names only in `programs`.
  std::string FindProgram(const std::string& name) override {
    if (name.find('/') != std::string::npos) return real_->FindProgram(name);
    auto it = programs.find(name);
    return it == programs.end() ? "" : it->second;
  }
  std::string RunnerPath() override { return "/opt/lorvant/lorvant-runner"; }
  std::string CurrentUserName() override { return user; }
  bool IsRoot() override { return root; }
  std::string HostName() override { return "testhost"; }

  // Sets the clock to a local wall-clock time.
  void SetLocal(int y, int mo, int d, int h, int mi, int s = 0) {
    DateTime t;
    t.year = y;
    t.month = mo;
    t.day = d;
    t.hour = h;
    t.minute = mi;
    t.second = s;
    now = LocalToEpoch(t);
  }

 private:
  // Env's wall clock reads `now`.
  class Clock : public EnvWrapper {
   public:
    explicit Clock(FakeSchedSystem* owner) : EnvWrapper(Env::Default()), owner_(owner) {}
    int64_t WallClockNs() override { return owner_->now * 1000000000; }

   private:
    FakeSchedSystem* owner_;
  };

  SchedSystem* real_;
  Clock clock_;
  ScopedEnv clock_scope_;
  ScopedSchedSystem scope_;
};

// Sets TZ for one scope ("CET-1CEST,M3.5.0,M10.5.0/3" needs no zone files).
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) : var_("TZ", tz) { ::tzset(); }
  ~ScopedTimeZone() {
    // var_ restores TZ after this body; tzset again once it has.
  }
  ScopedTimeZone(const ScopedTimeZone&) = delete;
  ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

 private:
  struct Reset {
    ~Reset() { ::tzset(); }
  } reset_;
  ScopedEnvVar var_;
};

inline constexpr char kBerlin[] = "CET-1CEST,M3.5.0,M10.5.0/3";

// A task that runs /bin/true every day at 09:30 from 1 March 2024.
inline StoredTask DailyTask(const std::string& name) {
  StoredTask t;
  t.Name = name;
  TriggerDef trig;
  trig.Type = kTriggerDaily;
  trig.StartBoundary = "2024-03-01T09:30:00";
  t.Definition.Triggers.push_back(trig);
  ActionDef a;
  a.Path = "/bin/true";
  t.Definition.Actions.push_back(a);
  return t;
}

// Seconds since the epoch of a local wall-clock time.
inline int64_t Local(int y, int mo, int d, int h, int mi, int s = 0) {
  DateTime t;
  t.year = y;
  t.month = mo;
  t.day = d;
  t.hour = h;
  t.minute = mi;
  t.second = s;
  return LocalToEpoch(t);
}

// "yyyy-mm-dd hh:nn:ss" of an instant in local time, "0" for 0.
inline std::string LocalText(int64_t epoch) {
  if (epoch == 0) return "0";
  DateTime t = EpochToLocal(epoch);
  char buf[40];
  snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
           t.minute, t.second);
  return buf;
}

}  // namespace lorvant::test
