#include "scheduler/SchedulerService.h"

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

}  // namespace

SchedulerService::SchedulerService(const std::string& store_folder)
    : store_(store_folder.empty() ? TaskStore::DefaultFolder() : store_folder) {}

bool SchedulerService::EnsureRunning() {
  SchedSystem* sys = SchedSystem::Default();
  return sys->IsCronRunning() || sys->StartCron();
}

void SchedulerService::CheckAccount(const StoredTask& task) {
  SchedSystem* sys = SchedSystem::Default();
  std::string user = PlainUser(task.Definition.Principal.UserId);
  if (user.empty() || SameTextIgnoreCase(user, "System") || user == sys->CurrentUserName()) return;
  if (!sys->IsRoot()) {
    throw EServiceError(kErrorAccessDenied, "The task \"" + task.Name + "\" is to run as \"" +
                                                user +
                                                "\", but only root can schedule a task for another "
                                                "account; tasks here run as \"" +
                                                sys->CurrentUserName() + "\".");
  }
  throw EServiceError(kErrorAccessDenied,
                      "The task \"" + task.Name + "\" is to run as \"" + user +
                          "\"; tasks of another account are not kept here yet, so it runs as \"" +
                          sys->CurrentUserName() + "\" or not at all.");
}

void SchedulerService::Register(const StoredTask& task) {
  CheckTaskName(task.Name);
  CheckAccount(task);
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
  if (!task.Definition.Settings.AllowDemandStart) {
    throw EServiceError(kErrorAccessDenied,
                        "The task \"" + name + "\" may not be started on demand.");
  }
  SchedSystem* sys = SchedSystem::Default();
  std::string error;
  if (!sys->StartDetached({sys->RunnerPath(), "now", store_.folder(), name}, &error)) {
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
  std::string config = GetConfigPath();
  if (config.empty()) return "";
  return config + "/autostart/lorvant-scheduler-" + StoreMark(store_.folder()) + ".desktop";
}

void SchedulerService::SyncSchedule() {
  SchedSystem* sys = SchedSystem::Default();
  UniqueFd lock = store_.Lock();
  const std::string mark = StoreMark(store_.folder());
  std::string runner;
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
    if (!d.Settings.Enabled) continue;
    for (size_t i = 0; i < d.Triggers.size(); ++i) {
      const TriggerDef& t = d.Triggers[i];
      if (!t.Enabled) continue;
      std::string schedule;
      if (IsCalendarTrigger(t.Type)) {
        if (NextOccurrence(t, now) == 0 && !d.Settings.StartWhenAvailable) continue;
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
      if (runner.empty()) runner = sys->RunnerPath();
      lines.push_back(
          CronLine(schedule, {runner, "fire", store_.folder(), name, std::to_string(i)}, mark));
    }
  }
  std::unique_ptr<CrontabAccess> crontab = sys->Crontab("");
  std::string old_text = crontab->Read();
  std::string new_text = MergeCrontabBlock(old_text, mark, lines);
  if (new_text != old_text) crontab->Write(new_text);

  std::string entry = AutostartFile();
  if (entry.empty()) return;
  if (any_logon) {
    if (runner.empty()) runner = sys->RunnerPath();
    ForceFolder(ExtractFilePath(entry));
    std::string text =
        "[Desktop Entry]\nType=Application\nName=Lorvant scheduled tasks\n"
        "Comment=Runs the scheduled tasks that start at logon\nExec=" +
        DesktopExecQuote(runner) + " event logon " + DesktopExecQuote(store_.folder()) +
        "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    WriteFileAtomically(entry, text, 0644);
  } else if (FileExists(entry)) {
    Env::Default()->RemoveAt(kCurrentFolder, entry, false);
  }
}

}  // namespace lorvant
