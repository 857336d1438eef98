// Starts the write-back of finished pieces on a thread of its own: asking
// the system to write a file out may wait for room in the storage queue,
// and the writer has the next piece to write meanwhile.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "os/Env.h"

namespace lorvant {

class TWriteBackQueue {
 public:
  // Write-backs queued at most; past that the caller starts its own, so
  // the handles held open stay few.
  static constexpr size_t kMaxQueued = 64;

  TWriteBackQueue();
  // Ends the thread; what is still queued is left to the system, which
  // writes it out in its own time.
  ~TWriteBackQueue();
  TWriteBackQueue(const TWriteBackQueue&) = delete;
  TWriteBackQueue& operator=(const TWriteBackQueue&) = delete;

  // Starts write_back on the queue's thread, or at once when the queue is full.
  void Add(std::unique_ptr<WriteBack> write_back);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<std::unique_ptr<WriteBack>> queued_;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace lorvant
