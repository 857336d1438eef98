#include "fs/FileUtil.h"

#include <fnmatch.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "base/Exception.h"
#include "base/TextUtil.h"
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

int CountMatches(const std::string& folder, const std::string& pattern, bool recursive) {
  std::vector<DirEntry> entries;
  if (!Env::Default()->ListDir(folder, &entries)) return 0;
  int count = 0;
  for (const DirEntry& e : entries) {
    if (e.is_dir) {
      if (recursive) count += CountMatches(JoinPath(folder, e.name), pattern, true);
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
    auto file = Env::Default()->CreateFile(file_name);
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
  std::string full = name;
  if (name[0] != '/') {
    std::string cwd(256, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return name;
      cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    full = cwd + "/" + name;
  }
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= full.size()) {
    size_t end = full.find('/', start);
    if (end == std::string::npos) end = full.size();
    std::string part = full.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  if (out.empty() || name.back() == '/') out += '/';
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

bool IsSameFolder(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  FileInfo x = Env::Default()->Stat(a), y = Env::Default()->Stat(b);
  return x.is_dir && y.is_dir && x.device == y.device && x.inode == y.inode;
}

bool IsDirectoryEmpty(const std::string& folder) {
  std::vector<DirEntry> entries;
  return Env::Default()->ListDir(folder, &entries) && entries.empty();
}

int CountFiles(const std::string& folder, const std::string& mask, bool recursive) {
  return CountMatches(folder, EscapeMask(mask), recursive);
}

void ClearDirectory(const std::string& folder, const std::vector<FileInfo>& keep) {
  Env* env = Env::Default();
  std::vector<DirEntry> entries;
  if (!env->ListDir(folder, &entries)) return;
  for (const DirEntry& e : entries) {
    std::string path = JoinPath(folder, e.name);
    // Looked at again without following links: the entry may have changed
    // since the listing, and a link must never lead the walk elsewhere.
    FileInfo info = env->LinkStat(path);
    if (!info.exists) continue;
    if (info.is_dir && !info.is_symlink) {
      ClearDirectory(path, keep);
    } else if (!IsKept(info, keep)) {
      env->DeleteFile(path);
    }
  }
}

void ForceFolder(const std::string& path) {
  Env* env = Env::Default();
  std::string trimmed = TrimText(path);
  std::string prefix;
  size_t start = 0;
  while (start < trimmed.size()) {
    size_t end = trimmed.find('/', start);
    if (end == std::string::npos) end = trimmed.size();
    std::string part = trimmed.substr(start, end - start);
    if (start == 0 && part.empty()) {
      prefix = "/";  // absolute: the walk starts at the root
    } else if (!part.empty()) {
      prefix = JoinPath(prefix, part);
      if (!DirectoryExists(prefix)) env->CreateDir(prefix);
    }
    start = end + 1;
  }
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
