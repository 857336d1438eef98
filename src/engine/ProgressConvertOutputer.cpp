#include "engine/ProgressConvertOutputer.h"

#include <algorithm>

#include "base/RunMode.h"
#include "engine/TimeUtil.h"
#include "os/Env.h"

namespace lorvant {

int64_t ChooseProgressStep(int64_t total) {
  int64_t step;
  if (total < 100) {
    step = 1;
  } else if (total < 1000) {
    step = 10;
  } else if (total < 10000) {
    step = 100;
  } else {
    step = (total + 99) / 100;
  }
  return std::min<int64_t>(step, ProgressStepCap());
}

TProgressConvertOutputer::TProgressConvertOutputer(std::unique_ptr<TProgressMonitor> monitor,
                                                   TLogMemo* memo)
    : LogMemo(memo), monitor_(std::move(monitor)) {}

void TProgressConvertOutputer::Reset() {
  if (LogMemo != nullptr) LogMemo->Clear();
  monitor_->Clear();
}

void TProgressConvertOutputer::Output(const std::string& text) {
  if (LogMemo != nullptr) LogMemo->AddLine(text);
  TConvertOutputer::Output(text);
}

void TProgressConvertOutputer::HandleBegin() {
  monitor_->StartTime = static_cast<double>(Env::Default()->MonotonicMs());
  monitor_->SetTotal(Status->Total);
  monitor_->SetStep(ChooseProgressStep(Status->Total));
  monitor_->Progress(0);
}

void TProgressConvertOutputer::HandleEnd() {
  monitor_->SetTotal(Status->Total);
  monitor_->Finish(Status->Done);
  std::string text = std::to_string(Status->Done) + " " + monitor_->UnitName +
                     ",    Elapsed: " + FormatElapsed(true, Status->ElapsedMs()) + ".    ";
  if (Status->ErrorCount > 0) {
    text += std::to_string(Status->ErrorCount) + " rows can not convert.";
  }
  monitor_->SetMessage(text);
  Output(text);
  std::string notice;
  if (!Status->ErrorText.empty()) notice = "Error, please see log.    ";
  if (!Status->Message.empty()) notice += Status->Message;
  if (!notice.empty()) monitor_->SetNotify(notice);
}

}  // namespace lorvant
