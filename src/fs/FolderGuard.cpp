#include "fs/FolderGuard.h"

#include <vector>

#include "fs/AppFolders.h"
#include "os/Env.h"

namespace lorvant {
namespace {

bool Same(const FileInfo& a, const FileInfo& b) {
  return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}

// The folder a path leads to, following every link; exists false when none.
FileInfo FolderAt(const std::string& path) {
  FileInfo info = Env::Default()->StatAt(kCurrentFolder, path, true);
  if (!info.is_dir) info.exists = false;
  return info;
}

std::string TitleCase(const std::string& key) {
  if (key == "PUBLICSHARE") return "Public";
  std::string out = key.substr(0, 1);
  for (size_t i = 1; i < key.size(); ++i) out += static_cast<char>(key[i] - 'A' + 'a');
  return out;
}

}  // namespace

std::string ProtectedFolderReason(int folder_fd) {
  Env* env = Env::Default();
  const FileInfo folder = env->StatFd(folder_fd);
  if (!folder.exists) return "";
  const FileInfo root = FolderAt("/");
  const std::string home = GetHomePath();
  const FileInfo home_info = home.empty() ? FileInfo() : FolderAt(home);
  if (Same(folder, root) || Same(folder, home_info)) return "the root or home folder";
  // ".." of the open folder is its parent as the kernel sees it.
  if (Same(env->StatAt(folder_fd, "..", true), root)) return "a folder directly under the root";
  std::string real_home;
  if (!home.empty() && env->RealPath(home, &real_home) == 0) {
    for (size_t slash = real_home.find('/', 1); slash != std::string::npos;
         slash = real_home.find('/', slash + 1)) {
      if (Same(folder, FolderAt(real_home.substr(0, slash)))) {
        return "an ancestor of the home folder";
      }
    }
  }
  for (const auto& [key, path] : GetUserFolders()) {
    if (Same(folder, FolderAt(path))) return "the user's " + TitleCase(key) + " folder";
  }
  return "";
}

std::string ProtectedFolderReason(const std::string& path) {
  UniqueFd fd;
  if (path.empty() || Env::Default()->OpenFolder(kCurrentFolder, path, true, &fd) != 0) return "";
  return ProtectedFolderReason(fd.get());
}

}  // namespace lorvant
