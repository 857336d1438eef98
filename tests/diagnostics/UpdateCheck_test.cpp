#include "diagnostics/UpdateCheck.h"

#include <gtest/gtest.h>

#include "base/TextUtil.h"
#include "net/CurlHttpClient.h"
#include "settings/RegUtil.h"
#include "support/TestEnv.h"
#include "support/TestHttpServer.h"

namespace lorvant {
namespace {

using test::ScopedEnvVar;
using test::TestHttpServer;

DateTime At(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  DateTime t;
  t.year = y, t.month = m, t.day = d, t.hour = hh, t.minute = mm, t.second = ss;
  return t;
}

TEST(UpdateCheckTest, AnUpdateIsANonZeroNumberOtherThanTheCurrentVersion) {
  const std::tuple<std::string, std::string, bool> cases[] = {
      {"1.1", "1.0", true},  {"2.0", "1.0", true},    {"0.9", "1.0", true},  // lower, but other
      {"1.0", "1.0", false}, {"0", "1.0", false},     {"0.0", "1.0", false},    {"", "1.0", false},
      {"abc", "1.0", false}, {"1.1.2", "1.0", false}, {"<html>", "1.0", false}, {"2", "1.0", true},
  };
  for (const auto& [latest, current, update] : cases) {
    EXPECT_EQ(IsUpdateAvailable(latest, current), update) << latest;
  }
}

TEST(UpdateCheckTest, ACheckIsDueFromTheNextCalendarDayOn) {
  struct Case {
    std::string date;
    DateTime now;
    bool valid, due;
  };
  const Case cases[] = {
      {"20261210", At(2026, 12, 10, 23, 59, 59), true, false},
      {"20261210", At(2026, 12, 11, 0, 0, 1), true, true},
      {"20261210", At(2026, 12, 9, 12), true, false},
      {"20261201", At(2026, 12, 10), true, true},
      {"20270101", At(2026, 12, 10), true, true},  // a date ahead counts by distance too
      {"20240229", At(2024, 3, 1, 0, 0, 1), true, true},
      {"20230229", At(2023, 3, 1), false, false},
      {"20261310", At(2026, 12, 10), false, false},
      {"2026121", At(2026, 12, 10), false, false},
      {"2026-12-", At(2026, 12, 10), false, false},
  };
  for (const Case& c : cases) {
    bool valid = !c.valid;
    EXPECT_EQ(IsCheckDue(c.date, c.now, &valid), c.due) << c.date;
    EXPECT_EQ(valid, c.valid) << c.date;
  }
  EXPECT_EQ(FormatCheckDate(At(2026, 1, 5)), "20260105");
}

class UpdateCheckServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint_ = std::make_unique<ScopedEnvVar>("LORVANT_ENDPOINT", server_.BaseUrl().c_str());
    RegWriteString(kProductKey, "NotNotifyUpdate", "");
    RegWriteString(kProductKey, "CheckUpdateDate", "");
    RegWriteString(kProductKey, "RegisterUser", "");
  }
  void TearDown() override { RegWriteString(kProductKey, "RegisterUser", ""); }

  TUpdateNotice Automatic(const DateTime& now) { return RunAutomaticUpdateCheck(http_, now); }
  static std::string Value(const char* name) { return RegReadString(kProductKey, name); }

  TestHttpServer server_;
  TCurlHttpClient http_{THttpLimits{2000, 5000}};
  std::unique_ptr<ScopedEnvVar> endpoint_;
};

TEST_F(UpdateCheckServerTest, TheManualCheckAnswersEachReply) {
  struct Case {
    int status;
    std::string body;
    bool update;
  };
  const Case cases[] = {{200, "2.0", true},
                        {200, "1.0\r\n", false},
                        {200, "0", false},
                        {404, "2.0", false},
                        {500, "", false}};
  for (const Case& c : cases) {
    server_.Reply(c.status, c.body);
    const TUpdateNotice notice = RunManualUpdateCheck(http_, At(2026, 12, 10));
    EXPECT_TRUE(notice.Show);
    EXPECT_EQ(notice.Caption, "Check Update");
    EXPECT_EQ(notice.CurrentVersion, "1.0");
    if (c.update) {
      EXPECT_EQ(notice.Header, "Updates are available for Lorvant, version 2.0");
      EXPECT_EQ(notice.Notify, "Please download and install latest version from ");
      EXPECT_EQ(notice.Link, DownloadPageUrl());
    } else {
      EXPECT_EQ(notice.Header, "This is the latest version (1.0) of Lorvant") << c.body;
      EXPECT_EQ(notice.Notify, "You can see update news on this page: ");
      EXPECT_EQ(notice.Link, server_.BaseUrl() + "/update_news.php?product=Lorvant");
    }
  }
  EXPECT_EQ(Value("CheckUpdateDate"), "20261210");
  ASSERT_EQ(server_.RequestCount(), std::size(cases));
  const std::string target = server_.Requests()[0].target;
  EXPECT_EQ(target.rfind("/versioncheck.php?product=Lorvant&version=1.0.0.", 0), 0u) << target;
  EXPECT_EQ(target.substr(target.size() - 10), "&username=");
}

