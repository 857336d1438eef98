// The generic record-by-record conversion driver: prepare, count, loop with
// stop and error checks, report through the status record, always close.
// A subclass supplies the record steps; the split engine is the only one.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "base/Exception.h"
#include "engine/ConvertStatus.h"
#include "engine/EventPump.h"

namespace lorvant {

class TTaskSession;

class TIterativeConverter {
 public:
  TIterativeConverter();
  virtual ~TIterativeConverter();
  TIterativeConverter(const TIterativeConverter&) = delete;
  TIterativeConverter& operator=(const TIterativeConverter&) = delete;

  // Set by Stop from any thread; cleared only by ResetStop, so a stop asked
  // for while the run is still being prepared is not lost.
  std::atomic<bool> Stopped{false};
  int64_t MaxErrorCount = 0;        // stop once more have failed; 0 = no limit
  int LoggedErrorCount = 0;         // record errors of this run written to the log
  TTaskSession* Session = nullptr;  // not owned

  TConvertStatus& Status() { return *status_; }
  void SetEventPump(TEventPump* pump) { pump_ = pump; }

  // The whole run; true when it completes. Close always runs; an exception
  // from any step reaches the caller after it.
  bool Run();
  // Requests a stop before the next record (or of the preparation); safe
  // from any thread.
  void Stop() { Stopped.store(true, std::memory_order_relaxed); }
  // Makes the converter ready for a new run; call before Run, not during.
  void ResetStop() { Stopped.store(false, std::memory_order_relaxed); }
  // Whether the loop must end before the record at hand (may set Message).
  bool ShouldStop() { return ShouldStopFor(*this); }
  // Done := DoneRecords(); OnProgress; pending events.
  void DoAfterConvertSome() { AfterConvertSomeFor(*this); }
  // ErrorText := text CR LF message; OnError; the first five are logged.
  // Call after adding one to Status().ErrorCount.
  void RecordError(const std::string& text, const Exception& error);

 protected:
  virtual void Prepare() {}
  // LoggedErrorCount := 0, CountTotal, Status.Start.
  virtual void BeforeConvert();
  virtual void AfterLoop() {}
  // Settles the total unless stopped, then Status.Finish.
  virtual void AfterConvert();
  virtual void Close() {}
  virtual bool HasNext() = 0;
  virtual void Next() = 0;
  // Converts the current record, catching its own errors.
  virtual void ConvertOneRecord() = 0;
  virtual bool IsTotalUnknown() { return status_->Total == -1; }
  virtual void CountTotal() = 0;
  // 1-based number of the record at hand.
  virtual int64_t CurrentRecordNumber() = 0;
  // Records converted successfully so far: records handled - failures. A
  // subclass that learns a record's fate later reports only settled ones,
  // so the figure never falls.
  virtual int64_t DoneRecords() {
    int64_t done = CurrentRecordNumber() - status_->ErrorCount;
    return done < 0 ? 0 : done;
  }
  // The record loop; a final subclass overrides it with RunLoopFor(*this)
  // so the per-record steps are called directly.
  virtual void RunLoop() { RunLoopFor(*this); }

  template <class C>
  void RunLoopFor(C& self) {
    while (self.HasNext() && !ShouldStopFor(self)) {
      self.ConvertOneRecord();
      AfterConvertSomeFor(self);
      self.Next();
    }
    AfterLoop();
  }

 private:
  template <class C>
  bool ShouldStopFor(C& self) {
    if (Stopped) return true;
    if (MaxErrorCount > 0 && status_->ErrorCount > MaxErrorCount) {
      ReportErrorLimit();
      return true;
    }
    return !self.IsTotalUnknown() && status_->Total < self.CurrentRecordNumber();
  }

  template <class C>
  void AfterConvertSomeFor(C& self) {
    status_->Done = self.DoneRecords();
    status_->NotifyProgress();
    if (pump_ != nullptr) pump_->ProcessPendingEvents();
  }

  void ReportErrorLimit();

  std::unique_ptr<TConvertStatus> status_;
  TEventPump* pump_ = nullptr;
};

}  // namespace lorvant
