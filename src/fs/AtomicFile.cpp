#include "fs/AtomicFile.h"

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "os/Env.h"

namespace lorvant {
namespace {

// A fresh name for a temporary file beside the target: short, so that any
// legal file name of the target still works, and unpredictable, so nothing
// can be planted at it in advance (it is created exclusively anyway).
std::string TemporaryName() {
  static const char kDigits[] = "0123456789abcdefghijklmnopqrstuv";
  unsigned char bytes[12];
  Env::Default()->RandomBytes(bytes, sizeof(bytes));
  std::string name = ".lv";
  for (unsigned char b : bytes) name += kDigits[b & 31];
  return name + ".tmp";
}

}  // namespace

void WriteFileAtomically(const std::string& name, const std::string& data, int mode) {
  Env* env = Env::Default();
  // A symbolic link stays a link: what it leads to is replaced.
  std::string target = name;
  if (env->StatAt(kCurrentFolder, name, false).is_symlink) {
    std::string resolved;
    if (env->RealPath(name, &resolved) == 0) target = resolved;
  }
  const std::string folder_name = ExtractFilePath(target);
  const std::string base = ExtractFileName(target);
  if (base.empty()) throw EFCreateError(name, EISDIR);
  UniqueFd folder;
  if (int err =
          env->OpenFolder(kCurrentFolder, folder_name.empty() ? "." : folder_name, true, &folder)) {
    throw EFCreateError(name, err);
  }
  WriteFileAtomicallyAt(folder.get(), base, data, mode, name);
}

void WriteFileAtomicallyAt(int folder, const std::string& base, const std::string& data, int mode,
                           const std::string& name) {
  Env* env = Env::Default();
  const FileInfo existing = env->StatAt(folder, base, false);
  const bool keep_mode = mode >= 0 || (existing.exists && !existing.is_symlink);
  const unsigned perms = mode >= 0 ? static_cast<unsigned>(mode) : existing.mode;

  std::string temp;
  std::unique_ptr<WritableFile> file;
  for (int attempt = 0; !file; ++attempt) {
    temp = TemporaryName();
    try {
      file = env->CreateFileAt(folder, temp, true, 0644, name);
    } catch (const EFCreateError& e) {
      if (e.ErrorNumber() != EEXIST || attempt == 8) throw EFCreateError(name, e.ErrorNumber());
    }
  }
  try {
    if (keep_mode) {
      if (int err = env->ChangeModeAt(folder, temp, perms)) throw EFCreateError(name, err);
    }
    file->Append(data.data(), data.size());
    file->Sync();
    file->Close();
    if (int err = env->RenameAt(folder, temp, folder, base)) {
      throw EFCreateError(name, err);
    }
  } catch (...) {
    env->RemoveAt(folder, temp, false);
    throw;
  }
  // The rename itself reaches storage only with the folder's entries.
  env->SyncFolder(folder);
}

}  // namespace lorvant
