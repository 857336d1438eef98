#include "engine/WriteBackQueue.h"

namespace lorvant {

TWriteBackQueue::TWriteBackQueue() : thread_([this] { Loop(); }) {}

TWriteBackQueue::~TWriteBackQueue() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  ready_.notify_one();
  thread_.join();
}

void TWriteBackQueue::Add(std::unique_ptr<WriteBack> write_back) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (queued_.size() < kMaxQueued) {
      queued_.push_back(std::move(write_back));
      ready_.notify_one();
      return;
    }
  }
  write_back->Start();
}

void TWriteBackQueue::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    ready_.wait(lock, [this] { return quit_ || !queued_.empty(); });
    if (quit_) return;
    std::unique_ptr<WriteBack> next = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    next->Start();
    next.reset();  // its handle closes outside the lock too
    lock.lock();
  }
}

}  // namespace lorvant
