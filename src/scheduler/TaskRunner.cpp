#include "scheduler/TaskRunner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TriggerSchedule.h"

namespace lorvant {
namespace {

// How late cron may call for an occurrence still to count as on time.
constexpr int64_t kOnTimeSeconds = 300;
// A stopped run's action gets this long after SIGTERM before SIGKILL, and
// the stopped runner this long in all to record its end and leave.
constexpr int64_t kStopGraceMs = 2000;
constexpr int64_t kStopWaitMs = 15000;
// A queued start waits for the run before at most its time limit and this
// slack (the run before is stopped at its limit), or a day without a limit.
constexpr int64_t kQueueSlackMs = 60000;
constexpr int64_t kQueueUnlimitedMs = int64_t{24} * 3600 * 1000;
// A runner waiting to restart a failed task looks this often whether a
// newer run has stopped it.
constexpr int64_t kRestartNapSeconds = 5;

// The run's time limit in seconds; 0 for none ("PT0S" or empty).
int64_t TimeLimitSeconds(const TaskSettings& s) {
  return int64_t{60} * IsoDurationToMinutes(s.ExecutionTimeLimit);
}

bool HasLineBreak(const std::string& s) {
  return s.find('\n') != std::string::npos || s.find('\r') != std::string::npos;
}

bool WithinBoundaries(const TriggerDef& t, int64_t now) {
  TDateTime start = IsoToDateTime(t.StartBoundary);
  TDateTime end = IsoToDateTime(t.EndBoundary);
  if (start != 0 && DateTimeToEpoch(start) > now) return false;
  if (end != 0 && DateTimeToEpoch(end) < now) return false;
  return true;
}

}  // namespace

std::vector<std::string> LaunchCommand(const std::string& program,
                                       const std::vector<std::string>& arguments,
                                       const std::string& working_folder) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  // A relative path with a slash is found from the working folder, as the
  // child sees it after changing there.
  std::string lookup = program;
  if (!program.empty() && program[0] != '/' && program.find('/') != std::string::npos &&
      !working_folder.empty()) {
    lookup = working_folder + "/" + program;
  }
  std::string path = SchedSystem::Default()->FindProgram(lookup);
  if (path.empty()) return argv;  // the start fails and says why
  char head[4] = {};
  size_t got = 0;
  try {
    std::unique_ptr<SequentialFile> file = Env::Default()->OpenForRead(path);
    while (got < sizeof(head)) {
      size_t n = file->Read(head + got, sizeof(head) - got);
      if (n == 0) break;
      got += n;
    }
  } catch (const Exception&) {
    return argv;
  }
  static const char kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
  bool elf = got == 4 && std::memcmp(head, kElfMagic, 4) == 0;
  bool interpreter = got >= 2 && head[0] == '#' && head[1] == '!';
  if (elf || interpreter) return argv;
  // A script without "#!": run by sh itself rather than through the
  // fallback of execvp, which not every C library keeps.
  argv.insert(argv.begin(), "/bin/sh");
  argv[1] = path;
  return argv;
}

int ExitCodeOf(uint32_t result) {
  if (result == 0) return 0;
  int low = static_cast<int>(result & 0xFF);
  return low == 0 ? 1 : low;
}

void TaskRunner::Log(const std::string& text) {
  try {
    service_->store().AppendLog(text);
  } catch (const Exception&) {
    // The log is a courtesy; a run does not fail for it.
  }
}

void TaskRunner::Resync() {
  try {
    service_->SyncSchedule();
  } catch (const Exception& e) {
    Log("The schedule could not be rewritten: " + e.Message());
  }
}

bool TaskRunner::ConditionsAllow(const StoredTask& task) {
  if (task.Definition.Settings.RunOnlyIfNetworkAvailable &&
      !SchedSystem::Default()->NetworkAvailable()) {
    Log("Task \"" + task.Name + "\" runs only with a network, and none is up; it was not started.");
    return false;
  }
  return true;
}

