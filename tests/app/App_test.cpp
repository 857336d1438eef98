#include "app/Lorvant.h"

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "base/RunMode.h"
#include "diagnostics/ExceptionStat.h"
#include "fs/AppFolders.h"
#include "log/Log.h"
#include "os/Env.h"
#include "os/SystemInfo.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

// A windowed run whose "window" logs an error and records what it saw.
class WindowedProbe : public TLorvant {
 public:
  bool was_windowed = false;
  void RunWindowed() override {
    was_windowed = IsWindowed() && IsWindowedRun();
    TLog::Global()->Error("window failed");
  }
};

TEST(AppTest, InstanceLifecycle) {
  EXPECT_FALSE(TApp::HasInstance());
  try {
    TApp::Instance();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "TApp not create.");
  }
  try {
    TLorvant::App();
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "TLorvant not create.");
  }
  {
    TLorvant app;
    EXPECT_EQ(&TLorvant::App(), &app);
    EXPECT_EQ(app.AppName, "lorvant_tests");  // the running executable's name
    EXPECT_EQ(app.BatchFileCreator->OptionName, "task");
    EXPECT_THROW(TLorvant second, EAbort);  // a second one aborts silently
    EXPECT_FALSE(TApp::IsWindowed());
  }
  EXPECT_FALSE(TApp::HasInstance());
}

TEST(AppTest, LimitsAndSystemInfo) {
  TLorvant app;
  app.SetLimits();
  EXPECT_EQ(ProgressStepCap(), 100000);
  app.TDataApp::SetLimits();
  EXPECT_EQ(ProgressStepCap(), 1000);
  const std::string info = app.GetSystemInfo();
  EXPECT_EQ(info.find(GetOSVersionText() + "\r\nSystem Language: "), 0u) << info;
  EXPECT_NE(info.find("\r\nSystem Decimal Separator: "), std::string::npos);
}

TEST(AppTest, WindowedRunLogsErrorsToItsFileOnlyWhileItRuns) {
  const int before = TLog::Global()->AppenderCount();
  std::vector<std::string> reports;
  TExceptionStat::SetReporter([&](const std::string& m) { reports.push_back(m); });
  {
    WindowedProbe app;
    app.Run();  // no parameters: windowed
    EXPECT_TRUE(app.was_windowed);
    EXPECT_EQ(TLog::Global()->AppenderCount(), before);  // both error logs gone again
    TLog::Global()->Error("after the window");

    const std::string log = test::ReadBytes(GetExceptionLogFile(app.AppName));
    EXPECT_NE(log.find("[error]\twindow failed\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("after the window"), std::string::npos);

    app.HandleException(Exception("escaped a handler"));
  }
  EXPECT_EQ(reports, std::vector<std::string>{"escaped a handler"});
  TExceptionStat::SetReporter(nullptr);
  SetWindowedRun(false);
}

TEST(AppTest, CommandLineRunWithoutTaskDoesNothing) {
  SetProcessParams({"some-dropped-file.csv"});
  TLorvant app;
  EXPECT_TRUE(app.IsCommandLine());
  app.Run();
  EXPECT_EQ(app.ExitCode, 0);
  EXPECT_FALSE(app.WindowedMode);
  SetProcessParams({});
}

// Cron jobs and services often run without HOME and XDG_*: the run then
// keeps its settings (the saved-task list) below the account's home.
TEST(AppTest, CommandLineRunWithoutHomeUsesTheAccountsHome) {
  test::AccountHomeEnv env;
  const std::string dir = test::MakeTempDir("nohome");
  env.home = dir + "/account";
  test::WriteBytes(dir + "/data.txt", "a\nb\nc\n");
  test::WriteBytes(dir + "/t.sft", "[Split]\r\nSourceFile=" + dir +
                                       "/data.txt\r\nDestFolder=" + dir + "/out\r\nMaxLines=2\r\n");
  ScopedEnv scoped(&env);
  test::ScopedEnvVar vars[] = {
      {"HOME", nullptr}, {"XDG_CONFIG_HOME", nullptr}, {"XDG_DATA_HOME", nullptr}};
  SetProcessParams({"task=" + dir + "/t.sft"});
  {
    TLorvant app;
    app.Run();
    EXPECT_EQ(app.ExitCode, 0);
  }
  SetProcessParams({});
  EXPECT_EQ(test::ReadBytes(dir + "/out/2.txt"), "c\r\n");
  const std::string saved =
      test::ReadBytes(env.home + "/.config/Software/Pelmora/Lorvant/Tasks/values.txt");
  EXPECT_NE(saved.find(dir + "/t.sft"), std::string::npos) << saved;
}

}  // namespace
}  // namespace lorvant
