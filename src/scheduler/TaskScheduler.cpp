#include "scheduler/TaskScheduler.h"

#include <algorithm>

#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {

TTaskScheduler::TTaskScheduler(std::string store_folder)
    : store_folder_(std::move(store_folder)), FVistaOrLater(IsVistaOrLater()) {
  Close();
}

TTaskScheduler::~TTaskScheduler() {
  Clear();
  Close();
}

void TTaskScheduler::Open() {
  FITS.reset();
  FTaskService.reset();
  if (!StartScheduler()) throw ESchedulerError(kServiceNotRunning);
  if (RunningVistaOrLater()) {
    auto service = std::make_shared<TaskService>(store_folder_);
    service->Connect("", "", "", "");
    FTaskService = std::move(service);
  } else {
    FITS = std::make_shared<WorkItemScheduler>(store_folder_);
  }
}

void TTaskScheduler::Close() {
  FITS.reset();
  FTaskService.reset();
}

bool TTaskScheduler::StartScheduler() {
  SchedSystem* sys = SchedSystem::Default();
  return sys->IsCronRunning() || sys->StartCron();
}

bool TTaskScheduler::GetActive() const {
  return RunningVistaOrLater() ? static_cast<bool>(FTaskService) : static_cast<bool>(FITS);
}

void TTaskScheduler::SetActive(bool active) {
  if (active) {
    Open();
  } else {
    Close();
  }
}

std::shared_ptr<TaskFolder> TTaskScheduler::Folder() {
  if (!FTaskService) throw ESchedulerError(kServiceNotRunning);
  std::shared_ptr<TaskFolder> folder = FTaskService->GetFolder(CurrentFolderPath);
  if (!folder) throw ESchedulerError(kServiceNotRunning);
  return folder;
}

void TTaskScheduler::Clear() {
  while (!FItems.empty()) FItems.pop_back();
}

void TTaskScheduler::AddItem(std::unique_ptr<TTaskItem> item) {
  bool can_add = true;
  if (OnBeforeTaskAdded) OnBeforeTaskAdded(this, item.get(), can_add);
  if (can_add) FItems.push_back(std::move(item));
}

void TTaskScheduler::Refresh() {
  Clear();
  if (RunningVistaOrLater()) {
    std::shared_ptr<TaskFolder> folder = Folder();
    FTaskCollection = folder->GetTasks(ShowHidden ? kTaskEnumHidden : 0);
    for (const RegisteredTaskPtr& task : FTaskCollection) {
      if (!task) continue;
      auto item = std::make_unique<TTaskItem>(this);
      item->FTaskName = task->Name();
      item->FRegistered = task;
      item->FTaskDefinition = task->Definition();
      AddItem(std::move(item));
    }
  } else {
    if (!FITS) throw ESchedulerError(kServiceNotRunning);
    for (const std::string& name : FITS->Enum()) {
      try {
        FITS->Activate(AddJobExtension(name));
      } catch (const Exception&) {
        continue;  // a task the service cannot activate is skipped
      }
      auto item = std::make_unique<TTaskItem>(this);
      item->FTaskName = name;
      AddItem(std::move(item));
    }
  }
  std::stable_sort(FItems.begin(), FItems.end(), [](const auto& a, const auto& b) {
    return CompareNamesNoCase(a->FTaskName, b->FTaskName) < 0;
  });
}

std::pair<bool, int> TTaskScheduler::FindTask(const std::string& key) const {
  int low = 0, high = Count() - 1;
  bool found = false;
  while (high >= low) {
    int middle = (low + high) / 2;
    int c = CompareNamesCase(FItems[static_cast<size_t>(middle)]->FTaskName, key);
    if (c < 0) {
      low = middle + 1;
    } else {
      high = middle - 1;
      if (c == 0) {
        found = true;
        low = middle;
      }
    }
  }
  return {found, low};
}

TTaskItem* TTaskScheduler::Insert(std::unique_ptr<TTaskItem> item) {
  auto [found, index] = FindTask(item->FTaskName);
  (void)found;
  TTaskItem* raw = item.get();
  FItems.insert(FItems.begin() + index, std::move(item));
  return raw;
}

