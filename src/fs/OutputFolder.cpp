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

TOutputFolder::~TOutputFolder() { FinishEmptying(); }

void TOutputFolder::Prepare(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop) {
  PrepareInBackground(keep, stop);
  FinishEmptying();
}

void TOutputFolder::PrepareInBackground(const std::vector<FileInfo>& keep,
                                        const std::atomic<bool>* stop) {
  if (fd_.valid()) {
    FinishEmptying();
    keep_ = keep;
    std::vector<DirEntry> entries;
    if (Env::Default()->ListFolder(fd_.get(), &entries) != 0) return;
    // Listed before any piece exists: a name taken from here on is a
    // piece's, never an old entry.
    for (const DirEntry& e : entries) old_entries_.insert(e.name);
    emptier_ = std::thread([this, stop, entries = std::move(entries)] {
      for (const DirEntry& e : entries) {
        if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          if (old_entries_.erase(e.name) == 0) continue;  // a piece's creation cleared it
          clearing_ = e.name;
        }
        ClearEntry(fd_.get(), e.name, keep_, stop);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          clearing_.clear();
        }
        cleared_.notify_all();
      }
    });
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

void TOutputFolder::FinishEmptying() {
  if (emptier_.joinable()) emptier_.join();
}

bool TOutputFolder::ClaimOldEntry(const std::string& name) {
  std::unique_lock<std::mutex> lock(mutex_);
  cleared_.wait(lock, [&] { return clearing_ != name; });
  return old_entries_.erase(name) != 0;
}

std::unique_ptr<WritableFile> TOutputFolder::CreatePiece(const std::string& name,
                                                         const std::string& display_name,
                                                         const FileInfo& source) {
  Env* env = Env::Default();
  if (ClaimOldEntry(name)) {
    // The old file of that name serves as the piece when that is safe:
    // deleting a file and creating another costs more than emptying it.
    std::vector<FileInfo> keep = keep_;
    keep.push_back(source);
    if (auto reused = env->ReuseFileAt(fd_.get(), name, keep, display_name)) return reused;
    ClearEntry(fd_.get(), name, keep);
  }
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