int TaskRunner::Fire(const std::string& name, int index) {
  StoredTask task;
  try {
    task = service_->store().Load(name);
  } catch (const Exception& e) {
    Log(e.Message());
    return 1;
  }
  const TaskDefinitionData& d = task.Definition;
  int64_t now = NowSeconds();
  int64_t expiry = ExpiryOf(d);
  if (expiry != 0 && expiry <= now) {
    Resync();  // deletes the expired task with its lines
    return 0;
  }
  if (!d.Settings.Enabled) return 0;
  if (index < 0 || static_cast<size_t>(index) >= d.Triggers.size()) {
    Log("Task \"" + name + "\" has no trigger " + std::to_string(index) + "; nothing was run.");
    return 1;
  }
  const TriggerDef& t = d.Triggers[static_cast<size_t>(index)];
  if (!t.Enabled) return 0;
  if (IsCalendarTrigger(t.Type)) {
    int64_t due = 0;
    bool exhausted = false;
    {
      UniqueFd lock = service_->store().Lock();
      RunState state = service_->store().LoadState(name);
      state.LastFired.resize(d.Triggers.size(), 0);
      int64_t& fired = state.LastFired[static_cast<size_t>(index)];
      int64_t from = std::max(fired, state.RegisteredAt);
      if (!d.Settings.StartWhenAvailable) from = std::max(from, now - kOnTimeSeconds);
      due = LatestOccurrence(t, from, now + 59);
      // Not counted as run: with start-when-available it runs once it can.
      if (due != 0 && !ConditionsAllow(task)) due = 0;
      if (due != 0) {
        fired = due;
        service_->store().SaveState(name, state);
      }
      exhausted = !CanStillFire(t, d.Settings, std::max(fired, state.RegisteredAt), now);
    }
    // A trigger with nothing left to fire loses its line.
    if (exhausted) Resync();
    if (due == 0) return 0;
  } else if (!WithinBoundaries(t, now) || !ConditionsAllow(task)) {
    return 0;
  }
  return Execute(task);
}

int TaskRunner::Event(const std::string& kind) {
  int type = kind == "logon" ? kTriggerLogon : kind == "boot" ? kTriggerBoot : -1;
  if (type < 0) {
    Log("Unknown event \"" + kind + "\".");
    return 1;
  }
  std::string user = SchedSystem::Default()->CurrentUserName();
  int64_t now = NowSeconds();
  int rc = 0;
  for (const std::string& name : service_->store().ListNames()) {
    StoredTask task;
    try {
      task = service_->store().Load(name);
    } catch (const Exception& e) {
      Log(e.Message());
      rc = 1;
      continue;
    }
    if (!task.Definition.Settings.Enabled) continue;
    int64_t expiry = ExpiryOf(task.Definition);
    if (expiry != 0 && expiry <= now) continue;
    bool fires = false;
    for (const TriggerDef& t : task.Definition.Triggers) {
      if (t.Type == type && t.Enabled && WithinBoundaries(t, now) &&
          (t.UserId.empty() || t.UserId == user)) {
        fires = true;
      }
    }
    if (fires && ConditionsAllow(task) && Execute(task) != 0) rc = 1;
  }
  return rc;
}

int TaskRunner::RunNow(const std::string& name) {
  StoredTask task;
  try {
    task = service_->store().Load(name);
  } catch (const Exception& e) {
    Log(e.Message());
    return 1;
  }
  if (!task.Definition.Settings.Enabled) {
    Log("Task \"" + name + "\" is disabled; it was not started.");
    return 1;
  }
  return Execute(task);
}

void TaskRunner::UpdateState(const std::string& name,
                             const std::function<void(RunState*)>& change) {
  TaskStore& store = service_->store();
  UniqueFd lock = store.Lock();
  RunState state = store.LoadState(name);
  change(&state);
  store.SaveState(name, state);
}

bool TaskRunner::StopRequested(const std::string& name) {
  return service_->store().LoadState(name).StopRequested;
}