TTaskItem* TTaskScheduler::ActivateTask(const std::string& name) {
  if (AutoRefresh) Refresh();
  std::string key = AddJobExtension(name);
  auto [found, index] = FindTask(key);
  if (found) return FItems[static_cast<size_t>(index)].get();
  if (RunningVistaOrLater()) {
    try {
      RegisteredTaskPtr task = Folder()->GetTask(name);
      auto item = std::make_unique<TTaskItem>(this);
      item->FTaskName = key;
      item->FTaskDefinition = task->Definition();
      item->FRegistered = task;
      return Insert(std::move(item));
    } catch (const Exception&) {
      return nullptr;
    }
  }
  if (!FITS) return nullptr;
  try {
    FITS->Activate(key);
  } catch (const Exception&) {
    return nullptr;
  }
  auto item = std::make_unique<TTaskItem>(this);
  item->FTaskName = key;
  return Insert(std::move(item));
}

TTaskItem* TTaskScheduler::CreateNewItem(const std::string& name) {
  if (AutoRefresh) Refresh();
  std::string key = AddJobExtension(name);
  auto [found, index] = FindTask(key);
  if (found) {
    if (Duplicate == tdError) {
      throw ETaskError(FormatText("Task with the name \"%s\" already exists.", name));
    }
    return FItems[static_cast<size_t>(index)].get();
  }
  CheckTaskName(name);
  if (RunningVistaOrLater()) {
    Folder();  // only to fail early
    TaskDefinitionPtr def = FTaskService->NewTask(0);
    def->Settings.Enabled = true;
    def->Settings.Hidden = false;
    def->Principal.LogonType = 3;
    auto item = std::make_unique<TTaskItem>(this);
    item->FTaskName = key;
    item->FTaskDefinition = def;
    return Insert(std::move(item));
  }
  if (!FITS) throw ESchedulerError(kServiceNotRunning);
  WorkItemPtr work;
  try {
    work = FITS->Activate(key);
  } catch (const EServiceError& e) {
    if (e.Status() != kErrorNotFound) throw;
  }
  auto item = std::make_unique<TTaskItem>(this);
  item->FTaskName = key;
  if (work) {
    if (Duplicate == tdError) {
      throw ETaskError(FormatText("Task with the name \"%s\" already exists.", name));
    }
    item->FWorkItem = work;
    return Insert(std::move(item));
  }
  item->FWorkItem = FITS->NewWorkItem(key);
  TTaskItem* raw = Insert(std::move(item));
  raw->SetFlags(FlagOf(tfDontStartIfOnBatteries) | FlagOf(tfKillIfGoingOnBatteries));
  return raw;
}

void TTaskScheduler::DeleteTask(const std::string& name) {
  std::string key = RunningVistaOrLater() ? name : AddJobExtension(name);
  if (RunningVistaOrLater()) {
    Folder()->DeleteTask(StripJobExtension(key), 0);
  } else {
    if (!FITS) throw ESchedulerError(kServiceNotRunning);
    FITS->Delete(key);
  }
  // Only once it is gone: a task that could not be deleted stays listed.
  auto [found, index] = FindTask(key);
  if (found) FItems.erase(FItems.begin() + index);
}

TTaskItem* TTaskScheduler::GetItem(int index) const {
  if (index < 0 || index >= Count()) {
    throw ESchedulerError(FormatText("Task index out of bounds (%d)", index));
  }
  return FItems[static_cast<size_t>(index)].get();
}

std::string TTaskScheduler::GetTargetComputer() {
  if (RunningVistaOrLater()) {
    if (!FTaskService) throw ESchedulerError(kServiceNotRunning);
    return FTaskService->TargetServer();
  }
  return FITS ? FITS->GetTargetComputer() : "";
}

void TTaskScheduler::SetTargetComputer(const std::string& name) {
  if (RunningVistaOrLater()) {
    if (!FTaskService) FTaskService = std::make_shared<TaskService>(store_folder_);
    FTaskService->Connect(name, "", "", "");
    FTargetPC = name;
    return;
  }
  if (!FITS) throw ESchedulerError(kServiceNotRunning);
  FITS->SetTargetComputer(name);
}

void TTaskScheduler::SetVistaSelectedFolder(const std::shared_ptr<TaskFolder>& folder) {
  if (folder) CurrentFolderPath = folder->Path();
}

}  // namespace lorvant
