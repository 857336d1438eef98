#include "ui/MemoLog.h"

#include <QThread>

namespace lorvant {

void TMemoLog::Clear() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.clear();
  }
  if (memo_) memo_->clear();
}

void TMemoLog::AddLine(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.push_back(text);
    if (flush_queued_) return;
    flush_queued_ = true;
  }
  if (!memo_) return;
  if (QThread::currentThread() == memo_->thread()) {
    Flush();
  } else {
    QMetaObject::invokeMethod(
        memo_, [this] { Flush(); }, Qt::QueuedConnection);
  }
}

void TMemoLog::Flush() {
  std::vector<std::string> lines;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    lines.swap(pending_);
    flush_queued_ = false;
  }
  if (!memo_) return;
  for (const std::string& line : lines) {
    // A record's error text spans lines joined by CR LF.
    QString text = QString::fromStdString(line);
    text.replace("\r\n", "\n");
    memo_->appendPlainText(text);
  }
}

}  // namespace lorvant
