// One split at a time on a worker thread of its own, so the window stays
// responsive through a run of any size. The executor reports through its
// outputer (whose monitor and log box hand their updates to the window's
// thread); when the run has ended, finished() arrives on the window's thread.
#pragma once

#include <QObject>
#include <QString>
#include <thread>

namespace lorvant {

class TSessionExecutor;

class TSplitRun : public QObject {
  Q_OBJECT

 public:
  explicit TSplitRun(QObject* parent = nullptr) : QObject(parent) {}
  // Stops a run still in progress and waits for its thread.
  ~TSplitRun() override;

  // Starts executor->Execute() on a new thread; false (nothing started)
  // while a run is in progress. A stop asked for before is forgotten first.
  bool Start(TSessionExecutor* executor);
  bool Running() const { return running_; }
  // Asks the run to stop before its next line (or during preparation).
  void Stop();

 signals:
  // ok: the run reached its end; error: the message of an exception that
  // escaped the executor (for the application's handling), else empty.
  void finished(bool ok, const QString& error);

 private:
  void Join();

  TSessionExecutor* executor_ = nullptr;
  std::thread thread_;
  bool running_ = false;  // touched on the window's thread only
};

}  // namespace lorvant
