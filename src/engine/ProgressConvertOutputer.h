// Reports a run on a progress monitor and in a log memo: progress every
// step, then the summary and a notice of errors or a stop message.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/ConvertOutputer.h"
#include "engine/ProgressMonitor.h"

namespace lorvant {

// Records between two progress displays for a run of total records: 1, 10,
// 100, or total / 100 rounded up, at most the application's step cap.
int64_t ChooseProgressStep(int64_t total);

class TProgressConvertOutputer : public TConvertOutputer {
 public:
  // Owns the monitor; the memo (may be null) is not owned.
  TProgressConvertOutputer(std::unique_ptr<TProgressMonitor> monitor, TLogMemo* memo);

  TProgressMonitor& Monitor() { return *monitor_; }
  TLogMemo* LogMemo = nullptr;

  // Empties the memo, clears the monitor.
  void Reset() override;
  // Adds text to the memo, then writes it to the log file.
  void Output(const std::string& text) override;

 protected:
  void HandleError() override { Output(Status->ErrorText); }
  void HandleMessage() override {}
  void HandleBegin() override;
  void HandleEnd() override;
  void HandleProgress() override { monitor_->Progress(Status->Done); }

 private:
  std::unique_ptr<TProgressMonitor> monitor_;
};

}  // namespace lorvant
