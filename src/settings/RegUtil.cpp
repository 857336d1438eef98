#include "settings/RegUtil.h"

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AppFolders.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "settings/ValuesFile.h"

namespace lorvant {
namespace {

// The values of a key live in kValuesFile; writers serialise on kLockFile,
// a sibling, because the values file itself is replaced by a rename.
const char kValuesFile[] = "values.txt";
const char kLockFile[] = "values.lock";

// The key's folder, created when missing; "" when that is impossible.
std::string OpenKey(const std::string& key) {
  std::string folder = RegKeyFolder(key);
  if (folder.empty() || ForceFolder(folder) != 0) return "";
  return folder;
}

// A key's values as read from its file, and whether the file held lines
// that could not be parsed.
struct LoadedValues {
  TValueStore values;
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
  loaded.values = TValueStore();
  for (const auto& [name, value] : values) loaded.values.Set(name, value);
  return SaveValues(folder, loaded);
}

}  // namespace lorvant
