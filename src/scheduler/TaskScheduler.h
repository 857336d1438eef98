// The component between the program and the scheduler service: it connects
// to the service of either generation, keeps a sorted list of the tasks the
// service holds (one TTaskItem each), creates, finds and deletes tasks by
// name, and turns every failure into an exception with a fixed message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "scheduler/TaskItem.h"
#include "scheduler/TaskService.h"
#include "scheduler/WorkItemScheduler.h"

namespace lorvant {

enum TTaskDuplicate : uint8_t { tdError, tdActivateFirst };

class TTaskScheduler;
// Fired by Refresh for each task before it is listed; setting can_add to
// false leaves the task out.
using TOnBeforeTaskAddedEvent =
    std::function<void(TTaskScheduler* sender, TTaskItem* task, bool& can_add)>;

class TTaskScheduler {
 public:
  // store_folder: where the service keeps its tasks; "" is the user's own.
  explicit TTaskScheduler(std::string store_folder = "");
  ~TTaskScheduler();
  TTaskScheduler(const TTaskScheduler&) = delete;
  TTaskScheduler& operator=(const TTaskScheduler&) = delete;

  // Connects to the service; ESchedulerError "Task Scheduler service is not
  // running." when the cron daemon neither runs nor can be started.
  void Open();
  // Lets go of the service; Active then reads false.
  void Close();
  // Rebuilds the list from the service, sorted by name without regard to
  // case.
  void Refresh();
  // Frees every listed item.
  void Clear();
  // The listed item of name, else the task fetched from the service and
  // inserted, else nullptr (never raises for an unknown name).
  TTaskItem* ActivateTask(const std::string& name);
  // A new, unsaved task; ETaskError "Task with the name "%s" already
  // exists." for a listed name with Duplicate = tdError.
  TTaskItem* CreateNewItem(const std::string& name);
  // Removes the task from the list and from the service.
  void DeleteTask(const std::string& name);
  // True when the service runs (the cron daemon runs or could be started).
  bool StartScheduler();
  // The trigger kinds that really fire on this machine (FiringTriggerKinds);
  // the windows offer only these.
  static std::vector<TTriggerType> SupportedTriggerKinds() { return FiringTriggerKinds(); }
  // True unless UseTaskScheduler1Only.
  bool RunningVistaOrLater() const { return FVistaOrLater && !UseTaskScheduler1Only; }

  // ESchedulerError "Task index out of bounds (%d)" outside 0 … Count-1.
  TTaskItem* GetItem(int index) const;
  TTaskItem* Items(int index) const { return GetItem(index); }
  int Count() const { return static_cast<int>(FItems.size()); }

  bool GetActive() const;
  void SetActive(bool active);
  std::string Version() const { return "2.0.9"; }
  std::string GetTargetComputer();
  // Only the local computer is served: another name raises EServiceError.
  void SetTargetComputer(const std::string& name);
  // Sets CurrentFolderPath to the folder's path.
  void SetVistaSelectedFolder(const std::shared_ptr<TaskFolder>& folder);

  bool AutoRefresh = false;
  TTaskDuplicate Duplicate = tdError;
  TOnBeforeTaskAddedEvent OnBeforeTaskAdded;
  bool UseTaskScheduler1Only = false;
  bool ShowHidden = false;
  std::string CurrentFolderPath;

  // The open service objects, for the task items.
  WorkItemScheduler* ITS() const { return FITS.get(); }
  // The folder CurrentFolderPath names; ESchedulerError when not open.
  std::shared_ptr<TaskFolder> Folder();

 private:
  // (found, index of the match or of the place to insert).
  std::pair<bool, int> FindTask(const std::string& key) const;
  void AddItem(std::unique_ptr<TTaskItem> item);
  TTaskItem* Insert(std::unique_ptr<TTaskItem> item);

  std::string store_folder_;
  std::shared_ptr<WorkItemScheduler> FITS;
  std::shared_ptr<TaskService> FTaskService;
  std::vector<RegisteredTaskPtr> FTaskCollection;
  std::string FTargetPC;
  std::vector<std::unique_ptr<TTaskItem>> FItems;
  bool FVistaOrLater;
};

}  // namespace lorvant
