#include "diagnostics/ExceptionReport.h"

#include <gtest/gtest.h>

#include "diagnostics/DebugHelper.h"
#include "diagnostics/OfficeVersionSolution.h"
#include "log/Log.h"
#include "net/CurlHttpClient.h"
#include "settings/RegUtil.h"
#include "support/TestEnv.h"
#include "support/TestHttpServer.h"

namespace lorvant {
namespace {

using test::TestHttpServer;

std::vector<std::string> Names(const TFormFields& fields) {
  std::vector<std::string> names;
  for (const auto& item : fields.Items()) names.push_back(item.first);
  return names;
}

TEST(ExceptionReportTest, ClassifiesOnlyWhatIsShown) {
  const std::pair<std::string, std::string> cases[] = {
      {"Assertion failure (x.cpp, line 3)", "Assertion failure"},
      {"assertion failure here", "assertion failure here"},  // letter case counts
      {"Access violation at address 0040A1B2 in module 'x'. Read of address 0", "Memory Error"},
      {"UniDAC: table not found", "Database Error"},
      {"The error: UniDAC", "Database Error"},
      {"Disk full", "Disk full"},
  };
  for (const auto& [message, shown] : cases) {
    EXPECT_EQ(TExceptionReport::ClassifyMessage(message), shown) << message;
  }
}

TEST(ExceptionReportTest, FieldsKeepTheirPlaceAndEmptyOnesAreRemoved) {
  TFormFields fields;
  fields.Set("a", "1");
  fields.Set("b", "2");
  fields.Set("c", "3");
  fields.Set("a", "one");  // replaced where it stands
  fields.Set("b", "");     // removed
  fields.Set("d", "");     // never added
  EXPECT_EQ(Names(fields), (std::vector<std::string>{"a", "c"}));
  EXPECT_EQ(fields.Get("a"), "one");
  EXPECT_EQ(fields.Get("b"), "");
}

TEST(ExceptionReportTest, PreparedFieldsComeInTheirOrderWithTheFullMessage) {
  RegWriteString(kProductKey, "RegisterUser", "");
  const std::string message = "Access violation at address 00401234. Write of address 0";
  TExceptionReport report;
  report.Prepare(message, "");
  EXPECT_EQ(Names(report.Fields),
            (std::vector<std::string>{"app_name", "os_version", "app_version", "access_version",
                                      "excel_version", "info", "msg"}));
  EXPECT_EQ(report.Fields.Get("app_name"), "Lorvant");
  EXPECT_EQ(report.Fields.Get("msg"), message);
  EXPECT_EQ(report.Fields.Get("access_version"), " (x86)");  // no office program registered
  EXPECT_EQ(report.Fields.Get("info").rfind("Exception: " + message + "\r\n\r\nSystem Info: ", 0),
            0u);
  EXPECT_NE(report.Fields.Get("info").find("\r\nSystem Decimal Separator: "), std::string::npos);
  EXPECT_TRUE(report.Advice.empty());

  RegWriteString(kProductKey, "RegisterUser", "Ada");
  TExceptionReport named;
  named.Prepare("Cannot open file \"orders.accdb\"", "");
  EXPECT_EQ(named.Fields.Items()[3], (std::pair<std::string, std::string>{"register_user", "Ada"}));
  EXPECT_EQ(named.Fields.Items().back(),
            (std::pair<std::string, std::string>{"keyword", "office_engine"}));
  EXPECT_NE(named.Advice.find("Microsoft Access Database Engine"), std::string::npos);
  RegWriteString(kProductKey, "RegisterUser", "");

  TExceptionReport from_log;
  from_log.Prepare("Something failed", "... could not read data.accdb ...");
  EXPECT_EQ(from_log.Fields.Get("keyword"), "office_engine");
}

TEST(ExceptionReportTest, SolutionLookupFollowsTheDatabaseProgram) {
  struct Case {
    std::string text, architecture, version;
    bool found;
  };
  const Case cases[] = {
      {"x.accdb", "x86", "", true},                  // none registered: 32-bit and old
      {"x.accdb", "x64", "v16.0.1 build 2", true},   // 64-bit
      {"x.accdb", "x86", "v11.0.0 build 1", true},   // 32-bit, older than 12
      {"x.accdb", "x86", "v12.0.0 build 1", false},  // 32-bit, new enough
      {"x.mdb", "x86", "", false},                   // applies, but only .accdb has one
      {"Cannot create ODBC alias", "x64", "", false},
      {"plain error", "x64", "", false},
  };
  for (const Case& c : cases) {
    TOfficeVersionSolution solution(c.architecture, c.version);
    EXPECT_EQ(solution.Search(c.text), c.found) << c.text << " " << c.version;
    EXPECT_EQ(solution.Keyword, c.found ? "office_engine" : "") << c.text;
  }
}

class ReportSendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    endpoint_ = std::make_unique<test::ScopedEnvVar>("LORVANT_ENDPOINT", server_.BaseUrl().c_str());
    RegWriteString(kProductKey, "RegisterUser", "");
    TDebugHelper::ClearLog();
    TLog::Global()->Debug("line one of the log");
    report_.Prepare("Disk full", TDebugHelper::GetLog());
  }

