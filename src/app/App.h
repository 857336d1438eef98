// The one application object of a process: it tells a command-line run
// (any parameter) from a windowed run, sets up the windowed run's error
// logging, and handles exceptions that escape the user interface.
#pragma once

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "log/FileLogAppender.h"

namespace lorvant {

// The process's parameters without the program name; set once by main.
void SetProcessParams(std::vector<std::string> params);
const std::vector<std::string>& ProcessParams();

class TApp {
 public:
  // Registers the instance; throws EAbort when one exists already.
  TApp();
  virtual ~TApp();
  TApp(const TApp&) = delete;
  TApp& operator=(const TApp&) = delete;

  // Mirrors the process-wide run mode (base/RunMode), which is what every
  // layer, this one included, reads.
  bool WindowedMode = false;
  std::unique_ptr<TFileLogAppender> LogAppender;  // exception.log of a windowed run
  std::string AppName;  // the executable's file name, first ".exe" removed
  int ExitCode = 0;     // the process's exit code once Run returns

  // True when the process has at least one parameter.
  virtual bool IsCommandLine() const { return !ProcessParams().empty(); }
  virtual void SetLimits() {}
  // The instance; throws Exception "TApp not create." when there is none.
  static TApp& Instance();
  static bool HasInstance();
  // The process's whole life: logs "Start <name>", sets limits, then runs
  // the command line or the windows (with their error logs around them).
  void Run();
  virtual bool RunCommandLine() { return false; }
  virtual void RunWindowed() = 0;
  // OS version, system language and decimal separator, CR LF separated.
  virtual std::string GetSystemInfo() const;

  // An instance exists and runs windowed.
  static bool IsWindowed();
  // Logs an escaping exception at error level and, windowed, reports it.
  void HandleException(const std::exception& error);
  // Windowed: shows the exception report; otherwise nothing.
  void ReportException(const std::string& text);
};

}  // namespace lorvant
