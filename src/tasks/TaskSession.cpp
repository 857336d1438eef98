#include "tasks/TaskSession.h"

#include "base/Exception.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "os/Env.h"

namespace lorvant {

TTaskSession::TTaskSession() : saved_task_list_(std::make_unique<TSavedTaskList>()) {}

TTaskSession::~TTaskSession() = default;

void TTaskSession::SaveToFile(const std::string& file_name) {
  FileName = file_name;
  Env* env = Env::Default();
  FileInfo info = env->Stat(FileName);
  if (info.exists && !info.is_dir) {
    try {
      // The copy holds the same data: it keeps the task file's permissions.
      WriteFileAtomically(FileName + ".bak", ReadWholeFile(FileName), static_cast<int>(info.mode));
    } catch (const Exception&) {
      // A backup that cannot be made must not stop the save itself.
    }
  }
  SavedTaskList().SetActive(true);
  // The list outlives the current folder, so it keeps the full path.
  SavedTaskList().AddString(ExpandFileName(FileName));
  WriteToFile(FileName);
}

void TTaskSession::LoadFromFile(const std::string& file_name) {
  FileName = file_name;
  SavedTaskList().SetActive(true);
  SavedTaskList().AddString(ExpandFileName(FileName));
  ReadFromFile(FileName);
}

std::string TTaskSession::GetDisplayName() const {
  return FileName.empty() ? GetDescription() : FileName;
}

}  // namespace lorvant