bool TaskRunner::TakeInstanceSlot(const StoredTask& task, UniqueFd* run_lock) {
  SchedSystem* sys = SchedSystem::Default();
  TaskStore& store = service_->store();
  const std::string& name = task.Name;
  const TaskSettings& settings = task.Definition.Settings;
  std::string lock_file = store.RunLockFile(name);
  switch (settings.MultipleInstances) {
    case 0:  // parallel
      return true;
    case 1: {  // queue: wait for the run before, which ends by its time limit
      if (sys->TryLock(lock_file, run_lock)) return true;
      int64_t limit_ms = TimeLimitSeconds(settings) * 1000;
      int64_t wait_ms = limit_ms > 0 ? limit_ms + kQueueSlackMs : kQueueUnlimitedMs;
      Log("Task \"" + name + "\" is still running; this start waits for it.");
      // Recorded, so the task shows as queued while this start waits.
      const int64_t me = sys->CurrentPid();
      UpdateState(name, [&](RunState* s) { s->QueuedPids.push_back(me); });
      bool taken = sys->WaitLock(lock_file, wait_ms, run_lock);
      UpdateState(name, [&](RunState* s) {
        s->QueuedPids.erase(std::remove(s->QueuedPids.begin(), s->QueuedPids.end(), me),
                            s->QueuedPids.end());
      });
      if (taken) return true;
      Log("Task \"" + name + "\" was still running after the wait; this start is given up.");
      return false;
    }
    case 3: {  // stop the run before: its current action's group, then wait for it to leave
      if (sys->TryLock(lock_file, run_lock)) return true;
      int64_t group = 0;
      UpdateState(name, [&](RunState* s) {
        s->StopRequested = true;
        group = s->RunningGroup;
      });
      Log("Task \"" + name + "\" is still running; that run is stopped for the new one.");
      if (group > 1) sys->StopGroup(group, kStopGraceMs, settings.AllowHardTerminate);
      if (sys->WaitLock(lock_file, kStopWaitMs, run_lock)) return true;
      Log("Task \"" + name + "\" did not stop in time; this start is given up.");
      return false;
    }
    default:  // ignore the new run
      if (sys->TryLock(lock_file, run_lock)) return true;
      Log("Task \"" + name + "\" is still running; this start is skipped.");
      return false;
  }
}

int TaskRunner::Execute(const StoredTask& task) {
  SchedSystem* sys = SchedSystem::Default();
  const std::string& name = task.Name;
  const TaskSettings& settings = task.Definition.Settings;
  UniqueFd run_lock;
  if (!TakeInstanceSlot(task, &run_lock)) {
    // A skipped start is the policy working; a start given up is a failure.
    return settings.MultipleInstances == 2 ? 0 : 1;
  }
  // A failed run starts again after the restart interval, up to the count.
  int64_t restart_seconds = int64_t{60} * IsoDurationToMinutes(settings.RestartInterval);
  int attempts = 1 + (restart_seconds > 0 ? std::max(settings.RestartCount, 0) : 0);
  uint32_t result = 0;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    UpdateState(name, [&](RunState* s) {
      s->Running = true;
      s->RunningPid = sys->CurrentPid();
      s->RunningGroup = 0;
      s->StopRequested = false;
      s->LastRunTime = NowSeconds();
    });
    Log("Task \"" + name + "\" started.");
    result = RunActions(task);
    UpdateState(name, [&](RunState* s) {
      s->Running = false;
      s->RunningPid = 0;
      s->RunningGroup = 0;
      s->LastResult = result;
    });
    char code[16];
    std::snprintf(code, sizeof(code), "0x%X", result);
    Log("Task \"" + name + "\" ended with result " + code + ".");
    if (result == 0 || result == kStatusTerminated || attempt == attempts) break;
    Log("Task \"" + name + "\" failed; it starts again in " + std::to_string(restart_seconds) +
        " seconds (restart " + std::to_string(attempt) + " of " + std::to_string(attempts - 1) +
        ").");
    // Slept in pieces, so that a newer run that stops this one is heard.
    bool stopped = false;
    for (int64_t left = restart_seconds; left > 0 && !stopped; left -= kRestartNapSeconds) {
      sys->SleepSeconds(std::min(left, kRestartNapSeconds));
      stopped = StopRequested(name);
    }
    if (stopped) {
      Log("Task \"" + name + "\" was stopped before its restart.");
      break;
    }
  }
  return ExitCodeOf(result);
}

uint32_t TaskRunner::RunActions(const StoredTask& task) {
  const std::string& name = task.Name;
  if (task.Definition.Actions.empty()) {
    Log("Task \"" + name + "\" has no action to run.");
    return kErrorInvalidArgument;
  }
  // The time limit holds for the whole run, however many actions it has.
  int64_t limit = TimeLimitSeconds(task.Definition.Settings);
  int64_t deadline = limit > 0 ? NowSeconds() + limit : 0;
  uint32_t result = 0;
  for (const ActionDef& a : task.Definition.Actions) {
    if (StopRequested(name)) return kStatusTerminated;
    int64_t left_ms = 0;
    if (deadline != 0) {
      left_ms = (deadline - NowSeconds()) * 1000;
      if (left_ms <= 0) {
        Log("Task \"" + name + "\" ran past its time limit " +
            task.Definition.Settings.ExecutionTimeLimit + "; its other actions were not run.");
        return kStatusTerminated;
      }
    }
    std::string failure;
    uint32_t r = RunAction(task, a, left_ms, &failure);
    if (!failure.empty()) Log("Task \"" + name + "\": " + failure);
    if (r == kStatusTerminated || StopRequested(name)) return kStatusTerminated;
    if (r != 0 && result == 0) result = r;
  }
  return result;
}

