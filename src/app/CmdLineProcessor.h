// Command-line parameters of the form name=value: the first word whose
// part before "=" matches a name (any letter case) gives its value, trimmed.
// The "logfile" value names the file that receives the run's log.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "log/FileLogAppender.h"
#include "log/Logger.h"

namespace lorvant {

class TSessionObjectFactory;

class TCmdLineProcessor {
 public:
  explicit TCmdLineProcessor(std::vector<std::string> process_params);
  virtual ~TCmdLineProcessor();
  TCmdLineProcessor(const TCmdLineProcessor&) = delete;
  TCmdLineProcessor& operator=(const TCmdLineProcessor&) = delete;

  std::vector<std::string> Params;
  std::string LogFileName;
  TSessionObjectFactory* Factory = nullptr;  // not owned
  TLogger* Logger = nullptr;                 // "cmdline", not owned
  std::unique_ptr<TFileLogAppender> Appender;
  // 0 done or nothing to run; 1 task file missing or invalid, or the run
  // failed; 2 the run ended with failed records.
  int ExitCode = 0;

  void SetFactory(TSessionObjectFactory* factory) { Factory = factory; }
  // Init, then ProcessParams; an escaping exception is logged and gives false.
  bool Execute();
  // False without parameters; else takes them and sets up the log file.
  bool Init();
  virtual bool ProcessParams() { return false; }

  // The trimmed value of the first word "name=..." (name in any case).
  std::string ParamValue(const std::string& name) const;

 private:
  std::vector<std::string> process_params_;
};

}  // namespace lorvant
