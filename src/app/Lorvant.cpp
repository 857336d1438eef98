#include "app/Lorvant.h"

#include <cstdio>

#include "app/FileSplitCmdLineProcessor.h"
#include "app/SplitCommand.h"
#include "app/WindowsModule.h"
#include "base/Exception.h"
#include "engine/FileSplitSessionObjectFactory.h"
#include "log/ConsoleLogAppender.h"
#include "log/Log.h"
#include "os/SystemInfo.h"
#include "os/VersionUtil.h"
#include "ui/WindowedRun.h"

namespace lorvant {
namespace {
std::unique_ptr<TLorvant>& Owned() {
  static std::unique_ptr<TLorvant> app;
  return app;
}
}  // namespace

TLorvant::TLorvant() {
  // The windows plug in their dialog when they exist.
  BatchFileCreator = std::make_unique<TSimpleBatchFileCreator>(nullptr);
  BatchFileCreator->OptionName = "task";
  SessionManager = std::make_unique<TSessionManager>(BatchFileCreator.get());
}

TLorvant::~TLorvant() = default;

TLorvant& TLorvant::Instance() {
  if (!Owned()) Owned() = std::make_unique<TLorvant>();
  return *Owned();
}

TLorvant& TLorvant::App() {
  auto* app = HasInstance() ? dynamic_cast<TLorvant*>(&TApp::Instance()) : nullptr;
  if (app == nullptr) throw Exception("TLorvant not create.");
  return *app;
}

void TLorvant::AnswerWithoutTask(const TCmdLineProcessor& processor) {
  // Only without task=, so no call that runs a task changes.
  for (const std::string& word : processor.Params) {
    if (word == "--help" || word == "-h") {
      std::fputs(UsageText().c_str(), stdout);
      return;
    }
    if (word == "--version") {
      std::printf("Lorvant %s\n", GetFileVersionString(GetExeName()).c_str());
      return;
    }
  }
  std::fprintf(stderr, "Lorvant: nothing to run; give a task as task=FILE.sft (see %s --help).\n",
               AppName.c_str());
}

bool TLorvant::RunCommandLine() {
  // The command line's errors also go to standard error, so a run without
  // a log file (or one whose log file cannot be written) still says why it
  // failed. A run's own failures reach it through its outputer, in the
  // user's words; "Global" keeps its lines for the developer's log.
  TConsoleLogAppender console;
  console.SetLevelError();
  TLog::GetLogger("cmdline")->AddAppender(&console);
  // "split" counts only as the first word, so task= runs read as before.
  const std::vector<std::string>& params = ProcessParams();
  if (!params.empty() && params.front() == "split") {
    ExitCode = RunSplitCommand({params.begin() + 1, params.end()}, AppName);
    return true;
  }
  TFileSplitCmdLineProcessor processor(ProcessParams());
  TFileSplitSessionObjectFactory factory;
  processor.SetFactory(&factory);
  bool result = processor.Execute();
  ExitCode = processor.ExitCode;
  if (processor.TaskFileName.empty()) AnswerWithoutTask(processor);
  return result;
}

std::string TLorvant::UsageText() const {
  return "Lorvant " + GetAppVersionText() +
         " splits a large text file into numbered files of at most N lines each.\n"
         "\n"
         "Run a saved split task:\n"
         "  " +
         AppName +
         " task=/path/to/task.sft [logfile=/path/to/run.log]\n"
         "  " +
         AppName +
         " --help | --version\n"
         "\n"
         "Split a file without a task file:\n" +
         SplitCommandUsage(AppName) +
         "\n"
         "A task file is a text file like this:\n"
         "  [Split]\n"
         "  SourceFile=/data/orders.csv\n"
         "  DestFolder=/data/orders_split\n"
         "  MaxLines=10000\n"
         "\n"
         "Exit codes: 0 done, 1 wrong arguments, a missing or invalid task file or a\n"
         "failed run, 2 the run ended but some lines could not be written.\n";
}

void TLorvant::RunWindowed() {
  if (!DisplayAvailable()) {
    std::fprintf(stderr,
                 "%s: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are "
                 "unset).\n\n%s",
                 AppName.c_str(), UsageText().c_str());
    ExitCode = 1;
    return;
  }
  std::string error;
  auto run = LoadWindowsModule(&error);
  if (run == nullptr) {
    std::fprintf(stderr, "%s: cannot load the windows: %s\n", AppName.c_str(), error.c_str());
    ExitCode = 1;
    return;
  }
  TWindowsHost host;
  host.session_manager = SessionManager.get();
  host.batch_file_creator = BatchFileCreator.get();
  host.handle_error = [this](const std::string& message) { HandleException(Exception(message)); };
  run(&host);
}

void ReportSetupFailure(const std::string& message) {
  std::fprintf(stderr, "Lorvant: %s\n", message.c_str());
  if (!ProcessParams().empty() || !DisplayAvailable()) return;
  std::string error;
  if (auto show = LoadSetupFailureEntry(&error)) show(message.c_str());
}

}  // namespace lorvant
