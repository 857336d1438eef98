// What one batch file needs: the task file to run, the log file of the run
// and the batch file itself, the check of those names, and the writing of
// the batch file, a one-line shell script that starts this program.
#pragma once

#include <string>

namespace lorvant {

class TBatchOptions {
 public:
  TBatchOptions() = default;
  virtual ~TBatchOptions() = default;
  TBatchOptions(const TBatchOptions&) = delete;
  TBatchOptions& operator=(const TBatchOptions&) = delete;

  std::string OptionName = "session";  // keyword of the task file on the command line
  std::string SessionFile;
  std::string LogFile;
  std::string BatchFile;
  std::string ErrorMessage;  // text of the last failed check

  // False with ErrorMessage set at the first empty name (task, log, batch
  // file in that order); true otherwise, ErrorMessage untouched.
  virtual bool Validate();
  // Replaces BatchFile (atomically, mode 0755) with BatchLine() + CR LF.
  // Does not validate. Throws Exception for a name holding a line break and
  // EFCreateError "Cannot create file "<BatchFile>". <reason>".
  virtual void SaveBatchFile();

  // Full path of the running program's executable.
  virtual std::string GetExeName() const;

  // "<exe>"  <OptionName>="<SessionFile>" logfile="<LogFile>", each path
  // quoted by ShellQuote. Throws Exception for a path with CR, LF or NUL.
  std::string BatchLine() const;
};

// path between double quotes, with '"', '$', '`' and '\' escaped by a
// backslash so that sh passes it on as it is. Throws Exception when path
// holds CR, LF or NUL: a line break would end the command early and let
// the rest of the path run as a command of its own.
std::string ShellQuote(const std::string& path);

}  // namespace lorvant
