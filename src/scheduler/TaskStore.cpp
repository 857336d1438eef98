#include "scheduler/TaskStore.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "os/Clock.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

const char kTaskExt[] = ".task";
const char kStateExt[] = ".state";
const char kLogName[] = "runner.log";

}  // namespace

TaskStore::TaskStore(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
}

std::string TaskStore::DefaultFolder() {
  std::string data = GetAppDataPath();
  return data.empty() ? "" : data + "/Lorvant/scheduler";
}

void TaskStore::MakeFolder() {
  const FileRightsOf rights(owner_);
  if (folder_.empty())
    throw EServiceError(kErrorNotFound, "No home folder is known to keep tasks in.");
  if (DirectoryExists(folder_)) return;
  // The folders about to be made, so that each goes to the owner.
  std::vector<std::string> made;
  for (std::string f = folder_; !f.empty() && f != "/" && !DirectoryExists(f);) {
    made.push_back(f);
    size_t slash = f.find_last_of('/');
    f = slash == std::string::npos ? "" : f.substr(0, slash);
  }
  int err = ForceFolder(folder_);
  if (err != 0) {
    throw EServiceError(kErrorAccessDenied, "Cannot create the task folder \"" + folder_ +
                                                "\": " + SystemErrorText(err));
  }
  Env::Default()->ChangeModeAt(kCurrentFolder, folder_, 0700);
  for (const std::string& f : made) Own(f);
}

void TaskStore::Own(const std::string& path) {
  if (owner_.uid < 0) return;
  int err = SchedSystem::Default()->ChangeOwner(path, owner_);
  if (err != 0) {
    throw EServiceError(kErrorAccessDenied, "Cannot give \"" + path + "\" to \"" + owner_.name +
                                                "\": " + SystemErrorText(err));
  }
}

