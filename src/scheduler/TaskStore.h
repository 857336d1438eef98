// The per-user store of scheduled tasks: one readable text file per task
// ("<name>.task") and one for what the runner records ("<name>.state"), in
// one folder (by default $XDG_DATA_HOME/Lorvant/scheduler). Every file is
// replaced atomically; writers serialise on the folder's lock file.
#pragma once

#include <string>
#include <vector>

#include "os/Env.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/TaskModel.h"

namespace lorvant {

class TaskStore {
 public:
  // The folder is made (mode 0700) on the first write.
  explicit TaskStore(std::string folder);
  TaskStore(const TaskStore&) = delete;
  TaskStore& operator=(const TaskStore&) = delete;

  // GetAppDataPath() + "/Lorvant/scheduler"; "" without a home folder.
  static std::string DefaultFolder();

  const std::string& folder() const { return folder_; }

  // Gives every folder and file the store makes from now on to `owner`:
  // root keeping another account's store, whose runner runs as that
  // account and must own its files.
  void SetOwner(const UserAccount& owner) { owner_ = owner; }
  const UserAccount& owner() const { return owner_; }

  // Waits for the store's lock; held until the result goes.
  UniqueFd Lock();

  // Names of the stored tasks, in byte order.
  std::vector<std::string> ListNames();
  bool Exists(const std::string& name);
  // Throws EServiceError: not found, or damaged (naming file and line).
  StoredTask Load(const std::string& name);
  // Writes the task file; throws on a failed write.
  void Save(const StoredTask& task);
  // Removes the task's files; false when there was no task file.
  bool Remove(const std::string& name);

  // The recorded state; a missing or damaged state file reads as a task
  // that has not run (and is replaced on the next write).
  RunState LoadState(const std::string& name);
  void SaveState(const std::string& name, const RunState& state);

  // Paths of a task's files (name must have passed CheckTaskName).
  std::string TaskFile(const std::string& name) const;
  std::string StateFile(const std::string& name) const;
  std::string RunLockFile(const std::string& name) const;
  std::string LogFile() const;

 private:
  void MakeFolder();
  void Own(const std::string& path);

  std::string folder_;
  UserAccount owner_;
};

// The text of a task file and back; Parse throws EServiceError naming
// `file` and the line for anything it cannot read.
std::string FormatTaskFile(const StoredTask& task);
StoredTask ParseTaskFile(const std::string& text, const std::string& file);

}  // namespace lorvant
