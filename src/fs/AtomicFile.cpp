#include "fs/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "base/Exception.h"
#include "os/Env.h"

namespace lorvant {

void WriteFileAtomically(const std::string& name, const std::string& data, int mode) {
  static std::atomic<unsigned> sequence{0};
  Env* env = Env::Default();
  std::string target = name;
  if (env->LinkStat(name).is_symlink) {
    if (char* resolved = ::realpath(name.c_str(), nullptr)) {
      target = resolved;
      ::free(resolved);
    }
  }
  const FileInfo existing = env->Stat(target);
  const unsigned perms = mode >= 0         ? static_cast<unsigned>(mode)
                         : existing.exists ? existing.mode
                                           : 0644;
  std::string temp =
      target + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(sequence++);
  try {
    auto file = env->CreateFile(temp);
    if (perms != 0644) ::chmod(temp.c_str(), perms);
    file->Append(data.data(), data.size());
    file->Sync();
    file->Close();
  } catch (...) {
    env->DeleteFile(temp);
    throw;
  }
  int err = env->RenameFile(temp, target);
  if (err != 0) {
    env->DeleteFile(temp);
    throw EFCreateError(name, SystemErrorText(err));
  }
}

}  // namespace lorvant
