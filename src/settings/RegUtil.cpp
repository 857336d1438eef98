#include "settings/RegUtil.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "base/Unicode.h"
#include "fs/AtomicFile.h"
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

// The values a file holds. Damage never fails the read: a file without the
// header holds nothing, and a malformed or cut-off line is left out, so the
// next write stores only what survived, cleanly.
ValueStore ParseValues(std::string_view data) {
  ValueStore values;
  bool first = true;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string_view::npos) break;  // a line cut short by truncation
    std::string_view line = data.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kHeader) return values;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    std::string name, value;
    if (ParseLine(line, &name, &value)) values.Set(name, value);
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

std::string ConfigRoot() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + "/.config";
  return "";
}

// Creates folder and every missing parent; true when it is a folder.
bool EnsureFolder(const std::string& folder) {
  Env* env = Env::Default();
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string prefix = folder.substr(0, slash);
    if (!env->Stat(prefix).is_dir) {
      int err = env->CreateDir(prefix);
      if (err != 0 && err != EEXIST) return false;
    }
    if (slash == std::string::npos) break;
  }
  return env->Stat(folder).is_dir;
}

// The key's folder, created when missing; "" when that is impossible.
std::string OpenKey(const std::string& key) {
  std::string folder = RegKeyFolder(key);
  if (folder.empty() || !EnsureFolder(folder)) return "";
  return folder;
}

// Reads the key's values; false only when a values file exists but cannot be
// read, so that a passing read error never leads to overwriting it.
bool LoadValues(const std::string& folder, ValueStore* values) {
  *values = ValueStore();
  std::string file = folder + "/" + kValuesFile;
  if (!Env::Default()->Stat(file).exists) return true;
  try {
    *values = ParseValues(ReadWholeFile(file));
    return true;
  } catch (const Exception&) {
    return false;
  }
}

bool SaveValues(const std::string& folder, const ValueStore& values) {
  try {
    WriteFileAtomically(folder + "/" + kValuesFile, SerializeValues(values.list()));
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
    std::string name = folder + "/" + kLockFile;
    fd_ = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) return;
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        ::close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~KeyLock() {
    if (fd_ >= 0) ::close(fd_);  // closing the last descriptor releases the lock
  }
  KeyLock(const KeyLock&) = delete;
  KeyLock& operator=(const KeyLock&) = delete;

  bool locked() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace

std::string RegKeyFolder(const std::string& key) {
  std::string folder = ConfigRoot();
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
  ValueStore values;
  if (!LoadValues(folder, &values)) return "";
  if (const std::string* found = values.Find(value_name)) return *found;

  // Missing: create it empty, re-reading under the lock so that a value
  // another writer stored meanwhile is neither lost nor blanked.
  KeyLock lock(folder);
  if (!lock.locked() || !LoadValues(folder, &values)) return "";
  if (const std::string* found = values.Find(value_name)) return *found;
  values.Set(value_name, "");
  SaveValues(folder, values);
  return "";
}

void RegWriteString(const std::string& key, const std::string& value_name,
                    const std::string& value) {
  std::string folder = OpenKey(key);
  if (folder.empty()) return;
  KeyLock lock(folder);
  ValueStore values;
  if (!lock.locked() || !LoadValues(folder, &values)) return;
  values.Set(value_name, value);
  SaveValues(folder, values);
}

bool RegReadAll(const std::string& key, RegValueList* values) {
  values->clear();
  std::string folder = OpenKey(key);
  ValueStore stored;
  if (folder.empty() || !LoadValues(folder, &stored)) return false;
  *values = stored.list();
  return true;
}

bool RegReplaceAll(const std::string& key, const RegValueList& values) {
  return RegUpdateAll(key, [&values](RegValueList* all) { *all = values; });
}

bool RegUpdateAll(const std::string& key, const std::function<void(RegValueList*)>& update) {
  std::string folder = OpenKey(key);
  if (folder.empty()) return false;
  KeyLock lock(folder);
  ValueStore current;
  if (!lock.locked() || !LoadValues(folder, &current)) return false;
  RegValueList values = current.list();
  update(&values);
  ValueStore stored;
  for (const auto& [name, value] : values) stored.Set(name, value);
  return SaveValues(folder, stored);
}

}  // namespace lorvant
