#include "app/App.h"

#include <cstdio>

#include "base/Exception.h"
#include "base/RunMode.h"
#include "diagnostics/ExceptionStat.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "log/Log.h"
#include "os/SystemInfo.h"

namespace lorvant {
namespace {

TApp* the_instance = nullptr;

std::vector<std::string>& Params() {
  static std::vector<std::string> params;
  return params;
}

}  // namespace

void SetProcessParams(std::vector<std::string> params) { Params() = std::move(params); }
const std::vector<std::string>& ProcessParams() { return Params(); }

TApp::TApp() {
  if (the_instance != nullptr) throw EAbort();
  AppName = ExtractFileName(GetExeName());
  size_t exe = AppName.find(".exe");
  if (exe != std::string::npos) AppName.erase(exe, 4);
  the_instance = this;
}

TApp::~TApp() {
  if (the_instance == this) {
    the_instance = nullptr;
    SetWindowedRun(false);
  }
}

TApp& TApp::Instance() {
  if (the_instance == nullptr) throw Exception("TApp not create.");
  return *the_instance;
}

bool TApp::HasInstance() { return the_instance != nullptr; }

bool TApp::IsWindowed() { return the_instance != nullptr && IsWindowedRun(); }

void TApp::Run() {
  TLog::Global()->Debug("Start " + AppName);
  SetLimits();
  if (IsCommandLine()) {
    try {
      RunCommandLine();
    } catch (const Exception& e) {
      TLog::Global()->Debug(e.Message());
      std::fprintf(stderr, "Lorvant: %s\n", e.what());
      if (ExitCode == 0) ExitCode = 1;
    }
    return;
  }
  WindowedMode = true;
  SetWindowedRun(true);
  LogAppender = std::make_unique<TFileLogAppender>(GetExceptionLogFile(AppName));
  LogAppender->SetLevelError();
  TLog::Global()->AddAppender(LogAppender.get());
  TExceptionStat::StartErrorLog();
  struct TearDown {
    TApp* app;
    ~TearDown() {
      app->LogAppender.reset();  // detaches itself from "Global"
      TExceptionStat::StopErrorLog();
    }
  } tear_down{this};
  RunWindowed();
}

std::string TApp::GetSystemInfo() const { return GetSystemInfoText(); }

void TApp::HandleException(const std::exception& error) {
  TLog::Global()->Error(error.what());
  ReportException(error.what());
  TExceptionStat::ClearErrors();
}

void TApp::ReportException(const std::string& text) {
  if (IsWindowedRun()) TExceptionStat::ShowExceptionReport(text);
}

}  // namespace lorvant
