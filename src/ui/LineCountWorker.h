// Counts a source file's lines for the split window's label without
// blocking typing: one worker thread, the newest request wins (it replaces
// one still waiting and cancels the count in progress), and the count goes through the
// line-count cache, so the run that follows need not read the file again.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace lorvant {

class TLineCountWorker : public QObject {
  Q_OBJECT

 public:
  explicit TLineCountWorker(QObject* parent = nullptr);
  // Cancels a count in progress and waits for its thread.
  ~TLineCountWorker() override;

  // Counts file_name; the answer arrives as counted() with the request's
  // number, which is returned.
  uint64_t Request(const std::string& file_name);
  // Gives up the count in progress or waiting: its answer never comes.
  void Cancel();

 signals:
  // ok false: the file could not be read to its end.
  void counted(quint64 request, bool ok, qint64 lines);

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::string pending_;
  uint64_t pending_id_ = 0;
  uint64_t latest_id_ = 0;
  bool quit_ = false;
  std::atomic<bool> cancel_{false};  // a newer request or the end is waiting
  std::thread thread_;
};

}  // namespace lorvant
