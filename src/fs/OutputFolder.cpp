#include "fs/OutputFolder.h"

#include <algorithm>
#include <cerrno>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "fs/FolderGuard.h"

namespace lorvant {

namespace {
constexpr unsigned kPieceMode = 0644;  // less the umask

std::string RefusalText(const std::string& path, const std::string& reason) {
  if (reason.empty()) return "";
  return "The output folder \"" + path + "\" is " + reason + "; it is not emptied.";
}
}  // namespace

std::string OutputFolderRefusal(const std::string& path) {
  if (path.empty()) return "";
  return RefusalText(path, ProtectedFolderReason(path));
}

TOutputFolder::TOutputFolder(std::string path) : path_(std::move(path)) {
  Env* env = Env::Default();
  if (env->OpenFolder(kCurrentFolder, path_, true, &fd_) != 0) return;  // made by Prepare
  Refuse(ProtectedFolderReason(fd_.get()));
}

void TOutputFolder::Refuse(const std::string& reason) const {
  if (!reason.empty()) throw Exception(RefusalText(path_, reason));
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
    stop_ = stop;
    std::vector<DirEntry> entries;
    if (Env::Default()->ListFolder(fd_.get(), &entries) != 0) return;
    // Listed before any piece exists: a name taken from here on is a
    // piece's, never an old entry.
    old_entries_.clear();
    donors_.clear();
    for (const DirEntry& e : entries) {
      old_entries_.insert(e.name);
      if (!e.is_dir) donors_.push_back(e.name);
    }
    pieces_done_ = false;
    deletable_files_ = 0;
    pieces_made_ = 0;
    emptier_ = std::thread(&TOutputFolder::EmptyOldEntries, this, std::move(entries));
    return;
  }
  // Without the folder every line would fail on its own; say it once, and
  // why: most often a file of that name is in the way.
  int error = ForceFolder(path_);
  if (error == 0) error = Env::Default()->OpenFolder(kCurrentFolder, path_, true, &fd_);
  if (error != 0) {
    const FileInfo in_the_way = Env::Default()->Stat(path_);
    throw Exception("Cannot create folder \"" + path_ + "\". " +
                    (in_the_way.exists && !in_the_way.is_dir ? "A file of that name exists."
                                                             : SystemErrorText(error)));
  }
  // A folder that appeared meanwhile may be anything: check it as well.
  Refuse(ProtectedFolderReason(fd_.get()));
}

void TOutputFolder::EmptyOldEntries(const std::vector<DirEntry>& entries) {
  const std::atomic<bool>* stop = stop_;
  // Folders at once; old files wait for the pieces, which take them over
  // (CreatePiece), apart from those more than the pieces will need. A new
  // inode costs most when files were just deleted beside it.
  for (const bool files : {false, true}) {
    for (const DirEntry& e : entries) {
      if (e.is_dir == files) continue;
      if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        if (files) {
          cleared_.wait(lock, [this] { return pieces_done_ || deletable_files_ > 0; });
          if (stop != nullptr && stop->load(std::memory_order_relaxed)) return;
          if (old_entries_.count(e.name) == 0) continue;  // taken by a piece
          if (!pieces_done_) --deletable_files_;
        }
        if (old_entries_.erase(e.name) == 0) continue;
        clearing_ = e.name;
      }
      ClearEntry(fd_.get(), e.name, keep_, stop);
      {
        std::lock_guard<std::mutex> lock(mutex_);
        clearing_.clear();
      }
      cleared_.notify_all();
    }
  }
}

void TOutputFolder::ExpectPieces(int64_t count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const int64_t left = std::count_if(donors_.begin(), donors_.end(), [this](const auto& name) {
      return old_entries_.count(name) != 0;
    });
    deletable_files_ = std::max<int64_t>(0, left - std::max<int64_t>(0, count - pieces_made_));
  }
  cleared_.notify_all();
}

void TOutputFolder::FinishEmptying() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pieces_done_ = true;
  }
  cleared_.notify_all();
  if (emptier_.joinable()) emptier_.join();
}

bool TOutputFolder::ClaimOldEntry(const std::string& name) {
  std::unique_lock<std::mutex> lock(mutex_);
  cleared_.wait(lock, [&] { return clearing_ != name; });
  return old_entries_.erase(name) != 0;
}

std::string TOutputFolder::ClaimDonor() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stop_ != nullptr && stop_->load(std::memory_order_relaxed)) return "";
  while (!donors_.empty()) {
    std::string name = std::move(donors_.back());
    donors_.pop_back();
    if (old_entries_.erase(name) != 0) return name;
  }
  return "";
}

std::unique_ptr<WritableFile> TOutputFolder::CreatePiece(const std::string& name,
                                                         const std::string& display_name,
                                                         const FileInfo& source) {
  Env* env = Env::Default();
  // An old file serves as the piece when that is safe: deleting a file and
  // creating another costs more than emptying it, and a new inode found
  // among those just deleted costs most of all. The old file of the
  // piece's name first, else one of another name, renamed.
  std::vector<FileInfo> keep = keep_;
  keep.push_back(source);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++pieces_made_;
  }
  const std::string old = ClaimOldEntry(name) ? name : ClaimDonor();
  if (!old.empty()) {
    if (auto reused = env->ReuseFileAt(fd_.get(), old, name, kPieceMode, keep, display_name)) {
      return reused;
    }
    ClearEntry(fd_.get(), old, keep);
  }
  // Made exclusively: an entry that came to the name since the listing
  // (a FIFO, someone's new file) is removed as an entry, never opened.
  for (int attempt = 0;; ++attempt) {
    FileInfo target = env->StatAt(fd_.get(), name, false);
    if (target.exists && target.device == source.device && target.inode == source.inode) {
      throw Exception("Output file \"" + display_name + "\" is the source file itself.");
    }
    if (target.exists && !target.is_dir && attempt < 2) ClearEntry(fd_.get(), name, keep);
    try {
      return env->CreateFileAt(fd_.get(), name, true, kPieceMode, display_name);
    } catch (const EFCreateError& e) {
      if (e.ErrorNumber() != EEXIST || attempt >= 2) throw;
    }
  }
}

bool TOutputFolder::RemovePiece(const std::string& name, const FileInfo& made,
                                int64_t at_most) const {
  if (!made.exists) return false;
  const FileInfo now = Env::Default()->StatAt(fd_.get(), name, false);
  return now.exists && now.device == made.device && now.inode == made.inode &&
         now.size <= at_most && Env::Default()->RemoveAt(fd_.get(), name, false) == 0;
}

}  // namespace lorvant
