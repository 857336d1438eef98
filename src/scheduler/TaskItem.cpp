#include "scheduler/TaskItem.h"

#include <algorithm>

#include "base/Unicode.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskScheduler.h"

namespace lorvant {
namespace {

// First-generation flag values of TTaskFlag, in enumeration order.
constexpr uint32_t kFlagValues[] = {0x1,    0x2,  0x4,   0x200, 0x2000, 0x10,
                                    0x1000, 0x20, 0x800, 0x40,  0x80,   0x400};

bool Has(TTaskVistaFlags flags, TTaskVistaFlag f) { return (flags & VistaFlagOf(f)) != 0; }

}  // namespace

TTaskItem::TTaskItem(TTaskScheduler* manager)
    : FTaskManager(manager), FTriggers(std::make_unique<TTriggers>(this)) {}

TTaskItem::~TTaskItem() = default;

bool TTaskItem::Vista() const { return FTaskManager->RunningVistaOrLater(); }

std::string TTaskItem::Name() const { return StripJobExtension(FTaskName); }

void TTaskItem::RequireActivation() {
  bool active = Vista() ? static_cast<bool>(FTaskDefinition) : static_cast<bool>(FWorkItem);
  if (!active) throw ETaskError(FormatText("Task \"%s\" is not activated.", Name()));
}

void TTaskItem::RequireInterface() {
  bool there = Vista() ? static_cast<bool>(FRegistered) : static_cast<bool>(FWorkItem);
  if (!there) throw ETaskError(FormatText("Task \"%s\" is not activated.", Name()));
}

void TTaskItem::Activate() {
  if (!Vista()) {
    WorkItemScheduler* its = FTaskManager->ITS();
    if (its == nullptr) throw ESchedulerError(kServiceNotRunning);
    FWorkItem.reset();
    try {
      FWorkItem = its->Activate(FTaskName);
    } catch (const Exception&) {
      throw ESchedulerError(FormatText("Could not activate \"%s\" task.", Name()));
    }
  }
  FTriggers->InitTriggers();
}

void TTaskItem::Deactivate(bool save_changes) {
  if (!Vista()) {
    RequireActivation();
    // The work item goes however the save ends.
    WorkItemPtr work = FWorkItem;
    struct Release {
      WorkItemPtr* held;
      ~Release() { held->reset(); }
    } release{&FWorkItem};
    if (save_changes) {
      // Trigger records edited in memory count as changes too.
      FTriggers->UpdateTriggers();
      if (work->IsDirty()) work->Save();
    }
    return;
  }
  if (!save_changes) return;
  RequireActivation();
  std::shared_ptr<TaskFolder> folder = FTaskManager->Folder();
  FRegistered = folder->RegisterTaskDefinition(Name(), FTaskDefinition, kTaskCreateOrUpdate,
                                               FTaskSched2UserID, FTaskSched2Pw,
                                               FTaskDefinition->Principal.LogonType, "");
}

std::string TTaskItem::CheckDefinition() {
  RequireActivation();
  if (!Vista()) {
    FTriggers->UpdateTriggers();
    return FWorkItem->Check();
  }
  return FTaskManager->Folder()->CheckTaskDefinition(Name(), FTaskDefinition, FTaskSched2UserID,
                                                     FTaskDefinition->Principal.LogonType);
}

void TTaskItem::Run() {
  RequireInterface();
  if (Vista()) {
    FRegistered->Run("");
  } else {
    FWorkItem->Run();
  }
}

void TTaskItem::SetAccountInformation(const std::string& account, const std::string& password) {
  RequireActivation();
  if (!Vista()) {
    FWorkItem->SetAccountInformation(account, password);
    return;
  }
  PrincipalInfo& p = FTaskDefinition->Principal;
  p.UserId = account;
  FTaskSched2UserID = account;
  std::shared_ptr<TaskFolder> folder = FTaskManager->Folder();
  if (!password.empty()) {
    folder->RegisterTaskDefinition(Name(), FTaskDefinition, kTaskCreateOrUpdate, account, password,
                                   1, "");
    FTaskSched2Pw = password;
    return;
  }
  if (!account.empty()) {
    p.LogonType = 3;
  } else {
    p.UserId = "System";
    FTaskSched2UserID = "System";
    p.LogonType = 5;
  }
  folder->RegisterTaskDefinition(Name(), FTaskDefinition, kTaskCreateOrUpdate, "", "", p.LogonType,
                                 "");
  FTaskSched2UserID.clear();
  FTaskSched2Pw = password;
}

void TTaskItem::EnsureExecAction() {
  if (FTaskDefinition->Actions.empty()) {
    FTaskDefinition->Actions.push_back(ActionDef{});
    CurrentTask = 1;
  }
}

ActionDef& TTaskItem::CurrentActionDef() {
  auto& actions = FTaskDefinition->Actions;
  if (CurrentTask < 1 || static_cast<size_t>(CurrentTask) > actions.size()) {
    throw EServiceError(kErrorInvalidArgument,
                        "The task has no action number " + std::to_string(CurrentTask) + ".");
  }
  return actions[static_cast<size_t>(CurrentTask) - 1];
}

ActionDef* TTaskItem::ChosenAction() {
  RequireActivation();
  if (CurrentTask < 1) return nullptr;
  return &CurrentActionDef();
}

void TTaskItem::InsertAction(int type) {
  if (!Vista()) return;
  RequireActivation();
  ActionDef a;
  a.Type = type;
  FTaskDefinition->Actions.push_back(a);
}

void TTaskItem::RemoveAction(int index) {
  if (!Vista()) return;
  RequireActivation();
  auto& actions = FTaskDefinition->Actions;
  if (index > 0 && static_cast<size_t>(index) <= actions.size()) {
    actions.erase(actions.begin() + (index - 1));
  }
}

void TTaskItem::GetTasksLists(std::vector<std::string>* descriptions,
                              std::vector<std::string>* kinds) {
  if (!Vista()) return;
  RequireInterface();
  for (const ActionDef& a : FRegistered->Definition()->Actions) {
    if (a.Type == kActionExec) {
      kinds->push_back("Start a programm");
      descriptions->push_back(a.Path);
    } else if (a.Type == kActionEmail) {
      kinds->push_back("Send e-mail");
      descriptions->push_back(a.To + " " + a.Subject);
    } else if (a.Type == kActionShowMessage) {
      kinds->push_back("Display message");
      descriptions->push_back(a.Title);
    }
  }
}

std::vector<std::string> TTaskItem::GetTimeProperties() {
  if (!Vista()) return std::vector<std::string>(6);
  RequireActivation();
  const TaskSettings& s = FTaskDefinition->Settings;
  return {s.ExecutionTimeLimit,     s.RestartInterval,  std::to_string(s.RestartCount),
          s.DeleteExpiredTaskAfter, s.Idle.WaitTimeout, s.Idle.IdleDuration};
}

void TTaskItem::SetTimeProperties(const std::vector<std::string>& v) {
  if (!Vista()) return;
  RequireActivation();
  if (v.size() != 6) throw ETaskError("Six time properties are expected.");
  TaskSettings& s = FTaskDefinition->Settings;
  s.ExecutionTimeLimit = v[0];
  s.RestartInterval = v[1];
  int count = 0;
  bool ok = !v[2].empty() && v[2].size() < 10;
  for (char c : v[2]) ok = ok && c >= '0' && c <= '9';
  if (!ok) throw ETaskError("'" + v[2] + "' is not a valid integer value");
  count = std::stoi(v[2]);
  s.RestartCount = count;
  s.DeleteExpiredTaskAfter = v[3];
  s.Idle.WaitTimeout = v[4];
  s.Idle.IdleDuration = v[5];
}

void TTaskItem::GetBinaryData(std::string* stream) {
  RequireActivation();
  if (Vista()) {
    *stream += Utf8ToUtf16(FTaskDefinition->Data, false);
  } else {
    *stream += FWorkItem->GetWorkItemData();
  }
}

void TTaskItem::SetBinaryData(const std::string& bytes) {
  RequireActivation();
  if (Vista()) {
    FTaskDefinition->Data = Utf16ToUtf8(bytes.substr(0, bytes.size() / 2 * 2), false);
    return;
  }
  if (bytes.empty()) return;
  // The service counts the data in 16 bits; more would be cut short.
  if (bytes.size() > 65535) {
    throw ETaskError("A task's data can hold at most 65535 bytes; " + std::to_string(bytes.size()) +
                     " were given.");
  }
  FWorkItem->SetWorkItemData(bytes);
}

std::string TTaskItem::GetApplicationName() {
  RequireActivation();
  if (!Vista()) return FWorkItem->GetApplicationName();
  const auto& actions = FTaskDefinition->Actions;
  const ActionDef* a = nullptr;
  if (CurrentTask == 0) {
    if (actions.empty()) return "Empty";
    if (actions.size() > 1) return "Multiple actions";
    a = &actions[0];
  } else {
    a = &CurrentActionDef();
  }
  switch (a->Type) {
    case kActionExec:
      return a->Path;
    case kActionComHandler:
      return "COM Object";
    case kActionEmail:
      return "Send e-mail";
    case kActionShowMessage:
      return "Display message";
    default:
      return "";
  }
}

void TTaskItem::SetApplicationName(const std::string& v) {
  RequireActivation();
  if (!Vista()) return FWorkItem->SetApplicationName(v);
  EnsureExecAction();
  CurrentActionDef().Path = v;
}

std::string TTaskItem::GetParameters() {
  RequireActivation();
  if (!Vista()) return FWorkItem->GetParameters();
  if (CurrentTask < 1) CurrentTask = 1;
  return CurrentActionDef().Arguments;
}

void TTaskItem::SetParameters(const std::string& v) {
  RequireActivation();
  if (!Vista()) return FWorkItem->SetParameters(v);
  EnsureExecAction();
  CurrentActionDef().Arguments = v;
}

std::string TTaskItem::GetWorkingDirectory() {
  RequireActivation();
  if (!Vista()) return FWorkItem->GetWorkingDirectory();
  EnsureExecAction();
  return CurrentActionDef().WorkingDirectory;
}

void TTaskItem::SetWorkingDirectory(const std::string& v) {
  RequireActivation();
  if (!Vista()) return FWorkItem->SetWorkingDirectory(v);
  EnsureExecAction();
  CurrentActionDef().WorkingDirectory = v;
}

std::string TTaskItem::GetComment() {
  RequireActivation();
  return Vista() ? FTaskDefinition->Registration.Description : FWorkItem->GetComment();
}

void TTaskItem::SetComment(const std::string& v) {
  RequireActivation();
  if (Vista()) {
    FTaskDefinition->Registration.Description = v;
  } else {
    FWorkItem->SetComment(v);
  }
}

std::string TTaskItem::GetCreator() {
  RequireActivation();
  return Vista() ? FTaskDefinition->Registration.Author : FWorkItem->GetCreator();
}

void TTaskItem::SetCreator(const std::string& v) {
  RequireActivation();
  if (Vista()) {
    FTaskDefinition->Registration.Author = v;
  } else {
    FWorkItem->SetCreator(v);
  }
}

std::string TTaskItem::GetAccountName() {
  RequireActivation();
  return Vista() ? FTaskDefinition->Principal.UserId : FWorkItem->GetAccountInformation();
}

TTaskFlags TTaskItem::GetFlags() {
  if (Vista()) return 0;  // the registered task offers no such flags
  RequireInterface();
  uint32_t raw = FWorkItem->GetFlags();
  TTaskFlags flags = 0;
  for (int i = 0; i < 12; ++i) {
    if ((raw & kFlagValues[i]) != 0) flags |= static_cast<TTaskFlags>(1u << i);
  }
  return flags;
}

void TTaskItem::SetFlags(TTaskFlags flags) {
  if (Vista()) return;
  RequireInterface();
  uint32_t raw = 0;
  for (int i = 0; i < 12; ++i) {
    if ((flags >> i & 1) != 0) raw |= kFlagValues[i];
  }
  FWorkItem->SetFlags(raw);
}

TTaskVistaFlags TTaskItem::GetVistaFlags() {
  if (!Vista()) return 0;
  RequireActivation();
  const TaskSettings& s = FTaskDefinition->Settings;
  const bool values[] = {s.AllowDemandStart,
                         s.AllowHardTerminate,
                         s.DisallowStartIfOnBatteries,
                         s.StopIfGoingOnBatteries,
                         s.Enabled,
                         s.Hidden,
                         s.RunOnlyIfIdle,
                         s.Idle.StopOnIdleEnd,
                         s.Idle.RestartOnIdle,
                         s.RunOnlyIfNetworkAvailable,
                         s.StartWhenAvailable,
                         s.WakeToRun,
                         FTaskDefinition->Principal.LogonType == 3};
  TTaskVistaFlags flags = 0;
  for (int i = 0; i < 13; ++i) {
    if (values[i]) flags |= static_cast<TTaskVistaFlags>(1u << i);
  }
  return flags;
}

void TTaskItem::SetVistaFlags(TTaskVistaFlags f) {
  if (!Vista()) return;
  RequireActivation();
  TaskSettings& s = FTaskDefinition->Settings;
  s.AllowDemandStart = Has(f, tfvAllowDemandStart);
  s.AllowHardTerminate = Has(f, tfvAllowHardTerminate);
  s.DisallowStartIfOnBatteries = Has(f, tfvDisallowStartIfOnBatteries);
  s.StopIfGoingOnBatteries = Has(f, tfvStopIfGoingOnBatteries);
  s.Enabled = Has(f, tfvEnabled);
  s.Hidden = Has(f, tfvHidden);
  s.RunOnlyIfIdle = Has(f, tfvRunOnlyIfIdle);
  s.Idle.StopOnIdleEnd = Has(f, tfvStopOnIdleEnd);
  s.Idle.RestartOnIdle = Has(f, tfvRestartOnIdle);
  s.RunOnlyIfNetworkAvailable = Has(f, tfvRunOnlyIfNetworkAvailable);
  s.StartWhenAvailable = Has(f, tfvStartWhenAvailable);
  s.WakeToRun = Has(f, tfvWakeToRun);
  FTaskDefinition->Principal.LogonType = Has(f, tfvNeedLogon) ? 3 : 1;
}

TTaskPriority TTaskItem::GetPriority() {
  if (Vista()) return tpNormal;
  RequireInterface();
  switch (FWorkItem->GetPriority()) {
    case 0x40:
      return tpIdle;
    case 0x80:
      return tpHigh;
    case 0x100:
      return tpRealTime;
    default:
      return tpNormal;
  }
}

void TTaskItem::SetPriority(TTaskPriority p) {
  if (Vista()) return;
  RequireInterface();
  static const uint32_t kClasses[] = {0x40, 0x20, 0x80, 0x100};
  FWorkItem->SetPriority(kClasses[p]);
}

TIdleTime TTaskItem::GetIdleTime() {
  TIdleTime t;
  if (Vista()) return t;
  RequireInterface();
  FWorkItem->GetIdleWait(&t.wIdleMinutes, &t.wDeadlineMinutes);
  return t;
}

void TTaskItem::SetIdleTime(const TIdleTime& t) {
  if (Vista()) return;
  RequireInterface();
  FWorkItem->SetIdleWait(t.wIdleMinutes, t.wDeadlineMinutes);
}

uint32_t TTaskItem::GetMaxRunTime() {
  if (Vista()) {
    // Read back from the time limit, so what was written is what is shown.
    RequireActivation();
    const std::string& limit = FTaskDefinition->Settings.ExecutionTimeLimit;
    uint32_t minutes = IsoDurationToMinutes(limit);
    if (minutes == 0) return 0xFFFFFFFFu;
    return minutes >= 0xFFFFFFFFu / 60000 ? 0xFFFFFFFEu : minutes * 60000;
  }
  RequireInterface();
  return FWorkItem->GetMaxRunTime();
}

void TTaskItem::SetMaxRunTime(uint32_t ms) {
  if (!Vista()) {
    RequireInterface();
    return FWorkItem->SetMaxRunTime(ms);
  }
  RequireActivation();
  FTaskDefinition->Settings.ExecutionTimeLimit =
      ms == 0xFFFFFFFFu ? "PT0S" : MinutesToIsoDuration(ms / 60000);
}

TTaskStatus TTaskItem::GetStatus() {
  RequireInterface();
  if (Vista()) return static_cast<TTaskStatus>(FRegistered->State() + 8);
  return static_cast<TTaskStatus>(FWorkItem->GetStatus() & 0xFF);
}

uint32_t TTaskItem::GetExitCode() {
  RequireInterface();
  return Vista() ? FRegistered->LastTaskResult() : FWorkItem->GetExitCode();
}

TDateTime TTaskItem::GetMostRecentRunTime() {
  RequireInterface();
  return Vista() ? FRegistered->LastRunTime() : FWorkItem->GetMostRecentRunTime();
}

TDateTime TTaskItem::GetNextRunTime() {
  RequireInterface();
  return Vista() ? FRegistered->NextRunTime() : FWorkItem->GetNextRunTime();
}

TTriggers* TTaskItem::GetTriggers() {
  if (!Vista()) RequireInterface();
  return FTriggers.get();
}

std::string TTaskItem::GetTriggerString() {
  TTriggers* t = GetTriggers();
  if (t->Count() == 0) return "Task not scheduled";
  if (t->Count() == 1) return t->GetItem(0)->AsString();
  return "Multiple schedule times";
}

TTaskInstancesPolicy TTaskItem::GetTaskInstancesPolicy() {
  if (!Vista()) return tipIgnoreNew;
  RequireActivation();
  int v = FTaskDefinition->Settings.MultipleInstances;
  return v >= 0 && v <= 3 ? static_cast<TTaskInstancesPolicy>(v) : tipIgnoreNew;
}

void TTaskItem::SetTaskInstancesPolicy(TTaskInstancesPolicy p) {
  if (!Vista()) return;
  RequireActivation();
  FTaskDefinition->Settings.MultipleInstances = p;
}

int TTaskItem::GetActionsCount() {
  if (!Vista()) return 0;
  RequireActivation();
  return static_cast<int>(FTaskDefinition->Actions.size());
}

// The e-mail and message texts belong to the current action when it is of
// their kind: reading another kind gives "", writing to it is refused.
#define LORVANT_ACTION_TEXT(Getter, Setter, Field, Kind, KindName)                            \
  std::string TTaskItem::Getter() {                                                           \
    if (!Vista()) return "";                                                                  \
    ActionDef* a = ChosenAction();                                                            \
    return a == nullptr || a->Type != Kind ? "" : a->Field;                                   \
  }                                                                                           \
  void TTaskItem::Setter(const std::string& v) {                                              \
    if (!FTaskDefinition) {                                                                   \
      throw ETaskError(FormatText("Task \"%s\" is not activated.", Name()));                  \
    }                                                                                         \
    if (CurrentTask < 1) return;                                                              \
    ActionDef& a = CurrentActionDef();                                                        \
    if (a.Type != Kind) {                                                                     \
      throw ETaskError("Action " + std::to_string(CurrentTask) + " of the task \"" + Name() + \
                       "\" is not " KindName " action.");                                     \
    }                                                                                         \
    a.Field = v;                                                                              \
  }

LORVANT_ACTION_TEXT(GetMailSendTo, SetMailSendTo, To, kActionEmail, "an e-mail")
LORVANT_ACTION_TEXT(GetMailSendFrom, SetMailSendFrom, From, kActionEmail, "an e-mail")
LORVANT_ACTION_TEXT(GetMailSubject, SetMailSubject, Subject, kActionEmail, "an e-mail")
LORVANT_ACTION_TEXT(GetMailContent, SetMailContent, Body, kActionEmail, "an e-mail")
LORVANT_ACTION_TEXT(GetMailServer, SetMailServer, Server, kActionEmail, "an e-mail")
LORVANT_ACTION_TEXT(GetMessTitle, SetMessTitle, Title, kActionShowMessage, "a message")
LORVANT_ACTION_TEXT(GetMessText, SetMessText, MessageBody, kActionShowMessage, "a message")

#undef LORVANT_ACTION_TEXT

}  // namespace lorvant
