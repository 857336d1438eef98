// The record of one conversion run: counters, a stop message, the last
// error text, the start time, and five notifications an outputer binds to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lorvant {

class TConvertStatus {
 public:
  using Notification = std::function<void(TConvertStatus&)>;

  TConvertStatus() = default;
  TConvertStatus(const TConvertStatus&) = delete;
  TConvertStatus& operator=(const TConvertStatus&) = delete;

  Notification OnBegin, OnEnd, OnError, OnMessage, OnProgress;

  int64_t Total = 0;  // records expected; -1 when unknown
  int64_t Done = 0;   // records converted successfully
  int64_t ErrorCount = 0;
  // How far through its source the run has read, for a progress shown
  // while Total is unknown; SourceSize 0 when the run has no such measure.
  int64_t SourceRead = 0;
  int64_t SourceSize = 0;
  double StartTick = 0;   // monotonic milliseconds at Start
  std::string Message;    // a stop reason for the user
  std::string ErrorText;  // the most recent failed record

  // Resets counters and texts (not Total), takes the start time, OnBegin.
  void Start();
  // OnEnd.
  void Finish() { Fire(OnEnd); }
  // Total := Done when they differ and nothing failed.
  void SettleTotal() {
    if (Done != Total && ErrorCount == 0) Total = Done;
  }
  // Milliseconds since Start.
  double ElapsedMs() const;
  void NotifyError() { Fire(OnError); }
  void NotifyMessage() { Fire(OnMessage); }
  void NotifyProgress() { Fire(OnProgress); }

 private:
  void Fire(const Notification& n) {
    if (n) n(*this);
  }
};

}  // namespace lorvant
