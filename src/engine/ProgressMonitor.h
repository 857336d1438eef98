// The display a run's progress is shown on: a bar, a percentage, a message
// line and a notification line. The engine talks to this interface; the
// windows implement it with real controls.
#pragma once

#include <cstdint>
#include <string>

namespace lorvant {

class TProgressMonitor {
 public:
  virtual ~TProgressMonitor() = default;

  double StartTime = 0;  // monotonic milliseconds at the run's start
  int64_t Step = 1;      // display only counts that are multiples of Step
  std::string UnitName = "records";

  // Step := step; 0 becomes 1.
  void SetStep(int64_t step) { Step = step == 0 ? 1 : step; }

  virtual void SetTotal(int64_t total) = 0;  // -1: unknown
  virtual void Progress(int64_t done) = 0;   // throttled by Step
  virtual void Finish(int64_t done) = 0;     // final, unthrottled
  virtual void Clear() = 0;
  virtual void SetNotify(const std::string& text) = 0;
  virtual void SetMessage(const std::string& text) = 0;
};

// A multi-line text control that receives a run's output lines.
class TLogMemo {
 public:
  virtual ~TLogMemo() = default;
  virtual void Clear() = 0;
  virtual void AddLine(const std::string& text) = 0;
};

}  // namespace lorvant