UniqueFd TaskStore::Lock() {
  const FileRightsOf rights(owner_);
  MakeFolder();
  const std::string file = folder_ + "/.lock";
  Env* env = Env::Default();
  int64_t deadline = env->MonotonicMs() + lock_timeout_ms_;
  UniqueFd fd;
  while (!SchedSystem::Default()->TryLock(file, &fd)) {
    FileInfo info = env->StatAt(kCurrentFolder, file, false);
    if (info.is_symlink || info.is_dir) {
      throw EServiceError(kErrorBadStore, "The task folder's lock \"" + file + "\" is not a file.");
    }
    if (env->MonotonicMs() >= deadline) {
      throw EServiceError(kErrorBusy, "The task folder \"" + folder_ +
                                          "\" is busy: another program has held its lock for " +
                                          std::to_string(lock_timeout_ms_ / 1000) +
                                          " seconds. Try again in a moment.");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  Own(file);
  return fd;
}

std::string TaskStore::TaskFile(const std::string& name) const {
  return folder_ + "/" + name + kTaskExt;
}
std::string TaskStore::StateFile(const std::string& name) const {
  return folder_ + "/" + name + kStateExt;
}
std::string TaskStore::RunLockFile(const std::string& name) const {
  return folder_ + "/" + name + ".run";
}
std::string TaskStore::LogFile() const { return folder_ + "/" + kLogName; }

std::vector<std::string> TaskStore::ListNames() {
  const FileRightsOf rights(owner_);
  std::vector<std::string> names;
  UniqueFd dir;
  if (Env::Default()->OpenFolder(kCurrentFolder, folder_, true, &dir) != 0) return names;
  std::vector<DirEntry> entries;
  if (Env::Default()->ListFolder(dir.get(), &entries) != 0) return names;
  const size_t ext = sizeof(kTaskExt) - 1;
  for (const DirEntry& e : entries) {
    if (e.is_dir || e.name.size() <= ext || e.name[0] == '.') continue;
    if (e.name.compare(e.name.size() - ext, ext, kTaskExt) != 0) continue;
    names.push_back(e.name.substr(0, e.name.size() - ext));
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool TaskStore::Exists(const std::string& name) {
  const FileRightsOf rights(owner_);
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, TaskFile(name), false);
  return info.exists && !info.is_dir;
}

StoredTask TaskStore::Load(const std::string& name) {
  const FileRightsOf rights(owner_);
  CheckTaskName(name);
  std::string file = TaskFile(name);
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, file, false);
  if (!info.exists) {
    throw EServiceError(kErrorNotFound, "The task \"" + name + "\" does not exist.");
  }
  if (info.is_symlink || info.is_dir) {
    throw EServiceError(kErrorBadStore, "The stored task file \"" + file + "\" is not a file.");
  }
  StoredTask task = ParseTaskFile(ReadWholeFile(file), file);
  // The file's name is the task's name; a name edited inside the file
  // cannot move the task.
  task.Name = name;
  return task;
}

void TaskStore::Save(const StoredTask& task) {
  const FileRightsOf rights(owner_);
  CheckTaskName(task.Name);
  WriteInStore(task.Name + kTaskExt, FormatTaskFile(task));
}

UniqueFd TaskStore::OpenFolder() {
  MakeFolder();
  UniqueFd dir;
  if (int err = Env::Default()->OpenFolder(kCurrentFolder, folder_, true, &dir)) {
    throw EServiceError(kErrorAccessDenied,
                        "Cannot open the task folder \"" + folder_ + "\": " + SystemErrorText(err));
  }
  return dir;
}

void TaskStore::RefuseLink(int dir, const std::string& base) {
  FileInfo info = Env::Default()->StatAt(dir, base, false);
  if (info.is_symlink || info.is_dir) {
    throw EServiceError(kErrorBadStore,
                        "The stored task file \"" + folder_ + "/" + base + "\" is not a file.");
  }
}

void TaskStore::WriteInStore(const std::string& base, const std::string& text) {
  UniqueFd dir = OpenFolder();
  RefuseLink(dir.get(), base);
  const std::string path = folder_ + "/" + base;
  try {
    WriteFileAtomicallyAt(dir.get(), base, text, 0600, path);
  } catch (const Exception& e) {
    throw EServiceError(kErrorAccessDenied, e.Message());
  }
  Own(path);
}

void TaskStore::AppendLog(const std::string& text) {
  const FileRightsOf rights(owner_);
  UniqueFd dir = OpenFolder();
  RefuseLink(dir.get(), kLogName);
  std::string line = "[" + FormatLogTimestamp(LocalNow()) + "] " + text + "\r\n";
  auto file = Env::Default()->AppendFileAt(dir.get(), kLogName, 0600, LogFile());
  file->Append(line.data(), line.size());
  file->Close();
}

bool TaskStore::Remove(const std::string& name) {
  const FileRightsOf rights(owner_);
  CheckTaskName(name);
  bool had = Exists(name);
  UniqueFd dir = OpenFolder();
  // A task file that stays would come back at the next look: say so
  // rather than report the task deleted.
  if (int err = Env::Default()->RemoveAt(dir.get(), name + kTaskExt, false);
      err != 0 && err != ENOENT) {
    throw EServiceError(kErrorAccessDenied, "Cannot delete the stored task file \"" +
                                                TaskFile(name) + "\": " + SystemErrorText(err));
  }
  Env::Default()->RemoveAt(dir.get(), name + kStateExt, false);
  Env::Default()->RemoveAt(dir.get(), name + ".run", false);
  return had;
}

RunState TaskStore::LoadState(const std::string& name) {
  const FileRightsOf rights(owner_);
  std::string file = StateFile(name);
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, file, false);
  if (!info.exists || info.is_symlink || info.is_dir) return RunState();
  try {
    return ParseStateFile(ReadWholeFile(file), file);
  } catch (const Exception&) {
    return RunState();
  }
}

void TaskStore::SaveState(const std::string& name, const RunState& state) {
  const FileRightsOf rights(owner_);
  CheckTaskName(name);
  WriteInStore(name + kStateExt, FormatStateFile(state));
}

}  // namespace lorvant
