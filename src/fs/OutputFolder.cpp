#include "fs/OutputFolder.h"

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "fs/FolderGuard.h"

namespace lorvant {

TOutputFolder::TOutputFolder(std::string path) : path_(std::move(path)) {
  Env* env = Env::Default();
  if (env->OpenFolder(kCurrentFolder, path_, true, &fd_) != 0) return;  // made by Prepare
  Refuse(ProtectedFolderReason(fd_.get()));
}

void TOutputFolder::Refuse(const std::string& reason) const {
  if (!reason.empty()) {
    throw Exception("The output folder \"" + path_ + "\" is " + reason + "; it is not emptied.");
  }
}

void TOutputFolder::Prepare(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop) {
  if (fd_.valid()) {
    ClearDirectory(fd_.get(), keep, stop);
    return;
  }
  // Without the folder every line would fail on its own; say it once.
  if (ForceFolder(path_) != 0 ||
      Env::Default()->OpenFolder(kCurrentFolder, path_, true, &fd_) != 0) {
    throw Exception("Cannot create folder \"" + path_ + "\".");
  }
  // A folder that appeared meanwhile may be anything: check it as well.
  Refuse(ProtectedFolderReason(fd_.get()));
}

std::unique_ptr<WritableFile> TOutputFolder::CreatePiece(const std::string& name,
                                                         const std::string& display_name,
                                                         const FileInfo& source) {
  Env* env = Env::Default();
  FileInfo target = env->StatAt(fd_.get(), name, false);
  if (target.exists && target.device == source.device && target.inode == source.inode) {
    throw Exception("Output file \"" + display_name + "\" is the source file itself.");
  }
  return env->CreateFileAt(fd_.get(), name, false, 0644, display_name);
}

void TOutputFolder::RemovePiece(const std::string& name, const FileInfo& made) const {
  if (!made.exists) return;
  const FileInfo now = Env::Default()->StatAt(fd_.get(), name, false);
  if (now.exists && now.device == made.device && now.inode == made.inode) {
    Env::Default()->RemoveAt(fd_.get(), name, false);
  }
}

}  // namespace lorvant
