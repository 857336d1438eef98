#include "scheduler/SchedulerService.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "log/Log.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TriggerSchedule.h"

namespace lorvant {
namespace {

// A word quoted for the Exec key of a desktop entry: double quotes with
// '"', '`', '$' and '\' escaped, '%' doubled, and the entry's own
// backslash escaping on top.
std::string DesktopExecQuote(const std::string& word) {
  std::string quoted = "\"";
  for (unsigned char c : word) {
    if (c < 0x20 || c == 0x7F) {
      throw ESchedulerError("An autostart entry cannot carry a control character in \"" + word +
                            "\".");
    }
    if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
    if (c == '%') quoted += '%';
    quoted += static_cast<char>(c);
  }
  quoted += "\"";
  std::string out;
  for (char c : quoted) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

std::string PlainUser(const std::string& user) {
  size_t slash = user.rfind('\\');
  return slash == std::string::npos ? user : user.substr(slash + 1);
}

// Makes folder and gives the folders it made to account.
void MakeFolderFor(const std::string& folder, const UserAccount& account) {
  std::vector<std::string> made;
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  for (; f.size() > 1 && !DirectoryExists(f);) {
    made.push_back(f);
    f = f.substr(0, f.find_last_of('/'));
  }
  ForceFolder(folder);
  for (const std::string& m : made) SchedSystem::Default()->ChangeOwner(m, account);
}

// The local minute at or after t, as crontab fields for that one day.
std::string CronMomentOf(int64_t t) {
  CivilTime c = EpochToLocal(t + 59);
  return std::to_string(c.minute) + " " + std::to_string(c.hour) + " " + std::to_string(c.day) +
         " " + std::to_string(c.month) + " *";
}

}  // namespace

SchedulerService::SchedulerService(const std::string& store_folder, const UserAccount& account)
    : store_(!store_folder.empty() ? store_folder
             : account.uid >= 0    ? StoreFolderOf(account)
                                   : TaskStore::DefaultFolder()),
      account_(account) {
  store_.SetOwner(account);
}

std::string SchedulerService::StoreFolderOf(const UserAccount& account) {
  return account.home.empty() ? "" : account.home + "/.local/share/Lorvant/scheduler";
}

int64_t SchedulerService::ExpiryOf(const TaskDefinitionData& d) {
  if (d.Settings.DeleteExpiredTaskAfter.empty() || d.Triggers.empty()) return 0;
  int64_t last_end = 0;
  for (const TriggerDef& t : d.Triggers) {
    TDateTime end = IsoToDateTime(t.EndBoundary);
    if (end == 0) return 0;
    last_end = std::max(last_end, DateTimeToEpoch(end));
  }
  return last_end + int64_t{60} * IsoDurationToMinutes(d.Settings.DeleteExpiredTaskAfter);
}

bool SchedulerService::CanStillFire(const TriggerDef& t, const TaskSettings& settings,
                                    int64_t fired, int64_t now) {
  // An occurrence just run may lie in the minute ahead.
  if (NextOccurrence(t, std::max(now, fired)) != 0) return true;
  return settings.StartWhenAvailable && LatestOccurrence(t, fired, now) != 0;
}

bool SchedulerService::EnsureRunning() {
  SchedSystem* sys = SchedSystem::Default();
  return sys->IsCronRunning() || sys->StartCron();
}

UserAccount SchedulerService::OtherAccount(const StoredTask& task) {
  SchedSystem* sys = SchedSystem::Default();
  std::string user = PlainUser(task.Definition.Principal.UserId);
  // "System" is the store's own account: a per-user crontab has no other.
  if (user.empty() || SameTextIgnoreCase(user, "System") ||
      user == (account_.uid >= 0 ? account_.name : sys->CurrentUserName())) {
    return UserAccount();
  }
  if (!sys->IsRoot()) {
    throw EServiceError(kErrorAccessDenied, "The task \"" + task.Name + "\" is to run as \"" +
                                                user +
                                                "\", but only root can schedule a task for another "
                                                "account; tasks here run as \"" +
                                                sys->CurrentUserName() + "\".");
  }
  UserAccount account;
  if (!sys->LookupUser(user, &account)) {
    throw EServiceError(kErrorNotFound, "The task \"" + task.Name + "\" is to run as \"" + user +
                                            "\", but there is no such account.");
  }
  if (account.home.empty()) {
    throw EServiceError(kErrorNotFound,
                        "The account \"" + user + "\" has no home folder to keep its tasks in.");
  }
  return account;
}

void SchedulerService::Register(const StoredTask& task) {
  CheckTaskName(task.Name);
  UserAccount other = OtherAccount(task);
  if (other.uid >= 0) {
    SchedulerService(StoreFolderOf(other), other).Register(task);
    // The task moved: it no longer runs from this store.
    bool had;
    {
      UniqueFd lock = store_.Lock();
      had = store_.Remove(task.Name);
    }
    if (had) SyncSchedule();
    return;
  }
  {
    UniqueFd lock = store_.Lock();
    store_.Save(task);
    RunState state = store_.LoadState(task.Name);
    // A changed schedule starts counting afresh: nothing before now fires.
    state.RegisteredAt = SchedSystem::Default()->Now();
    state.LastFired.assign(task.Definition.Triggers.size(), 0);
    if (state.LastRunTime == 0) state.LastResult = kStatusHasNotRun;
    store_.SaveState(task.Name, state);
  }
  SyncSchedule();
}

void SchedulerService::Delete(const std::string& name) {
  CheckTaskName(name);
  bool had;
  {
    UniqueFd lock = store_.Lock();
    had = store_.Remove(name);
  }
  SyncSchedule();
  if (!had) throw EServiceError(kErrorNotFound, "The task \"" + name + "\" does not exist.");
}

void SchedulerService::RunNow(const std::string& name) {
  StoredTask task = store_.Load(name);
  if (!task.Definition.Settings.Enabled) {
    throw EServiceError(kErrorAccessDenied,
                        "The task \"" + name + "\" is disabled; enable it to start it.");
  }
  if (!task.Definition.Settings.AllowDemandStart) {
    throw EServiceError(kErrorAccessDenied,
                        "The task \"" + name + "\" may not be started on demand.");
  }
  SchedSystem* sys = SchedSystem::Default();
  std::string error;
  if (!sys->StartDetached({sys->RunnerPath(), "now", store_.folder(), name}, account_, &error)) {
    throw EServiceError(kErrorFailed, "Cannot start the task \"" + name + "\": " + error);
  }
}

TaskStatus SchedulerService::StatusOf(const std::string& name, const TaskDefinitionData& def) {
  SchedSystem* sys = SchedSystem::Default();
  RunState state = store_.LoadState(name);
  TaskStatus status;
  status.LastRunTime = state.LastRunTime;
  status.LastTaskResult = state.LastResult;
  status.NextRunTime = NextRunOf(def, sys->Now());
  if (!def.Settings.Enabled) {
    status.State = kStateDisabled;
  } else if (state.Running && sys->ProcessAlive(state.RunningPid)) {
    status.State = kStateRunning;
  } else {
    status.State = kStateReady;
  }
  return status;
}

std::string SchedulerService::CronScheduleOf(const TriggerDef& t) {
  CivilTime start = DecodeDateTime(IsoToDateTime(t.StartBoundary));
  uint32_t interval = IsoDurationToMinutes(t.Repetition.Interval);
  std::string minute = std::to_string(start.minute);
  if (interval > 0 && interval % 60 != 0) return "* * * * *";
  if (interval > 0) return minute + " * * * *";
  // The hour after as well: a start that a daylight-saving gap skips moves
  // an hour on, and the runner only runs what is due.
  return minute + " " + std::to_string(start.hour) + "," + std::to_string((start.hour + 1) % 24) +
         " * * *";
}

std::string SchedulerService::AutostartFile() const {
  std::string config = account_.uid >= 0 ? account_.home + "/.config" : GetConfigPath();
  if (config.empty() || config == "/.config") return "";
  return config + "/autostart/lorvant-scheduler-" + StoreMark(store_.folder()) + ".desktop";
}

void SchedulerService::SyncSchedule() {
  SchedSystem* sys = SchedSystem::Default();
  UniqueFd lock = store_.Lock();
  const std::string mark = StoreMark(store_.folder());
  std::string runner;
  auto Runner = [&]() -> const std::string& {
    if (runner.empty()) runner = sys->RunnerPath();
    return runner;
  };
  std::vector<std::string> lines;
  bool any_logon = false;
  int64_t now = sys->Now();
  for (const std::string& name : store_.ListNames()) {
    StoredTask task;
    try {
      task = store_.Load(name);
    } catch (const Exception& e) {
      TLog::Global()->Error("Scheduled task skipped: " + e.Message());
      continue;
    }
    const TaskDefinitionData& d = task.Definition;
    int64_t expiry = ExpiryOf(d);
    if (expiry != 0 && expiry <= now) {
      store_.Remove(name);
      TLog::Global()->Info("Scheduled task \"" + name + "\" expired and was deleted.");
      continue;
    }
    if (!d.Settings.Enabled) continue;
    RunState state = store_.LoadState(name);
    state.LastFired.resize(d.Triggers.size(), 0);
    if (expiry != 0) {
      // One call at the moment the task expires, to delete it then.
      size_t last = 0;
      for (size_t i = 1; i < d.Triggers.size(); ++i) {
        if (IsoToDateTime(d.Triggers[i].EndBoundary) >
            IsoToDateTime(d.Triggers[last].EndBoundary)) {
          last = i;
        }
      }
      lines.push_back(CronLine(CronMomentOf(expiry),
                               {Runner(), "fire", store_.folder(), name, std::to_string(last)},
                               mark));
    }
    for (size_t i = 0; i < d.Triggers.size(); ++i) {
      const TriggerDef& t = d.Triggers[i];
      if (!t.Enabled) continue;
      std::string schedule;
      if (IsCalendarTrigger(t.Type)) {
        int64_t fired = std::max(state.LastFired[i], state.RegisteredAt);
        if (!CanStillFire(t, d.Settings, fired, now)) continue;
        if (IsoToDateTime(t.StartBoundary) == 0) continue;
        schedule = CronScheduleOf(t);
      } else if (t.Type == kTriggerBoot) {
        schedule = "@reboot";
      } else if (t.Type == kTriggerLogon) {
        any_logon = true;
        continue;
      } else {
        continue;  // idle and session triggers have no source of events here
      }
      lines.push_back(
          CronLine(schedule, {Runner(), "fire", store_.folder(), name, std::to_string(i)}, mark));
    }
  }
  std::unique_ptr<CrontabAccess> crontab = sys->Crontab(account_.uid >= 0 ? account_.name : "");
  std::string old_text = crontab->Read();
  std::string new_text = MergeCrontabBlock(old_text, mark, lines);
  if (new_text != old_text) crontab->Write(new_text);

  std::string entry = AutostartFile();
  if (entry.empty()) return;
  if (any_logon) {
    if (runner.empty()) runner = sys->RunnerPath();
    MakeFolderFor(ExtractFilePath(entry), account_);
    std::string text =
        "[Desktop Entry]\nType=Application\nName=Lorvant scheduled tasks\n"
        "Comment=Runs the scheduled tasks that start at logon\nExec=" +
        DesktopExecQuote(runner) + " event logon " + DesktopExecQuote(store_.folder()) +
        "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    WriteFileAtomically(entry, text, 0644);
    sys->ChangeOwner(entry, account_);
  } else if (FileExists(entry)) {
    Env::Default()->RemoveAt(kCurrentFolder, entry, false);
  }
}

}  // namespace lorvant
