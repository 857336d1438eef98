#include "fs/AppFolders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/FileUtil.h"
#include "os/Env.h"

namespace lorvant {
namespace {

std::string EnvVar(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::map<std::string, std::string> ReadAssignments(const std::string& file_name) {
  try {
    return ParseShellAssignments(ReadWholeFile(file_name));
  } catch (const Exception&) {
    return {};
  }
}

}  // namespace

std::string GetHomePath() {
  std::string home = EnvVar("HOME");
  if (!home.empty()) return home;
  struct passwd pw;
  struct passwd* found = nullptr;
  std::vector<char> buf(16384);
  if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return "";
}

bool IsRootOrHomeFolder(const std::string& folder) {
  const std::string full = ExpandFileName(folder);
  return IsSameFolder(full, "/") || IsSameFolder(full, GetHomePath());
}

std::string GetAppDataPath() {
  std::string path = EnvVar("XDG_DATA_HOME");
  if (path.empty() || path[0] != '/') {
    std::string home = GetHomePath();
    if (home.empty()) return "";
    path = StripTrailingSlashes(home) + "/.local/share";
  }
  path = StripTrailingSlashes(path);
  if (!DirectoryExists(path)) ForceFolder(path);
  return path;
}

std::string GetDocumentsPath() {
  std::string home = StripTrailingSlashes(GetHomePath());
  if (home.empty()) return "";
  std::string config = EnvVar("XDG_CONFIG_HOME");
  if (config.empty() || config[0] != '/') config = home + "/.config";
  std::string path =
      ReadAssignments(StripTrailingSlashes(config) + "/user-dirs.dirs")["XDG_DOCUMENTS_DIR"];
  for (const char* var : {"$HOME", "${HOME}"}) {
    size_t len = std::strlen(var);
    if (path.compare(0, len, var) == 0 && (path.size() == len || path[len] == '/')) {
      path = home + path.substr(len);
      break;
    }
  }
  if (path.empty() || path[0] != '/') path = home + "/Documents";
  path = StripTrailingSlashes(path);
  if (!DirectoryExists(path)) ForceFolder(path);
  return path;
}

std::string GetAppDataFolder(const std::string& name) {
  const std::string path = GetAppDataPath();
  const std::string folder = path + "/" + name;
  // Without a data path the folder would land in the file system's root.
  if (path.empty() || (!DirectoryExists(folder) && Env::Default()->CreateDir(folder) != 0 &&
                       !DirectoryExists(folder))) {
    throw Exception("Cannot create \"" + folder + "\"");
  }
  return folder + "/";
}

std::string GetExceptionLogFile(const std::string& name) {
  return GetAppDataFolder(name) + "exception.log";
}

}  // namespace lorvant
