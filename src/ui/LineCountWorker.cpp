#include "ui/LineCountWorker.h"

#include <QMetaObject>

#include "textio/FileLineCountCache.h"

namespace lorvant {

TLineCountWorker::TLineCountWorker(QObject* parent) : QObject(parent) {
  thread_ = std::thread([this] { Loop(); });
}

TLineCountWorker::~TLineCountWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  cancel_ = true;
  wake_.notify_one();
  thread_.join();
}

uint64_t TLineCountWorker::Request(const std::string& file_name) {
  uint64_t id;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    id = ++latest_id_;
    pending_ = file_name;
    pending_id_ = id;
  }
  cancel_ = true;
  wake_.notify_one();
  return id;
}

void TLineCountWorker::Cancel() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++latest_id_;
    pending_id_ = 0;
    pending_.clear();
  }
  cancel_ = true;
}

void TLineCountWorker::Loop() {
  for (;;) {
    std::string name;
    uint64_t id;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || pending_id_ != 0; });
      if (quit_) return;
      name.swap(pending_);
      id = pending_id_;
      pending_id_ = 0;
      cancel_ = false;
    }
    int64_t lines = 0;
    const bool ok = TFileLineCountCache::TryGetLineCount(name, &lines, &cancel_);
    if (cancel_) continue;  // given up: a newer request or Cancel is waiting
    // The destructor joins this thread before the object goes.
    QMetaObject::invokeMethod(
        this, [this, id, ok, lines] { emit counted(id, ok, lines); }, Qt::QueuedConnection);
  }
}

}  // namespace lorvant
