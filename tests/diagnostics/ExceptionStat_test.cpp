#include "diagnostics/ExceptionStat.h"

#include <gtest/gtest.h>

#include "diagnostics/DebugHelper.h"
#include "log/Log.h"

namespace lorvant {
namespace {

TEST(ExceptionStatTest, ReportsOnlyCollectedErrorsOnce) {
  std::vector<std::string> shown;
  TExceptionStat::SetReporter([&](const std::string& m) { shown.push_back(m); });

  TLog::Global()->Error("before the log exists");
  TExceptionStat::ReportIfErrors("none yet");  // no error log: nothing
  TExceptionStat::StartErrorLog();
  TLog::Global()->Info("info is not collected");
  TExceptionStat::ReportIfErrors("still none");
  TLog::Global()->Error("boom");
  EXPECT_TRUE(TExceptionStat::HasErrors());
  TExceptionStat::ReportIfErrors("File Split Has Exception.");
  TExceptionStat::ReportIfErrors("cleared after a report");
  TExceptionStat::StopErrorLog();
  TLog::Global()->Error("after the log is gone");  // must not reach the freed log
  EXPECT_FALSE(TExceptionStat::HasErrors());
  EXPECT_EQ(shown, std::vector<std::string>{"File Split Has Exception."});
  TExceptionStat::SetReporter(nullptr);
}

TEST(DebugHelperTest, GlobalFeedsTheDebugLogFromTheStart) {
  TDebugHelper::ClearLog();
  TLog::Global()->Debug("trace me");
  EXPECT_NE(TDebugHelper::GetLog().find("[debug]\ttrace me\r\n"), std::string::npos);
  TDebugHelper::ClearLog();
  EXPECT_EQ(TDebugHelper::GetLog(), "");
}

}  // namespace
}  // namespace lorvant
