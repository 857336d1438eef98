#include "scheduler/TaskService.h"

#include "base/TextUtil.h"
#include "log/Log.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {

bool IsLocalComputerName(const std::string& name) {
  std::string n = name;
  while (n.size() > 2 && n[0] == '\\' && n[1] == '\\') n = n.substr(2);
  return n.empty() || n == "." || SameTextIgnoreCase(n, "localhost") || n == "127.0.0.1" ||
         n == "::1" || SameTextIgnoreCase(n, SchedSystem::Default()->HostName());
}

RegisteredTask::RegisteredTask(std::shared_ptr<SchedulerService> service, std::string name,
                               TaskDefinitionPtr definition)
    : service_(std::move(service)), name_(std::move(name)), definition_(std::move(definition)) {}

int RegisteredTask::State() { return service_->StatusOf(name_, *definition_).State; }

TDateTime RegisteredTask::LastRunTime() {
  return EpochToDateTime(service_->StatusOf(name_, *definition_).LastRunTime);
}

TDateTime RegisteredTask::NextRunTime() {
  return EpochToDateTime(service_->StatusOf(name_, *definition_).NextRunTime);
}

uint32_t RegisteredTask::LastTaskResult() {
  return service_->StatusOf(name_, *definition_).LastTaskResult;
}

void RegisteredTask::Run(const std::string& /*parameters*/) { service_->RunNow(name_); }

TaskFolder::TaskFolder(std::shared_ptr<SchedulerService> service, std::string path)
    : service_(std::move(service)), path_(std::move(path)) {}

std::vector<RegisteredTaskPtr> TaskFolder::GetTasks(int flags) {
  std::vector<RegisteredTaskPtr> tasks;
  for (const std::string& name : service_->store().ListNames()) {
    try {
      StoredTask stored = service_->store().Load(name);
      if (stored.Definition.Settings.Hidden && (flags & kTaskEnumHidden) == 0) continue;
      tasks.push_back(std::make_shared<RegisteredTask>(
          service_, name, std::make_shared<TaskDefinitionData>(std::move(stored.Definition))));
    } catch (const Exception& e) {
      TLog::Global()->Error("Scheduled task skipped: " + e.Message());
    }
  }
  return tasks;
}

RegisteredTaskPtr TaskFolder::GetTask(const std::string& name) {
  StoredTask stored = service_->store().Load(name);
  return std::make_shared<RegisteredTask>(
      service_, name, std::make_shared<TaskDefinitionData>(std::move(stored.Definition)));
}

void TaskFolder::DeleteTask(const std::string& name, int /*flags*/) { service_->Delete(name); }

StoredTask TaskFolder::TaskToStore(const std::string& name, const TaskDefinitionData& definition,
                                   const std::string& user, int logon_type) {
  StoredTask task;
  if (service_->store().Exists(name)) {
    // Keep what only the first generation knows of the task.
    try {
      task.Job = service_->store().Load(name).Job;
    } catch (const Exception&) {
    }
  }
  task.Name = name;
  task.Definition = definition;
  if (!user.empty()) task.Definition.Principal.UserId = user;
  task.Definition.Principal.LogonType = logon_type;
  task.Job.HasRecords = false;
  task.Job.TriggerRecords.clear();
  return task;
}

std::string TaskFolder::CheckTaskDefinition(const std::string& name,
                                            const TaskDefinitionPtr& definition,
                                            const std::string& user, int logon_type) {
  if (!definition) return "No task definition was given.";
  try {
    CheckTaskName(name);
  } catch (const Exception& e) {
    return e.Message();
  }
  return service_->CheckTask(TaskToStore(name, *definition, user, logon_type));
}

RegisteredTaskPtr TaskFolder::RegisterTaskDefinition(const std::string& name,
                                                     const TaskDefinitionPtr& definition, int flags,
                                                     const std::string& user,
                                                     const std::string& /*password*/,
                                                     int logon_type, const std::string& /*sddl*/) {
  CheckTaskName(name);
  if (!definition) throw EServiceError(kErrorInvalidArgument, "No task definition was given.");
  bool exists = service_->store().Exists(name);
  if (exists && (flags & kTaskUpdate) == 0) {
    throw EServiceError(kErrorAlreadyExists, "The task \"" + name + "\" already exists.");
  }
  if (!exists && (flags & kTaskCreate) == 0) {
    throw EServiceError(kErrorNotFound, "The task \"" + name + "\" does not exist.");
  }
  StoredTask task = TaskToStore(name, *definition, user, logon_type);
  service_->Register(task);
  return std::make_shared<RegisteredTask>(service_, name,
                                          std::make_shared<TaskDefinitionData>(task.Definition));
}

TaskService::TaskService(const std::string& store_folder)
    : service_(std::make_shared<SchedulerService>(store_folder)) {}

void TaskService::Connect(const std::string& server, const std::string&, const std::string&,
                          const std::string&) {
  if (!IsLocalComputerName(server)) {
    connected_ = false;
    throw EServiceError(kErrorNotLocal,
                        "Only the local computer's scheduled tasks can be "
                        "reached; \"" +
                            server + "\" is another computer.");
  }
  server_ = SchedSystem::Default()->HostName();
  connected_ = true;
}

std::string TaskService::TargetServer() const {
  CheckConnected();
  return server_;
}

void TaskService::CheckConnected() const {
  if (!connected_) throw ESchedulerError(kServiceNotRunning);
}

std::shared_ptr<TaskFolder> TaskService::GetFolder(const std::string& path) {
  CheckConnected();
  if (!path.empty() && path != "\\" && path != "/") {
    throw EServiceError(kErrorNotFound, "The task folder \"" + path + "\" does not exist.");
  }
  return std::make_shared<TaskFolder>(service_, "\\");
}

TaskDefinitionPtr TaskService::NewTask(int /*flags*/) {
  CheckConnected();
  auto def = std::make_shared<TaskDefinitionData>();
  def->Registration.Author = SchedSystem::Default()->CurrentUserName();
  return def;
}

}  // namespace lorvant
