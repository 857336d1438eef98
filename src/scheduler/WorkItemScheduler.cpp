#include "scheduler/WorkItemScheduler.h"

#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskService.h"
#include "scheduler/TriggerRecord.h"

namespace lorvant {
namespace {

constexpr uint32_t kFlagDisabled = 0x4;
constexpr uint32_t kFlagDeleteWhenDone = 0x2;
constexpr uint32_t kFlagRunIfConnectedToInternet = 0x400;

}  // namespace

WorkItem::WorkItem(std::shared_ptr<SchedulerService> service, StoredTask task, bool is_new)
    : service_(std::move(service)), task_(std::move(task)), dirty_(is_new) {
  if (!task_.Job.HasRecords) {
    // A task written by the second generation: its triggers as records.
    task_.Job.TriggerRecords.clear();
    for (const TriggerDef& t : task_.Definition.Triggers) {
      task_.Job.TriggerRecords.push_back(PackTriggerRecord(ServiceTriggerToRecord(t)));
    }
  }
}

ActionDef& WorkItem::ExecAction() {
  auto& actions = task_.Definition.Actions;
  if (actions.empty() || actions[0].Type != kActionExec) {
    actions.insert(actions.begin(), ActionDef{});
  }
  return actions[0];
}

std::string WorkItem::GetApplicationName() const {
  const auto& a = task_.Definition.Actions;
  return a.empty() || a[0].Type != kActionExec ? "" : a[0].Path;
}
void WorkItem::SetApplicationName(const std::string& v) {
  ExecAction().Path = v;
  dirty_ = true;
}
std::string WorkItem::GetParameters() const {
  const auto& a = task_.Definition.Actions;
  return a.empty() || a[0].Type != kActionExec ? "" : a[0].Arguments;
}
void WorkItem::SetParameters(const std::string& v) {
  ExecAction().Arguments = v;
  dirty_ = true;
}
std::string WorkItem::GetWorkingDirectory() const {
  const auto& a = task_.Definition.Actions;
  return a.empty() || a[0].Type != kActionExec ? "" : a[0].WorkingDirectory;
}
void WorkItem::SetWorkingDirectory(const std::string& v) {
  ExecAction().WorkingDirectory = v;
  dirty_ = true;
}
void WorkItem::SetComment(const std::string& v) {
  task_.Definition.Registration.Description = v;
  dirty_ = true;
}
void WorkItem::SetCreator(const std::string& v) {
  task_.Definition.Registration.Author = v;
  dirty_ = true;
}
void WorkItem::SetAccountInformation(const std::string& account, const std::string&) {
  task_.Job.AccountName = account;
  task_.Definition.Principal.UserId = account;
  dirty_ = true;
}
void WorkItem::SetFlags(uint32_t flags) {
  task_.Job.Flags = flags;
  TaskSettings& s = task_.Definition.Settings;
  s.Enabled = (flags & kFlagDisabled) == 0;
  // The flags the runner acts on, as the second generation's settings.
  s.RunOnlyIfNetworkAvailable = (flags & kFlagRunIfConnectedToInternet) != 0;
  s.DeleteExpiredTaskAfter = (flags & kFlagDeleteWhenDone) != 0 ? "PT0S" : "";
  dirty_ = true;
}
void WorkItem::SetPriority(uint32_t priority) {
  task_.Job.Priority = priority;
  dirty_ = true;
}
void WorkItem::GetIdleWait(uint16_t* idle, uint16_t* deadline) const {
  *idle = task_.Job.IdleMinutes;
  *deadline = task_.Job.DeadlineMinutes;
}
void WorkItem::SetIdleWait(uint16_t idle, uint16_t deadline) {
  task_.Job.IdleMinutes = idle;
  task_.Job.DeadlineMinutes = deadline;
  dirty_ = true;
}
void WorkItem::SetMaxRunTime(uint32_t ms) {
  task_.Job.MaxRunTimeMs = ms;
  task_.Definition.Settings.ExecutionTimeLimit =
      ms == 0xFFFFFFFFu ? "PT0S" : MinutesToIsoDuration(ms / 60000);
  dirty_ = true;
}
void WorkItem::SetWorkItemData(const std::string& bytes) {
  task_.Job.WorkItemData = bytes;
  dirty_ = true;
}

void WorkItem::CheckIndex(int index) const {
  if (index < 0 || index >= GetTriggerCount()) {
    throw EServiceError(kErrorInvalidArgument,
                        "The task has no trigger " + std::to_string(index) + ".");
  }
}

int WorkItem::CreateTrigger() {
  task_.Job.TriggerRecords.push_back(PackTriggerRecord(TaskTriggerRecord{}));
  dirty_ = true;
  return GetTriggerCount() - 1;
}

void WorkItem::DeleteTrigger(int index) {
  CheckIndex(index);
  task_.Job.TriggerRecords.erase(task_.Job.TriggerRecords.begin() + index);
  dirty_ = true;
}

TriggerRecordBytes WorkItem::GetTrigger(int index) const {
  CheckIndex(index);
  return task_.Job.TriggerRecords[static_cast<size_t>(index)];
}

void WorkItem::SetTrigger(int index, const TriggerRecordBytes& record) {
  CheckIndex(index);
  if (task_.Job.TriggerRecords[static_cast<size_t>(index)] != record) {
    task_.Job.TriggerRecords[static_cast<size_t>(index)] = record;
    dirty_ = true;
  }
}

std::string WorkItem::GetTriggerString(int index) const {
  TaskTriggerRecord r = UnpackTriggerRecord(GetTrigger(index));
  return DescribeServiceTrigger(
      RecordToServiceTrigger(r, static_cast<int>(r.TriggerType & 0xFF), 0, ""));
}

TaskDefinitionData WorkItem::EffectiveDefinition() const {
  TaskDefinitionData d = task_.Definition;
  d.Triggers.clear();
  for (const TriggerRecordBytes& bytes : task_.Job.TriggerRecords) {
    TaskTriggerRecord r = UnpackTriggerRecord(bytes);
    d.Triggers.push_back(RecordToServiceTrigger(r, static_cast<int>(r.TriggerType & 0xFF), 0, ""));
  }
  return d;
}

uint32_t WorkItem::GetStatus() {
  TaskDefinitionData d = EffectiveDefinition();
  TaskStatus s = service_->StatusOf(task_.Name, d);
  if (s.State == kStateRunning) return kStatusRunning;
  if (s.State == kStateDisabled) return kStatusDisabled;
  if (d.Triggers.empty()) return kStatusNotScheduled;
  if (s.LastRunTime == 0) return kStatusHasNotRun;
  if (s.NextRunTime == 0) return kStatusNoMoreRuns;
  return kStatusReady;
}

uint32_t WorkItem::GetExitCode() {
  return service_->StatusOf(task_.Name, EffectiveDefinition()).LastTaskResult;
}

TDateTime WorkItem::GetMostRecentRunTime() {
  return EpochToDateTime(service_->StatusOf(task_.Name, EffectiveDefinition()).LastRunTime);
}

TDateTime WorkItem::GetNextRunTime() {
  return EpochToDateTime(service_->StatusOf(task_.Name, EffectiveDefinition()).NextRunTime);
}

void WorkItem::Run() { service_->RunNow(task_.Name); }

StoredTask WorkItem::ToStore() const {
  StoredTask stored = task_;
  stored.Job.HasRecords = true;
  stored.Definition = EffectiveDefinition();
  return stored;
}

std::string WorkItem::Check() { return service_->CheckTask(ToStore()); }

void WorkItem::Save() {
  service_->Register(ToStore());
  dirty_ = false;
}

WorkItemScheduler::WorkItemScheduler(const std::string& store_folder)
    : service_(std::make_shared<SchedulerService>(store_folder)) {}

std::vector<std::string> WorkItemScheduler::Enum() {
  std::vector<std::string> names;
  for (const std::string& n : service_->store().ListNames()) names.push_back(n + ".job");
  return names;
}

WorkItemPtr WorkItemScheduler::Activate(const std::string& name) {
  std::string plain = StripJobExtension(name);
  return std::make_shared<WorkItem>(service_, service_->store().Load(plain), false);
}

WorkItemPtr WorkItemScheduler::NewWorkItem(const std::string& name) {
  std::string plain = StripJobExtension(name);
  CheckTaskName(plain);
  if (service_->store().Exists(plain)) {
    throw EServiceError(kErrorAlreadyExists, "The task \"" + plain + "\" already exists.");
  }
  StoredTask task;
  task.Name = plain;
  task.Definition.Registration.Author = SchedSystem::Default()->CurrentUserName();
  task.Job.HasRecords = true;
  return std::make_shared<WorkItem>(service_, std::move(task), true);
}

void WorkItemScheduler::Delete(const std::string& name) {
  service_->Delete(StripJobExtension(name));
}

std::string WorkItemScheduler::GetTargetComputer() {
  return "\\\\" + SchedSystem::Default()->HostName();
}

void WorkItemScheduler::SetTargetComputer(const std::string& name) {
  if (!IsLocalComputerName(name)) {
    throw EServiceError(kErrorNotLocal,
                        "Only the local computer's scheduled tasks can be "
                        "reached; \"" +
                            name + "\" is another computer.");
  }
}

}  // namespace lorvant
