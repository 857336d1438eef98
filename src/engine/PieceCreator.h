// Creates the numbered pieces of a split ahead of the loop that fills them,
// on threads of their own: on many file systems creating a file costs far
// more than writing its bytes, and the scan need not wait for it. Pieces
// made ahead and never taken are removed when the creator finishes.
#pragma once

#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/Env.h"

namespace lorvant {

class TOutputFolder;

class TPieceCreator {
 public:
  // Pieces are named <n><ext> in folder (not owned), shown as
  // <dest>/<n><ext>; source is the source's identity (never overwritten).
  // At most `ahead` pieces are made before they are taken, and none made
  // ahead after piece `last` (a known total says how many there will be).
  TPieceCreator(TOutputFolder* folder, std::string ext, std::string dest, FileInfo source,
                int ahead, int threads, int64_t last = INT64_MAX);
  // Finish.
  ~TPieceCreator();
  TPieceCreator(const TPieceCreator&) = delete;
  TPieceCreator& operator=(const TPieceCreator&) = delete;

  // Piece n, taken in order 1, 2, 3, ...: its open file. Throws the error
  // its creation met (as TOutputFolder::CreatePiece would).
  std::unique_ptr<WritableFile> Take(int64_t n);
  // Stops creating and removes the pieces made but not taken.
  void Finish();

 private:
  struct Made {
    bool done = false;
    std::unique_ptr<WritableFile> file;
    FileInfo info;
    std::string error;
  };
  void Work();
  std::string Name(int64_t n) const { return std::to_string(n) + ext_; }

  TOutputFolder* const folder_;
  const std::string ext_;
  const std::string dest_;
  const FileInfo source_;
  const int ahead_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Made> made_;  // pieces taken_ + 1, taken_ + 2, ...
  int64_t taken_ = 0;      // pieces handed out
  int64_t next_ = 1;       // next piece a worker starts on
  int64_t last_;           // no piece after this one, unless taken
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace lorvant
