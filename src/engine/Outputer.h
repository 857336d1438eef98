// The observer side of a run: an outputer turns a run's events into lines
// of text, written to a task log file when one is named.
#pragma once

#include <string>

namespace lorvant {

class TOutputer {
 public:
  TOutputer() = default;
  virtual ~TOutputer() = default;
  TOutputer(const TOutputer&) = delete;
  TOutputer& operator=(const TOutputer&) = delete;

  std::string LogFileName;  // "" = no file output
  void SetLogFileName(const std::string& name) { LogFileName = name; }

  // Connects the outputer to what it observes; called before every run.
  virtual void BindStatus() = 0;
  // Clears what a previous run left on display.
  virtual void Reset() {}
  // Appends text as one time-stamped line to LogFileName (nothing when it
  // is empty); a write error is thrown to the caller.
  virtual void Output(const std::string& text);
};

}  // namespace lorvant
