#include "ui/SplitRun.h"

#include <QMetaObject>
#include <exception>

#include "engine/SessionExecutor.h"

namespace lorvant {

TSplitRun::~TSplitRun() {
  if (running_) executor_->Stop();
  Join();
}

bool TSplitRun::Start(TSessionExecutor* executor) {
  if (running_) return false;
  Join();
  executor_ = executor;
  executor_->ResetStop();
  running_ = true;
  thread_ = std::thread([this, executor] {
    bool ok = false;
    QString error;
    try {
      ok = executor->Execute();
    } catch (const std::exception& e) {
      error = QString::fromStdString(e.what());
      if (error.isEmpty()) error = "Unknown error";
    }
    // Delivered on the window's thread after every update the run queued;
    // the destructor joins this thread, so this object is still there.
    QMetaObject::invokeMethod(
        this,
        [this, ok, error] {
          running_ = false;
          Join();
          emit finished(ok, error);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void TSplitRun::Stop() {
  if (running_) executor_->Stop();
}

void TSplitRun::Join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace lorvant
