#include "fs/AppFolders.h"

#include <map>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/FileUtil.h"
#include "os/Env.h"

namespace lorvant {
namespace {

std::string StripTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// An XDG base folder: the variable when it holds an absolute path (the
// standard says relative ones are to be ignored), else home + fallback.
std::string XdgBase(const char* variable, const char* below_home) {
  std::string path = Env::Default()->GetVar(variable);
  if (path.empty() || path[0] != '/') {
    std::string home = GetHomePath();
    if (home.empty()) return "";
    path = (home == "/" ? "" : home) + below_home;
  }
  return StripTrailingSlashes(path);
}

std::string EnsuredFolder(const std::string& path) {
  if (!path.empty() && !DirectoryExists(path)) ForceFolder(path);
  return path;
}

}  // namespace

std::string GetHomePath() {
  Env* env = Env::Default();
  std::string home = env->GetVar("HOME");
  if (home.empty() || home[0] != '/') home = env->AccountHome();
  if (home.empty() || home[0] != '/') return "";
  return StripTrailingSlashes(home);
}

std::string GetConfigPath() { return XdgBase("XDG_CONFIG_HOME", "/.config"); }

std::string GetAppDataPath() { return EnsuredFolder(XdgBase("XDG_DATA_HOME", "/.local/share")); }

std::vector<std::pair<std::string, std::string>> GetUserFolders() {
  static const std::pair<const char*, const char*> kFolders[] = {
      {"DESKTOP", "Desktop"},     {"DOCUMENTS", "Documents"}, {"DOWNLOAD", "Downloads"},
      {"MUSIC", "Music"},         {"PICTURES", "Pictures"},   {"PUBLICSHARE", "Public"},
      {"TEMPLATES", "Templates"}, {"VIDEOS", "Videos"},
  };
  std::vector<std::pair<std::string, std::string>> folders;
  const std::string home = GetHomePath();
  if (home.empty()) return folders;
  std::map<std::string, std::string> named;
  try {
    named = ParseShellAssignments(ReadWholeFile(GetConfigPath() + "/user-dirs.dirs"));
  } catch (const Exception&) {
    // No file: every folder has its default name.
  }
  for (const auto& [key, default_name] : kFolders) {
    std::string path = named["XDG_" + std::string(key) + "_DIR"];
    for (const char* var : {"$HOME", "${HOME}"}) {
      const std::string v = var;
      if (path.compare(0, v.size(), v) == 0 && (path.size() == v.size() || path[v.size()] == '/')) {
        path = home + path.substr(v.size());
        break;
      }
    }
    if (path.empty() || path[0] != '/') path = home + "/" + default_name;
    folders.emplace_back(key, StripTrailingSlashes(path));
  }
  return folders;
}

std::string GetDocumentsPath() {
  for (const auto& [key, path] : GetUserFolders()) {
    if (key == "DOCUMENTS") return EnsuredFolder(path);
  }
  return "";
}

std::string GetAppDataFolder(const std::string& name) {
  const std::string path = GetAppDataPath();
  const std::string folder = path + "/" + name;
  // Without a data path the folder would land in the file system's root.
  if (path.empty() ||
      (!DirectoryExists(folder) && Env::Default()->CreateFolderAt(kCurrentFolder, folder) != 0 &&
       !DirectoryExists(folder))) {
    throw Exception("Cannot create \"" + folder + "\"");
  }
  return folder + "/";
}

std::string GetExceptionLogFile(const std::string& name) {
  return GetAppDataFolder(name) + "exception.log";
}

}  // namespace lorvant
