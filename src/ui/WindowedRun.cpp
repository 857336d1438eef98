#include "ui/WindowedRun.h"

#include "diagnostics/ExceptionStat.h"
#include "net/CurlHttpClient.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/ExceptionReportDlg.h"
#include "ui/GuiApplication.h"
#include "ui/MainForm.h"
#include "ui/SessionSaveDlg.h"
#include "ui/UnexpectedError.h"
#include "ui/UpdateChecks.h"

namespace lorvant {

namespace {

// A report may carry a screenshot over a slow line, and the user can
// cancel it; an update check is a few bytes nobody waits for.
constexpr THttpLimits kReportLimits{10000, 120000};
constexpr THttpLimits kUpdateCheckLimits{10000, 20000};

char** Arguments(int* argc) {
  static char name[] = "Lorvant";
  static char* argv[] = {name, nullptr};
  *argc = 1;
  return argv;
}

}  // namespace

int RunWindows(TWindowsHost& host) {
  static int argc;
  char** argv = Arguments(&argc);
  TGuiApplication application(argc, argv);
  SetUnexpectedErrorHandler(host.handle_error);
  TCurlHttpClient report_client(kReportLimits);
  TExceptionStat::SetReporter([&report_client](const std::string& message) {
    RunOnWindowThread([&report_client, message] { ShowExceptionReport(message, report_client); });
  });
  TUpdateChecks update_checks([] { return std::make_unique<TCurlHttpClient>(kUpdateCheckLimits); });
  SetUpdateChecks(&update_checks);
  update_checks.NotifyUpdate();
  host.batch_file_creator->SetDialogFactory(
      [] { return std::make_unique<TSimpleBatchFileCreateDlg>(QApplication::activeWindow()); });
  host.session_manager->SetDialogFactory(
      [] { return std::make_unique<TSessionSaveDlg>(QApplication::activeWindow()); });
  int code;
  {
    TMainForm main_form(host.session_manager);
    main_form.show();
    code = application.exec();
  }
  host.session_manager->SetDialogFactory(nullptr);
  host.batch_file_creator->SetDialogFactory(nullptr);
  SetUpdateChecks(nullptr);
  TExceptionStat::SetReporter(nullptr);
  SetUnexpectedErrorHandler(nullptr);
  return code;
}

int ShowSetupFailure(const std::string& message) {
  static int argc;
  char** argv = Arguments(&argc);
  TGuiApplication application(argc, argv);
  TCurlHttpClient report_client(kReportLimits);
  ShowExceptionReport(message, report_client);
  return 0;
}

}  // namespace lorvant

extern "C" int LorvantRunWindows(lorvant::TWindowsHost* host) { return lorvant::RunWindows(*host); }

extern "C" int LorvantShowSetupFailure(const char* message) {
  return lorvant::ShowSetupFailure(message);
}