  TestHttpServer server_;
  TCurlHttpClient http_{THttpLimits{2000, 5000}};
  std::unique_ptr<test::ScopedEnvVar> endpoint_;
  TExceptionReport report_;
};

TEST_F(ReportSendTest, PostsEachFieldAsAPartInOrderWithTheScreenshotAsAFile) {
  const std::string shot = test::MakeTempDir("shot") + "/screenshot.jpg";
  const std::string jpeg("\xFF\xD8\xFF\xE0 any bytes \0 \r\n end\xFF\xD9", 26);
  test::WriteBytes(shot, jpeg);
  server_.Reply(200, "<p>Known problem</p>");
  report_.Send(http_, shot, true);

  ASSERT_EQ(server_.RequestCount(), 1u);
  const auto request = server_.Requests()[0];
  EXPECT_EQ(request.method, "POST");
  EXPECT_EQ(request.target, "/report_exception.php");
  const auto parts = test::ParseMultipart(request);
  std::vector<std::string> names;
  for (const auto& part : parts) names.push_back(part.name);
  EXPECT_EQ(names,
            (std::vector<std::string>{"app_name", "os_version", "app_version", "access_version",
                                      "excel_version", "info", "msg", "screenshot", "log"}));
  for (const auto& part : parts) {
    if (part.name == "screenshot") {
      EXPECT_EQ(part.filename, "screenshot.jpg");
      EXPECT_EQ(part.content_type, "mime/jpeg");
      EXPECT_EQ(part.body, jpeg);
    } else {
      EXPECT_EQ(part.content_type, "text/plain; charset=UTF-8") << part.name;
      EXPECT_EQ(part.transfer_encoding, "8bit") << part.name;
      EXPECT_EQ(part.body, report_.Fields.Get(part.name)) << part.name;
    }
  }
  EXPECT_NE(parts[5].body.find("\r\n\r\nSystem Info: "), std::string::npos);  // CR LF kept
  EXPECT_NE(parts.back().body.find("line one of the log"), std::string::npos);
  EXPECT_EQ(report_.Reply, "<p>Known problem</p>");
  EXPECT_EQ(TDebugHelper::GetLog(), "");  // the log that was sent is gone
}

TEST_F(ReportSendTest, LeftOutPartsAreNotSentAndTheLogStays) {
  report_.Send(http_, "", false);
  ASSERT_EQ(server_.RequestCount(), 1u);
  for (const auto& part : test::ParseMultipart(server_.Requests()[0])) {
    EXPECT_NE(part.name, "screenshot");
    EXPECT_NE(part.name, "log");
    EXPECT_NE(part.name, "register_user");
    EXPECT_TRUE(part.filename.empty());
  }
  EXPECT_NE(TDebugHelper::GetLog().find("line one of the log"), std::string::npos);
}

TEST_F(ReportSendTest, AFailedSendThrowsAndKeepsTheLog) {
  server_.Reply(500, "<h1>Internal error</h1>");
  EXPECT_THROW(report_.Send(http_, "", true), EHttpError);
  EXPECT_EQ(report_.Reply, "");  // an error page is not the endpoint's answer
  const std::string missing = test::MakeTempDir("gone") + "/screenshot.jpg";
  EXPECT_THROW(report_.Send(http_, missing, false), EHttpError);
  EXPECT_EQ(server_.RequestCount(), 1u);  // an unreadable file sends nothing
  test::ScopedEnvVar nowhere("LORVANT_ENDPOINT", TestHttpServer::UnusedPortUrl().c_str());
  EXPECT_THROW(report_.Send(http_, "", true), EHttpError);
  EXPECT_NE(TDebugHelper::GetLog().find("line one of the log"), std::string::npos);
}

}  // namespace
}  // namespace lorvant
