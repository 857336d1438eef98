// The per-user store of scheduled tasks: one readable text file per task
// ("<name>.task") and one for what the runner records ("<name>.state"), in
// one folder (by default $XDG_DATA_HOME/Lorvant/scheduler). Every file is
// replaced atomically, relative to the open folder and never through a
// link; writers serialise on the folder's lock file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "os/Env.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/TaskFile.h"
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
  // account and must own its files. Every file operation then runs with
  // that account's rights, so its links lead nowhere it could not write.
  void SetOwner(const UserAccount& owner) { owner_ = owner; }
  const UserAccount& owner() const { return owner_; }

  // Waits for the store's lock, at most lock_timeout_ms (ten seconds
  // unless set); held until the result goes. Throws EServiceError when
  // another program holds it longer, or when a link stands at its place.
  UniqueFd Lock();
  void SetLockTimeout(int64_t ms) { lock_timeout_ms_ = ms; }

  // Names of the stored tasks, in byte order.
  std::vector<std::string> ListNames();
  bool Exists(const std::string& name);
  // Throws EServiceError: not found, or damaged (naming file and line).
  StoredTask Load(const std::string& name);
  // Writes the task file; throws EServiceError on a failed write, or when a
  // link (or a folder) stands at its place, which is left as it is.
  void Save(const StoredTask& task);
  // Removes the task's files; false when there was no task file. Throws
  // EServiceError when the task file is there and cannot be removed.
  bool Remove(const std::string& name);

  // The recorded state; a missing or damaged state file reads as a task
  // that has not run (and is replaced on the next write).
  RunState LoadState(const std::string& name);
  // Writes the state file; throws as Save does.
  void SaveState(const std::string& name, const RunState& state);
  // Appends a time-stamped line to the runner's log; throws EServiceError
  // when a link stands at its place, EFCreateError or EWriteError when the
  // write fails.
  void AppendLog(const std::string& text);

  // Paths of a task's files (name must have passed CheckTaskName).
  std::string TaskFile(const std::string& name) const;
  std::string StateFile(const std::string& name) const;
  std::string RunLockFile(const std::string& name) const;
  std::string LogFile() const;

 private:
  void MakeFolder();
  // The store's folder, open (made when missing).
  UniqueFd OpenFolder();
  // Throws EServiceError naming the file when base in dir is a link or a
  // folder.
  void RefuseLink(int dir, const std::string& base);
  // Replaces base in the open store folder atomically, never through a
  // link (RefuseLink), and gives it to the owner.
  void WriteInStore(const std::string& base, const std::string& text);
  void Own(const std::string& path);

  std::string folder_;
  UserAccount owner_;
  int64_t lock_timeout_ms_ = 10000;
};

}  // namespace lorvant
