// The split window's log box as the run's output lines reach it: lines
// added on the run's thread are gathered and appended on the window's
// thread in one queued update at a time.
#pragma once

#include <QPlainTextEdit>
#include <QPointer>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ProgressMonitor.h"

namespace lorvant {

class TMemoLog : public TLogMemo {
 public:
  explicit TMemoLog(QPlainTextEdit* memo) : memo_(memo) {}

  void Clear() override;
  void AddLine(const std::string& text) override;

 private:
  void Flush();

  std::mutex mutex_;
  std::vector<std::string> pending_;
  bool flush_queued_ = false;
  QPointer<QPlainTextEdit> memo_;
};

}  // namespace lorvant
