// The text form of one settings key's values: a header line, then one
// "name=value" line per value, escaped so that the file stays valid UTF-8,
// one line per value, and every value (any bytes) reads back exactly.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lorvant {

using ValueList = std::vector<std::pair<std::string, std::string>>;

// A key's values in order, found by name without regard to (ASCII) case.
class TValueStore {
 public:
  const ValueList& list() const { return list_; }

  const std::string* Find(std::string_view name) const {
    auto it = index_.find(Key(name));
    return it == index_.end() ? nullptr : &list_[it->second].second;
  }

  // Registry semantics: an existing value keeps its place (and its name's
  // spelling), a new one goes to the end.
  void Set(const std::string& name, const std::string& value) {
    auto [it, added] = index_.emplace(Key(name), list_.size());
    if (added) {
      list_.emplace_back(name, value);
    } else {
      list_[it->second].second = value;
    }
  }

 private:
  static std::string Key(std::string_view name);

  ValueList list_;
  std::unordered_map<std::string, size_t> index_;
};

// The values a file holds, read as what it is: a UTF-8 mark, CR LF or LF
// line ends, a last line without line end and a missing header line are
// all accepted. A line that cannot be parsed is left out and sets *damaged.
TValueStore ParseValues(std::string_view data, bool* damaged);

// The file's text for values, in order, CR LF line ends.
std::string SerializeValues(const ValueList& values);

}  // namespace lorvant
