#include "settings/RegUtil.h"

#include <string_view>
#include <unordered_map>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "base/Unicode.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "os/Env.h"

namespace lorvant {
namespace {

using ValueList = std::vector<std::pair<std::string, std::string>>;

// The values of a key live in kValuesFile; writers serialise on kLockFile,
// a sibling, because the values file itself is replaced by a rename.
const char kValuesFile[] = "values.txt";
const char kLockFile[] = "values.lock";
// First line of every values file; a file without it is not ours.
const char kHeader[] = "# Lorvant settings 1";

// A key's values in order, found by name without regard to (ASCII) case.
class ValueStore {
 public:
  const ValueList& list() const { return list_; }

  const std::string* Find(std::string_view name) const {
    auto it = index_.find(LowerAscii(name));
    return it == index_.end() ? nullptr : &list_[it->second].second;
  }

  // Registry semantics: an existing value keeps its place (and its name's
  // spelling), a new one goes to the end.
  void Set(const std::string& name, const std::string& value) {
    auto [it, added] = index_.emplace(LowerAscii(name), list_.size());
    if (added) {
      list_.emplace_back(name, value);
    } else {
      list_[it->second].second = value;
    }
  }

 private:
  ValueList list_;
  std::unordered_map<std::string, size_t> index_;
};

// Length of the well-formed multi-byte UTF-8 sequence at s[i], 0 if none.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  auto lead = static_cast<unsigned char>(s[i]);
  size_t len = lead >= 0xC2 && lead <= 0xDF   ? 2
               : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                              : 0;
  if (len == 0 || i + len > s.size() || !IsValidUtf8(s.substr(i, len))) return 0;
  return len;
}

// Keeps the file one line per value and valid UTF-8 whatever bytes a value
// holds (paths need not be UTF-8), so every value reads back exactly.
std::string Escape(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  auto plain = [](unsigned char c) {
    return (c >= 0x20 && c < 0x80 && c != '\\' && c != '=') || c == '\t';
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t run = i;
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    if (run > i) {
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\' || c == '=') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (size_t len = c >= 0x80 ? Utf8SequenceAt(text, i) : 0; len != 0) {
      out.append(text.substr(i, len));
      i += len;
      continue;
    } else {  // another control character, or a byte that is not UTF-8
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
    ++i;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Unescapes text[*pos, stop) up to an unescaped '=' (when stop_at_equals)
// or the end. False on a malformed escape.
bool Unescape(std::string_view text, size_t* pos, bool stop_at_equals, std::string* out) {
  size_t i = *pos;
  while (i < text.size()) {
    size_t plain = text.find_first_of(stop_at_equals ? "\\=" : "\\", i);
    if (plain == std::string_view::npos) plain = text.size();
    out->append(text.substr(i, plain - i));
    i = plain;
    if (i == text.size() || text[i] == '=') break;
    if (i + 1 >= text.size()) return false;
    char e = text[i + 1];
    i += 2;
    switch (e) {
      case '\\':
      case '=':
        out->push_back(e);
        break;
      case 'r':
        out->push_back('\r');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'x': {
        if (i + 2 > text.size()) return false;
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<char>(hi << 4 | lo));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  *pos = i;
  return true;
}

bool ParseLine(std::string_view line, std::string* name, std::string* value) {
  if (!IsValidUtf8(line)) return false;
  size_t pos = 0;
  if (!Unescape(line, &pos, true, name) || pos >= line.size()) return false;
  ++pos;  // the '='
  return Unescape(line, &pos, false, value);
}

// The values a file holds, read as what it is: a UTF-8 mark, CR LF or LF
// line ends, a last line without line end and a missing header line are
// all accepted. A line that cannot be parsed is left out and sets *damaged,
// so the file is kept aside before the next write replaces it.
ValueStore ParseValues(std::string_view data, bool* damaged) {
  ValueStore values;
  *damaged = false;
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  bool first = true;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string_view::npos) end = data.size();
    std::string_view line = data.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool header = first && line == kHeader;
    first = false;
    if (header || line.empty()) continue;
    std::string name, value;
    if (ParseLine(line, &name, &value)) {
      values.Set(name, value);
    } else {
      *damaged = true;
    }
  }
  return values;
}

std::string SerializeValues(const ValueList& values) {
  std::string out = std::string(kHeader) + "\r\n";
  for (const auto& [name, value] : values) {
    out += Escape(name);
    out += '=';
    out += Escape(value);
    out += "\r\n";
  }
  return out;
}

// The key's folder, created when missing; "" when that is impossible.
std::string OpenKey(const std::string& key) {
  std::string folder = RegKeyFolder(key);
  if (folder.empty() || ForceFolder(folder) != 0) return "";
  return folder;
}

// A key's values as read from its file, and whether the file held lines
// that could not be parsed.
struct LoadedValues {
  ValueStore values;
  bool damaged = false;
};

// Reads the key's values; false only when a values file exists but cannot be
// read, so that a passing read error never leads to overwriting it.
bool LoadValues(const std::string& folder, LoadedValues* loaded) {
  *loaded = LoadedValues();
  std::string file = folder + "/" + kValuesFile;
  if (!Env::Default()->Stat(file).exists) return true;
  try {
    loaded->values = ParseValues(ReadWholeFile(file), &loaded->damaged);
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// Replaces the values file; a damaged one is first kept beside it as
// values.txt.corrupt (the newest damaged file), so nothing a person wrote
// there is silently thrown away.
bool SaveValues(const std::string& folder, const LoadedValues& loaded) {
  const std::string file = folder + "/" + kValuesFile;
  try {
    if (loaded.damaged) WriteFileAtomically(file + ".corrupt", ReadWholeFile(file));
    WriteFileAtomically(file, SerializeValues(loaded.values.list()));
    return true;
  } catch (const Exception&) {
    return false;
  }
}

// Holds an exclusive advisory lock on the key's lock file for its lifetime.
// Each lock opens the file anew, so threads of one process exclude each
// other just as processes do.
class KeyLock {
 public:
  explicit KeyLock(const std::string& folder) {
    Env::Default()->LockFile(folder + "/" + kLockFile, &fd_);
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

  bool locked() const { return fd_.valid(); }

 private:
  UniqueFd fd_;  // closing it releases the lock
};

}  // namespace

std::string RegKeyFolder(const std::string& key) {
  std::string folder = GetConfigPath();
  if (folder.empty()) return "";
  bool any = false;
  size_t start = 0;
  while (start <= key.size()) {
    size_t end = key.find_first_of("\\/", start);
    if (end == std::string::npos) end = key.size();
    std::string part = key.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    if (part == "." || part == "..") return "";  // would leave the store
    folder += "/" + part;
    any = true;
  }
  return any ? folder : "";
}

std::string RegReadString(const std::string& key, const std::string& value_name) {
  std::string folder = OpenKey(key);
  if (folder.empty()) return "";
  LoadedValues loaded;
  if (!LoadValues(folder, &loaded)) return "";
  if (const std::string* found = loaded.values.Find(value_name)) return *found;

  // Missing: create it empty, re-reading under the lock so that a value
  // another writer stored meanwhile is neither lost nor blanked.
  KeyLock lock(folder);
  if (!lock.locked() || !LoadValues(folder, &loaded)) return "";
  if (const std::string* found = loaded.values.Find(value_name)) return *found;
  loaded.values.Set(value_name, "");
  SaveValues(folder, loaded);
  return "";
}

void RegWriteString(const std::string& key, const std::string& value_name,
                    const std::string& value) {
  std::string folder = OpenKey(key);
  if (folder.empty()) return;
  KeyLock lock(folder);
  LoadedValues loaded;
  if (!lock.locked() || !LoadValues(folder, &loaded)) return;
  loaded.values.Set(value_name, value);
  SaveValues(folder, loaded);
}

bool RegReadAll(const std::string& key, RegValueList* values) {
  values->clear();
  std::string folder = OpenKey(key);
  LoadedValues loaded;
  if (folder.empty() || !LoadValues(folder, &loaded)) return false;
  *values = loaded.values.list();
  return true;
}

bool RegReplaceAll(const std::string& key, const RegValueList& values) {
  return RegUpdateAll(key, [&values](RegValueList* all) { *all = values; });
}

bool RegUpdateAll(const std::string& key, const std::function<void(RegValueList*)>& update) {
  std::string folder = OpenKey(key);
  if (folder.empty()) return false;
  KeyLock lock(folder);
  LoadedValues loaded;
  if (!lock.locked() || !LoadValues(folder, &loaded)) return false;
  RegValueList values = loaded.values.list();
  update(&values);
  loaded.values = ValueStore();
  for (const auto& [name, value] : values) loaded.values.Set(name, value);
  return SaveValues(folder, loaded);
}

}  // namespace lorvant
