// The Lorvant application: runs split task files and "split" commands from
// the command line and, without parameters, the windows. Owns the
// batch-file creator.
#pragma once

#include <memory>

#include "app/DataApp.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"

namespace lorvant {

class TCmdLineProcessor;

class TLorvant : public TDataApp {
 public:
  TLorvant();
  ~TLorvant() override;

  std::unique_ptr<TSimpleBatchFileCreator> BatchFileCreator;
  std::unique_ptr<TSessionManager> SessionManager;  // uses BatchFileCreator

  void SetLimits() override { SetProgressStepCap(100000); }
  // Creates the instance on the first call.
  static TLorvant& Instance();
  // The instance; throws Exception "TLorvant not create." when there is none.
  static TLorvant& App();
  // Runs the task named by the parameters, or the "split" command when it
  // is the first of them; sets ExitCode.
  bool RunCommandLine() override;
  // The windows until the main window closes. Without a display: one line
  // and the usage on standard error, ExitCode 1.
  void RunWindowed() override;
  // How to run the program, for --help and runs without a task.
  std::string UsageText() const;

 private:
  // A command line without task=: --help or -h prints the usage, --version
  // the version (both on standard output); anything else one line on
  // standard error saying how to run a task. The exit code stays 0.
  void AnswerWithoutTask(const TCmdLineProcessor& processor);
};

// The application could not be set up: message goes to standard error and,
// for a windowed start with a display, into the exception report.
void ReportSetupFailure(const std::string& message);

}  // namespace lorvant
