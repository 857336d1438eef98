// The first generation's objects over the scheduler service: the scheduler
// that enumerates, activates, creates and deletes work items by their
// ".job" names, and the work item with its flags, priority, idle wait,
// maximum run time, data and 48-byte trigger records, which it keeps
// unchanged and saves only when asked and only when something changed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scheduler/SchedTime.h"
#include "scheduler/SchedulerService.h"

namespace lorvant {

class WorkItem {
 public:
  WorkItem(std::shared_ptr<SchedulerService> service, StoredTask task, bool is_new);
  WorkItem(const WorkItem&) = delete;
  WorkItem& operator=(const WorkItem&) = delete;

  // The task's plain name (without ".job").
  const std::string& TaskName() const { return task_.Name; }

  std::string GetApplicationName() const;
  void SetApplicationName(const std::string& v);
  std::string GetParameters() const;
  void SetParameters(const std::string& v);
  std::string GetWorkingDirectory() const;
  void SetWorkingDirectory(const std::string& v);
  std::string GetComment() const { return task_.Definition.Registration.Description; }
  void SetComment(const std::string& v);
  std::string GetCreator() const { return task_.Definition.Registration.Author; }
  void SetCreator(const std::string& v);
  std::string GetAccountInformation() const { return task_.Job.AccountName; }
  // The password is not kept: the task runs in the user's own crontab.
  void SetAccountInformation(const std::string& account, const std::string& password);
  uint32_t GetFlags() const { return task_.Job.Flags; }
  void SetFlags(uint32_t flags);
  uint32_t GetPriority() const { return task_.Job.Priority; }
  void SetPriority(uint32_t priority);
  void GetIdleWait(uint16_t* idle_minutes, uint16_t* deadline_minutes) const;
  void SetIdleWait(uint16_t idle_minutes, uint16_t deadline_minutes);
  uint32_t GetMaxRunTime() const { return task_.Job.MaxRunTimeMs; }
  void SetMaxRunTime(uint32_t ms);
  std::string GetWorkItemData() const { return task_.Job.WorkItemData; }
  void SetWorkItemData(const std::string& bytes);

  int GetTriggerCount() const { return static_cast<int>(task_.Job.TriggerRecords.size()); }
  // Appends a trigger record (all zero but its size) and returns its index.
  int CreateTrigger();
  // Throws EServiceError for a bad index.
  void DeleteTrigger(int index);
  TriggerRecordBytes GetTrigger(int index) const;
  void SetTrigger(int index, const TriggerRecordBytes& record);
  // The service's description of trigger index.
  std::string GetTriggerString(int index) const;

  // A status code (kStatusReady …), the last exit code, the last and next
  // run times (0 when none).
  uint32_t GetStatus();
  uint32_t GetExitCode();
  TDateTime GetMostRecentRunTime();
  TDateTime GetNextRunTime();
  void Run();

  // True when something changed since activation or the last Save.
  bool IsDirty() const { return dirty_; }
  // "" when Save would accept the work item; else the reason.
  std::string Check();
  // Stores the work item and its schedule.
  void Save();

 private:
  void CheckIndex(int index) const;
  ActionDef& ExecAction();
  // The definition the runner uses, translated from the records.
  TaskDefinitionData EffectiveDefinition() const;
  // The task as Save stores it.
  StoredTask ToStore() const;

  std::shared_ptr<SchedulerService> service_;
  StoredTask task_;
  bool dirty_;
};

using WorkItemPtr = std::shared_ptr<WorkItem>;

class WorkItemScheduler {
 public:
  // "" stands for the user's own store.
  explicit WorkItemScheduler(const std::string& store_folder = "");
  WorkItemScheduler(const WorkItemScheduler&) = delete;
  WorkItemScheduler& operator=(const WorkItemScheduler&) = delete;

  // Names of every stored task, each with ".job".
  std::vector<std::string> Enum();
  // The work item of name (with or without ".job"); throws EServiceError
  // when there is none or its file is damaged.
  WorkItemPtr Activate(const std::string& name);
  // A new, unsaved work item; throws EServiceError when the name exists.
  WorkItemPtr NewWorkItem(const std::string& name);
  // Throws EServiceError when there is no such task.
  void Delete(const std::string& name);
  // The local computer's name as "\\name".
  std::string GetTargetComputer();
  // "" or a local name; another computer raises EServiceError.
  void SetTargetComputer(const std::string& name);

  const std::shared_ptr<SchedulerService>& service() const { return service_; }

 private:
  std::shared_ptr<SchedulerService> service_;
};

}  // namespace lorvant
