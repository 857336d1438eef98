#include "fs/FileUtil.h"

#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Exception.h"
#include "fs/AtomicFile.h"

namespace lorvant {
namespace {

// folder + "/" + name without doubling a separator the folder already has.
std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Position of the extension's '.' in path, or npos.
size_t ExtensionPos(const std::string& path) {
  size_t pos = path.find_last_of("./");
  if (pos == std::string::npos || path[pos] != '.') return std::string::npos;
  return pos;
}

// A file-name mask where only '*' and '?' are wildcards, as fnmatch needs it.
std::string EscapeMask(const std::string& mask) {
  if (mask == "*.*") return "*";
  std::string out;
  for (char c : mask) {
    if (c == '[' || c == ']' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

int CountMatches(int folder, const std::string& pattern, bool recursive) {
  Env* env = Env::Default();
  std::vector<DirEntry> entries;
  if (env->ListFolder(folder, &entries) != 0) return 0;
  int count = 0;
  for (const DirEntry& e : entries) {
    if (e.is_dir) {
      UniqueFd sub;
      if (recursive && env->OpenFolder(folder, e.name, false, &sub) == 0) {
        count += CountMatches(sub.get(), pattern, true);
      }
    } else if (::fnmatch(pattern.c_str(), e.name.c_str(), 0) == 0) {
      ++count;
    }
  }
  return count;
}

bool IsKept(const FileInfo& info, const std::vector<FileInfo>& keep) {
  for (const FileInfo& k : keep) {
    if (k.exists && k.device == info.device && k.inode == info.inode) return true;
  }
  return false;
}

}  // namespace

std::string TryCreateFile(const std::string& file_name) {
  try {
    auto file = Env::Default()->CreateFileAt(kCurrentFolder, file_name, false, 0644, file_name);
    file->Append("\r\n", 2);
    file->Close();
    return "";
  } catch (const std::exception& e) {
    return e.what();
  }
}

void WriteTextFile(const std::string& text, const std::string& file_name) {
  if (file_name.empty()) return;
  WriteFileAtomically(file_name, text + "\r\n");
}

uint64_t GetFileSize(const std::string& file_name) {
  auto file = Env::Default()->OpenForRead(file_name);
  return static_cast<uint64_t>(file->Info().size);
}

int64_t GetFileModifiedTimeNs(const std::string& file_name) {
  auto file = Env::Default()->OpenForRead(file_name);
  return file->Info().mtime_ns;
}

DateTime GetFileModifiedTime(const std::string& file_name) {
  return LocalFromNanoseconds(GetFileModifiedTimeNs(file_name));
}

std::string ExtractFileName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ExtractFilePath(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string ExtractFileExt(const std::string& path) {
  size_t dot = ExtensionPos(path);
  return dot == std::string::npos ? "" : path.substr(dot);
}

std::string RemoveFileExt(const std::string& name) {
  size_t dot = ExtensionPos(name);
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string GetFileBaseName(const std::string& path) {
  return RemoveFileExt(ExtractFileName(path));
}

std::string ExpandFileName(const std::string& name) {
  if (name.empty()) return name;
  Env* env = Env::Default();
  std::string full = name;
  if (name[0] != '/') {
    const std::string cwd = env->CurrentFolder();
    if (cwd.empty()) return name;
    full = cwd + "/" + name;
  }
  std::vector<std::string> parts;
  for (size_t start = 0; start <= full.size();) {
    size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    if (end > start) parts.push_back(full.substr(start, end - start));
    start = end + 1;
  }
  // The kernel resolves the longest leading part that exists, links and
  // ".." included; a last name that is a link stays that name. Only the
  // rest, which names nothing yet and so holds no link, is folded as text.
  const size_t last_kept = !parts.empty() && parts.back() != "." && parts.back() != ".." ? 1 : 0;
  std::string out = "/";
  size_t resolved = 0;
  for (size_t k = parts.size() - last_kept; k > 0; --k) {
    std::string prefix;
    for (size_t i = 0; i < k; ++i) prefix += "/" + parts[i];
    if (env->RealPath(prefix, &out) == 0) {
      resolved = k;
      break;
    }
  }
  std::vector<std::string> rest;
  for (size_t i = resolved; i < parts.size(); ++i) {
    if (parts[i] == "..") {
      if (!rest.empty()) rest.pop_back();
    } else if (parts[i] != ".") {
      rest.push_back(parts[i]);
    }
  }
  if (resolved == 0) out = "/";
  for (const std::string& p : rest) out = JoinPath(out, p);
  if (name.back() == '/' && out.back() != '/') out += '/';
  return out;
}

bool FileExists(const std::string& name) {
  FileInfo info = Env::Default()->Stat(name);
  return info.exists && !info.is_dir;
}

bool DirectoryExists(const std::string& name) {
  FileInfo info = Env::Default()->Stat(name);
  return info.exists && info.is_dir;
}

bool IsDirectoryEmpty(const std::string& folder) {
  Env* env = Env::Default();
  std::vector<DirEntry> entries;
  UniqueFd fd;
  return env->OpenFolder(kCurrentFolder, folder, true, &fd) == 0 &&
         env->ListFolder(fd.get(), &entries) == 0 && entries.empty();
}

int CountFiles(const std::string& folder, const std::string& mask, bool recursive) {
  UniqueFd fd;
  if (Env::Default()->OpenFolder(kCurrentFolder, folder, true, &fd) != 0) return 0;
  return CountMatches(fd.get(), EscapeMask(mask), recursive);
}

void ClearEntry(int folder, const std::string& name, const std::vector<FileInfo>& keep,
                const std::atomic<bool>* stop) {
  Env* env = Env::Default();
  // Looked at again without following links: the entry may have changed
  // since the listing. A folder is entered only through a descriptor
  // opened without following a link, so whatever replaces it meanwhile
  // leads nowhere outside.
  FileInfo info = env->StatAt(folder, name, false);
  if (!info.exists) return;
  if (info.is_dir) {
    UniqueFd sub;
    if (env->OpenFolder(folder, name, false, &sub) == 0) ClearDirectory(sub.get(), keep, stop);
  } else if (!IsKept(info, keep)) {
    env->RemoveAt(folder, name, false);
  }
}

void ClearDirectory(int folder, const std::vector<FileInfo>& keep, const std::atomic<bool>* stop) {
  std::vector<DirEntry> entries;
  if (Env::Default()->ListFolder(folder, &entries) != 0) return;
  for (const DirEntry& e : entries) {
    if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
    ClearEntry(folder, e.name, keep, stop);
  }
}

void ClearDirectory(const std::string& folder, const std::vector<FileInfo>& keep) {
  UniqueFd fd;
  if (Env::Default()->OpenFolder(kCurrentFolder, folder, true, &fd) == 0) {
    ClearDirectory(fd.get(), keep);
  }
}

int ForceFolder(const std::string& path) {
  Env* env = Env::Default();
  if (path.empty()) return ENOENT;
  int err = 0;
  // Every level is made in the one before it, opened as the kernel
  // resolves it, so the walk never re-reads a spelled-out prefix.
  UniqueFd at;
  int dir = kCurrentFolder;
  if (path[0] == '/') {
    if ((err = env->OpenFolder(kCurrentFolder, "/", true, &at)) != 0) return err;
    dir = at.get();
  }
  for (size_t start = 0; start <= path.size();) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string part = path.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    err = env->CreateFolderAt(dir, part);
    if (err != 0 && err != EEXIST) return err;
    UniqueFd next;
    if ((err = env->OpenFolder(dir, part, true, &next)) != 0) return err;
    at = std::move(next);
    dir = at.get();
  }
  return 0;
}

std::string FormatFileSize(const std::string& file_name) {
  const uint64_t size = GetFileSize(file_name);
  const double kKB = 1024.0, kMB = 1048576.0, kGB = 1073741824.0;
  char buf[64];
  // snprintf takes the decimal separator from the current locale.
  if (size < 1024) {
    std::snprintf(buf, sizeof(buf), "%llu Bytes", static_cast<unsigned long long>(size));
  } else if (size < 1048576) {
    std::snprintf(buf, sizeof(buf), "%3.3f KB", static_cast<double>(size) / kKB);
  } else if (size < 1073741824) {
    std::snprintf(buf, sizeof(buf), "%3.3f MB", static_cast<double>(size) / kMB);
  } else {
    std::snprintf(buf, sizeof(buf), "%8.3f GB", static_cast<double>(size) / kGB);
  }
  return buf;
}

}  // namespace lorvant
