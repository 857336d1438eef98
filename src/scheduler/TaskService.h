// The second generation's objects over the scheduler service: the service
// connection, the task folder, registered tasks and task definitions.
// Only the local computer is served; a definition is a value the caller
// changes freely until it registers it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "scheduler/SchedTime.h"
#include "scheduler/SchedulerService.h"

namespace lorvant {

using TaskDefinitionPtr = std::shared_ptr<TaskDefinitionData>;

// Registration flags and the task-list flag of GetTasks.
inline constexpr int kTaskCreate = 2;
inline constexpr int kTaskUpdate = 4;
inline constexpr int kTaskCreateOrUpdate = 6;
inline constexpr int kTaskEnumHidden = 1;

class RegisteredTask {
 public:
  RegisteredTask(std::shared_ptr<SchedulerService> service, std::string name,
                 TaskDefinitionPtr definition);
  RegisteredTask(const RegisteredTask&) = delete;
  RegisteredTask& operator=(const RegisteredTask&) = delete;

  const std::string& Name() const { return name_; }
  // The definition as registered; changes to it reach the service only
  // through RegisterTaskDefinition.
  TaskDefinitionPtr Definition() const { return definition_; }
  // kStateDisabled, kStateReady or kStateRunning.
  int State();
  TDateTime LastRunTime();  // 0 when it never ran
  TDateTime NextRunTime();  // 0 when none
  uint32_t LastTaskResult();
  // Starts the task now through the runner; throws EServiceError.
  void Run(const std::string& parameters);

 private:
  std::shared_ptr<SchedulerService> service_;
  std::string name_;
  TaskDefinitionPtr definition_;
};

using RegisteredTaskPtr = std::shared_ptr<RegisteredTask>;

class TaskFolder {
 public:
  TaskFolder(std::shared_ptr<SchedulerService> service, std::string path);
  TaskFolder(const TaskFolder&) = delete;
  TaskFolder& operator=(const TaskFolder&) = delete;

  const std::string& Path() const { return path_; }
  // The stored tasks in name order; hidden ones only with kTaskEnumHidden.
  // A damaged task file is left out (and logged).
  std::vector<RegisteredTaskPtr> GetTasks(int flags);
  // Throws EServiceError when there is no such task or its file is damaged.
  RegisteredTaskPtr GetTask(const std::string& name);
  // Throws EServiceError when there is no such task.
  void DeleteTask(const std::string& name, int flags);
  // Stores the definition under name (flags: kTaskCreate, kTaskUpdate or
  // both); user names the account (see SchedulerService::Register);
  // passwords are not kept, since the task runs under the user's own
  // crontab. Returns the registered task.
  // "" when RegisterTaskDefinition would accept the definition under name
  // for user; else the reason, the text a window shows before anything is
  // written (SchedulerService::CheckTask).
  std::string CheckTaskDefinition(const std::string& name, const TaskDefinitionPtr& definition,
                                  const std::string& user, int logon_type);
  RegisteredTaskPtr RegisterTaskDefinition(const std::string& name,
                                           const TaskDefinitionPtr& definition, int flags,
                                           const std::string& user, const std::string& password,
                                           int logon_type, const std::string& sddl);

 private:
  // The task as it would be stored: the definition with user and logon
  // type, and what only the first generation knows of a task there now.
  StoredTask TaskToStore(const std::string& name, const TaskDefinitionData& definition,
                         const std::string& user, int logon_type);

  std::shared_ptr<SchedulerService> service_;
  std::string path_;
};

class TaskService {
 public:
  // "" stands for the user's own store.
  explicit TaskService(const std::string& store_folder = "");
  TaskService(const TaskService&) = delete;
  TaskService& operator=(const TaskService&) = delete;

  // Connects to a computer: "" (or this host's name, "localhost", ".")
  // is the local one; any other raises EServiceError, as only the local
  // computer is served. User, domain and password are not used.
  void Connect(const std::string& server, const std::string& user, const std::string& domain,
               const std::string& password);
  bool Connected() const { return connected_; }
  // The connected computer's name.
  std::string TargetServer() const;
  // "" and "\" are the one folder that holds the tasks; any other path
  // raises EServiceError.
  std::shared_ptr<TaskFolder> GetFolder(const std::string& path);
  // A new, empty definition.
  TaskDefinitionPtr NewTask(int flags);

  const std::shared_ptr<SchedulerService>& service() const { return service_; }

 private:
  void CheckConnected() const;

  std::shared_ptr<SchedulerService> service_;
  bool connected_ = false;
  std::string server_;
};

// True when name stands for the local computer.
bool IsLocalComputerName(const std::string& name);

}  // namespace lorvant
