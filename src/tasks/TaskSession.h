// A task ("session") of some kind, with the task file it was last saved to
// or loaded from. Saving keeps a ".bak" of the old file; saving and loading
// a file the user chose put it at the head of the saved-task list.
#pragma once

#include <memory>
#include <string>

#include "tasks/SavedTaskList.h"

namespace lorvant {

class TTaskSession {
 public:
  TTaskSession();
  virtual ~TTaskSession();
  TTaskSession(const TTaskSession&) = delete;
  TTaskSession& operator=(const TTaskSession&) = delete;

  std::string FileFilter;  // for file dialogs choosing a task file
  std::string DefaultExt;  // without dot
  std::string FileName;    // last saved to or loaded from; "" for a new task

  // Remembers the name, copies an existing file to name + ".bak" (failure
  // ignored), puts the name at the head of the saved-task list, writes.
  // Throws EIniFileException "Unable to write to <file>".
  virtual void SaveToFile(const std::string& file_name);
  // Remembers the name, puts it at the head of the saved-task list, reads.
  virtual void LoadFromFile(const std::string& file_name);
  // Same settings as other; throws EInvalidCast for another kind of task.
  virtual bool SameAs(const TTaskSession& other) const = 0;
  // Plain write / read of the settings: no backup, no list, FileName kept.
  virtual void WriteToFile(const std::string& file_name) = 0;
  virtual void ReadFromFile(const std::string& file_name) = 0;
  // A new, empty task of the same kind.
  virtual std::unique_ptr<TTaskSession> NewSession() const = 0;
  // The settings in words, lines separated by CR LF.
  virtual std::string GetDescription() const = 0;

  // FileName when set, else GetDescription().
  std::string GetDisplayName() const;

  TSavedTaskList& SavedTaskList() { return *saved_task_list_; }

 private:
  std::unique_ptr<TSavedTaskList> saved_task_list_;
};

}  // namespace lorvant