TEST_F(UpdateCheckServerTest, QueryValuesAreEncoded) {
  RegWriteString(kProductKey, "RegisterUser", "Ann & Bob=1?x#y");
  server_.Reply(200, "1.0");
  RunManualUpdateCheck(http_, At(2026, 12, 10));
  ASSERT_EQ(server_.RequestCount(), 1u);
  const std::string target = server_.Requests()[0].target;
  EXPECT_EQ(TextAfter(target, "&username="), "Ann%20%26%20Bob%3D1%3Fx%23y");
}

TEST_F(UpdateCheckServerTest, AnUnreachableEndpointMeansTheLatestVersion) {
  ScopedEnvVar nowhere("LORVANT_ENDPOINT", TestHttpServer::UnusedPortUrl().c_str());
  const TUpdateNotice manual = RunManualUpdateCheck(http_, At(2026, 12, 10));
  EXPECT_TRUE(manual.Show);
  EXPECT_EQ(manual.LatestVersion, "1.0");
  EXPECT_EQ(manual.Header, "This is the latest version (1.0) of Lorvant");
  RegWriteString(kProductKey, "CheckUpdateDate", "20261209");
  EXPECT_FALSE(Automatic(At(2026, 12, 10)).Show);
}

TEST_F(UpdateCheckServerTest, TheAutomaticCheckAsksOnceADayUntilSwitchedOff) {
  server_.Reply(200, "2.0");
  // First run ever: the date written earlier does not hold it back.
  RegWriteString(kProductKey, "CheckUpdateDate", "20261210");
  TUpdateNotice first = Automatic(At(2026, 12, 10, 9));
  EXPECT_TRUE(first.Show);
  EXPECT_EQ(first.Caption, "Upgrade Notify");
  EXPECT_EQ(first.Header, "Updates are available for Lorvant, version 2.0");
  EXPECT_EQ(Value("NotNotifyUpdate"), "False");
  EXPECT_EQ(Value("CheckUpdateDate"), "20261210");
  EXPECT_EQ(server_.RequestCount(), 1u);

  EXPECT_FALSE(Automatic(At(2026, 12, 10, 18)).Show);  // same day: no request
  EXPECT_EQ(server_.RequestCount(), 1u);
  EXPECT_TRUE(Automatic(At(2026, 12, 11, 8)).Show);  // next day: asked again
  EXPECT_EQ(server_.RequestCount(), 2u);
  EXPECT_EQ(Value("CheckUpdateDate"), "20261211");

  server_.Reply(200, "1.0");
  EXPECT_FALSE(Automatic(At(2026, 12, 12, 8)).Show);  // no update: silent, date kept
  EXPECT_EQ(server_.RequestCount(), 3u);
  EXPECT_EQ(Value("CheckUpdateDate"), "20261212");

  SetNotNotifyUpdate(true);
  EXPECT_EQ(Value("NotNotifyUpdate"), "-1");
  EXPECT_FALSE(Automatic(At(2026, 12, 20)).Show);
  EXPECT_EQ(server_.RequestCount(), 3u);
  EXPECT_TRUE(RunManualUpdateCheck(http_, At(2026, 12, 20)).Show);  // the manual one still asks
  EXPECT_EQ(server_.RequestCount(), 4u);
  SetNotNotifyUpdate(false);
  EXPECT_EQ(Value("NotNotifyUpdate"), "0");
}

TEST_F(UpdateCheckServerTest, NoDateOrABadOneAsksNothing) {
  server_.Reply(200, "2.0");
  RegWriteString(kProductKey, "NotNotifyUpdate", "False");
  EXPECT_FALSE(Automatic(At(2026, 12, 10)).Show);  // no date yet: today's is written
  EXPECT_EQ(Value("CheckUpdateDate"), "20261210");
  RegWriteString(kProductKey, "CheckUpdateDate", "2026-1-1");
  EXPECT_FALSE(Automatic(At(2026, 12, 10)).Show);
  EXPECT_EQ(Value("CheckUpdateDate"), "2026-1-1");  // left as it was
  EXPECT_EQ(server_.RequestCount(), 0u);
}

}  // namespace
}  // namespace lorvant
