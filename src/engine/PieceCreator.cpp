#include "engine/PieceCreator.h"

#include "base/Exception.h"
#include "fs/OutputFolder.h"

namespace lorvant {

TPieceCreator::TPieceCreator(TOutputFolder* folder, std::string ext, std::string dest,
                             FileInfo source, int ahead, int threads, int64_t last)
    : folder_(folder),
      ext_(std::move(ext)),
      dest_(std::move(dest)),
      source_(source),
      ahead_(ahead < 1 ? 1 : ahead),
      last_(last) {
  for (int i = 0; i < (threads < 1 ? 1 : threads); ++i) workers_.emplace_back([this] { Work(); });
}

TPieceCreator::~TPieceCreator() { Finish(); }

void TPieceCreator::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || (next_ - taken_ <= ahead_ && next_ <= last_); });
    if (stop_) return;
    const int64_t n = next_++;
    made_.emplace_back();  // one entry per piece started and not taken
    lock.unlock();
    Made piece;
    const std::string name = Name(n);
    try {
      piece.file = folder_->CreatePiece(name, dest_ + "/" + name, source_);
      piece.info = piece.file->Info();
    } catch (const Exception& e) {
      piece.error = e.Message();
    }
    piece.done = true;
    lock.lock();
    // Taken meanwhile it cannot be: Take waits for it.
    made_[static_cast<size_t>(n - taken_ - 1)] = std::move(piece);
    changed_.notify_all();
  }
}

std::unique_ptr<WritableFile> TPieceCreator::Take(int64_t n) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (n != taken_ + 1) throw Exception("Pieces are taken in order");
  if (n > last_) last_ = n;  // asked for after all: make it
  changed_.notify_all();
  changed_.wait(lock, [this] { return !made_.empty() && made_.front().done; });
  Made piece = std::move(made_.front());
  made_.pop_front();
  ++taken_;
  changed_.notify_all();
  if (!piece.error.empty()) throw Exception(piece.error);
  return std::move(piece.file);
}

void TPieceCreator::Finish() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : workers_) t.join();
  workers_.clear();
  std::lock_guard<std::mutex> lock(mutex_);
  int64_t n = taken_;
  for (Made& piece : made_) {
    ++n;
    if (!piece.file) continue;
    try {
      piece.file->Close();
    } catch (const Exception&) {
      // Empty and unwanted: nothing of the user's is lost with it.
    }
    folder_->RemovePiece(Name(n), piece.info);
  }
  made_.clear();
}

}  // namespace lorvant