uint32_t TaskRunner::RunAction(const StoredTask& task, const ActionDef& a, int64_t time_limit_ms,
                               std::string* failure) {
  SchedSystem* sys = SchedSystem::Default();
  ProcessSpec spec;
  spec.log_file = service_->store().LogFile();
  spec.time_limit_ms = time_limit_ms;
  spec.hard_kill = task.Definition.Settings.AllowHardTerminate;
  // A newer run with the stop-existing policy stops this group.
  spec.on_start = [&](int64_t group) {
    UpdateState(task.Name, [&](RunState* s) { s->RunningGroup = group; });
  };
  switch (a.Type) {
    case kActionExec: {
      if (a.Path.empty()) {
        *failure = "the action names no program.";
        return kErrorNotFound;
      }
      try {
        spec.argv = LaunchCommand(a.Path, SplitArguments(a.Arguments), a.WorkingDirectory);
      } catch (const Exception& e) {
        *failure = e.Message();
        return kErrorInvalidArgument;
      }
      spec.working_folder = a.WorkingDirectory;
      const std::string& limit = task.Definition.Settings.ExecutionTimeLimit;
      ProcessResult r = sys->RunProcess(spec);
      if (!r.started) {
        *failure = "cannot run \"" + a.Path + "\": " + r.error;
        return kErrorNotFound;
      }
      if (r.timed_out) {
        *failure = "\"" + a.Path + "\" ran past its time limit " + limit + " and was stopped.";
        return kStatusTerminated;
      }
      return static_cast<uint32_t>(r.exit_code);
    }
    case kActionEmail: {
      if (HasLineBreak(a.To) || HasLineBreak(a.From) || HasLineBreak(a.Subject)) {
        *failure = "the e-mail's receiver, sender or subject holds a line break; it was not sent.";
        return kErrorInvalidArgument;
      }
      std::string sendmail = sys->FindProgram("sendmail");
      if (sendmail.empty()) {
        *failure =
            "no local sendmail is installed, so the e-mail to \"" + a.To + "\" was not sent.";
        return kErrorNotFound;
      }
      spec.argv = {sendmail, "-t", "-oi"};
      spec.input = "To: " + a.To + "\n" + (a.From.empty() ? "" : "From: " + a.From + "\n") +
                   "Subject: " + a.Subject + "\n\n" + a.Body + "\n";
      ProcessResult r = sys->RunProcess(spec);
      if (!r.started || r.exit_code != 0) {
        *failure =
            "sendmail did not take the e-mail to \"" + a.To + "\"" +
            (r.started ? " (exit code " + std::to_string(r.exit_code) + ")." : ": " + r.error);
        return r.started ? static_cast<uint32_t>(r.exit_code) : kErrorNotFound;
      }
      return 0;
    }
    case kActionShowMessage: {
      std::string bus = Env::Default()->GetVar("DBUS_SESSION_BUS_ADDRESS");
      std::string runtime = "/run/user/" + std::to_string(Env::Default()->EffectiveUserId());
      if (bus.empty() && FileExists(runtime + "/bus")) bus = "unix:path=" + runtime + "/bus";
      if (bus.empty()) {
        *failure = "no desktop session is there to show the message \"" + a.Title + "\".";
        return kErrorNotFound;
      }
      std::string notify = sys->FindProgram("notify-send");
      if (notify.empty()) {
        *failure =
            "notify-send is not installed, so the message \"" + a.Title + "\" was not shown.";
        return kErrorNotFound;
      }
      spec.argv = {notify, "--app-name=Lorvant", "--", a.Title, a.MessageBody};
      spec.extra_env = {"DBUS_SESSION_BUS_ADDRESS=" + bus};
      ProcessResult r = sys->RunProcess(spec);
      if (!r.started || r.exit_code != 0) {
        *failure = "the message \"" + a.Title + "\" could not be shown.";
        return r.started ? static_cast<uint32_t>(r.exit_code) : kErrorNotFound;
      }
      return 0;
    }
    default:
      *failure = "actions of type " + std::to_string(a.Type) + " cannot run here.";
      return kErrorInvalidArgument;
  }
}

}  // namespace lorvant
