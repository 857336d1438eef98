// The recent-task list: recent_tasks.txt in the application data folder,
// one TTaskDesc per line, newest first, five kept by Add. Every change
// rewrites the whole file atomically.
#pragma once

#include <string>
#include <vector>

#include "tasks/TaskDesc.h"

namespace lorvant {

class TTaskMRUList {
 public:
  static constexpr size_t kMaxItems = 5;

  // Loads the file's lines as they stand when it exists; writes nothing.
  explicit TTaskMRUList(std::string file_name);
  TTaskMRUList(const TTaskMRUList&) = delete;
  TTaskMRUList& operator=(const TTaskMRUList&) = delete;

  const std::string FileName;

  // Inserts desc's text at the front, drops one last line when more than
  // five, rewrites the file (in the encoding and mark it was loaded with).
  // Throws the file error when it cannot be written.
  void Add(const TTaskDesc& desc);
  // Fills desc from the line at index; throws EListError.
  void GetItem(int index, TTaskDesc* desc) const;
  int Count() const { return static_cast<int>(Items.size()); }

  std::vector<std::string> Items;

 private:
  std::string bom_;  // mark of the file as loaded
};

// Full path of recent_tasks.txt (creates the application data folder).
std::string RecentTaskListFile();

}  // namespace lorvant
