#include "ui/WindowedRun.h"

#include "diagnostics/ExceptionStat.h"
#include "tasks/SessionSaver.h"
#include "tasks/SimpleBatchFileCreator.h"
#include "ui/BatchFileCreateDlg.h"
#include "ui/GuiApplication.h"
#include "ui/MainForm.h"
#include "ui/SessionSaveDlg.h"
#include "ui/UnexpectedError.h"

namespace lorvant {

int RunWindows(TWindowsHost& host) {
  static int argc = 1;
  static char name[] = "Lorvant";
  static char* argv[] = {name, nullptr};
  TGuiApplication application(argc, argv);
  SetUnexpectedErrorHandler(host.handle_error);
  TExceptionStat::SetReporter([](const std::string& message) { ShowErrorMessage(message); });
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
  TExceptionStat::SetReporter(nullptr);
  SetUnexpectedErrorHandler(nullptr);
  return code;
}

}  // namespace lorvant

extern "C" int LorvantRunWindows(lorvant::TWindowsHost* host) { return lorvant::RunWindows(*host); }
