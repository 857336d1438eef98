#include "tasks/SavedTaskList.h"

#include <string_view>
#include <utility>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "settings/RegUtil.h"

namespace lorvant {
namespace {

const char kCannotCreate[] = "Unable to create MRU";

// Adds path behind the entries already in list unless an equal one is there.
void AppendNew(std::vector<std::string>* list, const std::string& path) {
  if (path.empty() || list->size() >= static_cast<size_t>(TSavedTaskList::kMaxItems)) return;
  for (const std::string& item : *list) {
    if (SameTextIgnoreCase(item, path)) return;
  }
  list->push_back(path);
}

// The stored entries in order; values are named "0", "1", ... by Store, but
// anything readable is taken in file order, so a hand-edited key still
// yields a list that keeps the invariants.
std::vector<std::string> Load(const std::string& key) {
  RegValueList values;
  if (!RegReadAll(key, &values)) throw Exception(kCannotCreate);
  std::vector<std::string> items;
  for (const auto& [name, value] : values) AppendNew(&items, value);
  return items;
}

}  // namespace

void TSavedTaskList::SetActive(bool active) {
  if (!active) {
    active_ = false;
    items_.clear();
    return;
  }
  items_ = Load(SubKey);
  active_ = true;
}

void TSavedTaskList::AddString(const std::string& path) {
  if (path.empty()) return;  // not a task file; would not read back as an entry
  // Every session (and every process) holds a list of its own on the same
  // key: change what is stored now, under the key's lock, so that entries
  // another list added meanwhile survive.
  std::vector<std::string> items{path};
  bool stored = RegUpdateAll(SubKey, [&items](RegValueList* values) {
    for (const auto& entry : *values) AppendNew(&items, entry.second);
    values->clear();
    for (size_t i = 0; i < items.size(); ++i) values->emplace_back(std::to_string(i), items[i]);
  });
  if (!stored) throw Exception(kCannotCreate);
  items_ = std::move(items);
  active_ = true;
}

void TSavedTaskList::EnumItems(const std::function<void(const std::string&, int)>& fn) const {
  for (size_t i = 0; i < items_.size(); ++i) fn(items_[i], static_cast<int>(i));
}

}  // namespace lorvant
