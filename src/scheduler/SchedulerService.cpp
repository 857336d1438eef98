#include "scheduler/SchedulerService.h"

#include <algorithm>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "log/Log.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/DefinitionCheck.h"
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
  if (other.uid < 0) {
    std::string problem = CheckTask(task);
    if (!problem.empty()) throw ETaskError(problem);
  }
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
    state.RegisteredAt = NowSeconds();
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
  status.NextRunTime = NextRunOf(def, NowSeconds());
  bool queued = false;
  for (int64_t pid : state.QueuedPids) queued = queued || sys->ProcessAlive(pid);
  if (!def.Settings.Enabled) {
    status.State = kStateDisabled;
  } else if (queued) {
    // A start waits for the run before it, which still goes on.
    status.State = kStateQueued;
  } else if (state.Running && sys->ProcessAlive(state.RunningPid)) {
    status.State = kStateRunning;
  } else {
    status.State = kStateReady;
  }
  return status;
}

std::string SchedulerService::AutostartFile() const {
  std::string config = account_.uid >= 0 ? account_.home + "/.config" : GetConfigPath();
  if (config.empty() || config == "/.config") return "";
  return config + "/autostart/lorvant-scheduler-" + StoreMark(store_.folder()) + ".desktop";
}

ScheduleContext SchedulerService::Context() {
  ScheduleContext c;
  c.StoreFolder = store_.folder();
  c.Mark = StoreMark(store_.folder());
  c.Now = NowSeconds();
  return c;
}

std::string SchedulerService::CheckTask(const StoredTask& task) {
  ScheduleContext c = Context();
  std::string problem = DefinitionProblem(task, c.Now);
  if (!problem.empty()) return problem;
  try {
    c.Runner = SchedSystem::Default()->RunnerPath();
  } catch (const Exception& e) {
    return e.Message();
  }
  ScheduledTask scheduled{task.Name, task.Definition, RunState()};
  scheduled.State.RegisteredAt = c.Now;
  DesiredBlock block = DesiredSchedule({scheduled}, c);
  if (!block.Problems.empty()) return "The task " + block.Problems.front();
  return "";
}

void SchedulerService::SyncSchedule() {
  SchedSystem* sys = SchedSystem::Default();
  UniqueFd lock = store_.Lock();
  std::vector<ScheduledTask> tasks;
  for (const std::string& name : store_.ListNames()) {
    try {
      StoredTask stored = store_.Load(name);
      tasks.push_back({name, std::move(stored.Definition), store_.LoadState(name)});
    } catch (const Exception& e) {
      TLog::Global()->Error("Scheduled task skipped: " + e.Message());
    }
  }
  ScheduleContext context = Context();
  if (!tasks.empty()) context.Runner = sys->RunnerPath();
  DesiredBlock block = DesiredSchedule(tasks, context);
  for (const std::string& name : block.Expired) {
    try {
      store_.Remove(name);
      TLog::Global()->Info("Scheduled task \"" + name + "\" expired and was deleted.");
    } catch (const Exception& e) {
      TLog::Global()->Error("Scheduled task \"" + name + "\" expired: " + e.Message());
    }
  }
  for (const std::string& problem : block.Problems) {
    TLog::Global()->Error("Scheduled task without crontab lines: " + problem);
  }
  std::unique_ptr<CrontabAccess> crontab = sys->Crontab(account_.uid >= 0 ? account_.name : "");
  std::string old_text = crontab->Read();
  std::string new_text = MergeCrontabBlock(old_text, context.Mark, block.Lines);
  if (new_text != old_text) crontab->Write(new_text);

  std::string entry = AutostartFile();
  if (entry.empty()) return;
  const FileRightsOf rights(account_);
  if (block.Logon) {
    MakeFolderFor(ExtractFilePath(entry), account_);
    std::string text =
        "[Desktop Entry]\nType=Application\nName=Lorvant scheduled tasks\n"
        "Comment=Runs the scheduled tasks that start at logon\nExec=" +
        DesktopExecQuote(context.Runner) + " event logon " + DesktopExecQuote(store_.folder()) +
        "\nNoDisplay=true\nX-GNOME-Autostart-enabled=true\n";
    WriteFileAtomically(entry, text, 0644);
    sys->ChangeOwner(entry, account_);
  } else if (FileExists(entry)) {
    Env::Default()->RemoveAt(kCurrentFolder, entry, false);
  }
}

}  // namespace lorvant
