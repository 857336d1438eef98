// The saved-task list: the task files the user saved or opened, most recent
// first, at most ten, no two equal without regard to case. Kept in the
// settings store under "Software\Pelmora\Lorvant\Tasks".
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace lorvant {

class TSavedTaskList {
 public:
  static constexpr int kMaxItems = 10;

  TSavedTaskList() = default;
  TSavedTaskList(const TSavedTaskList&) = delete;
  TSavedTaskList& operator=(const TSavedTaskList&) = delete;

  std::string SubKey;

  // Opens the list (creating its key) and reads it; throws Exception
  // "Unable to create MRU" when the key cannot be opened or created.
  void SetActive(bool active);
  bool Active() const { return active_; }
  // Makes path the most recent entry (an entry equal without regard to case
  // moves to the front); stored at once. Throws "Unable to create MRU".
  void AddString(const std::string& path);
  // Calls fn(value, index) for each entry, most recent first.
  void EnumItems(const std::function<void(const std::string&, int)>& fn) const;
  const std::vector<std::string>& Items() const { return items_; }

 private:
  bool active_ = false;
  std::vector<std::string> items_;
};

}  // namespace lorvant
