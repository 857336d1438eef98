#include <gtest/gtest.h>

#include <memory>

#include "base/Exception.h"
#include "log/FileLogAppender.h"
#include "log/Log.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

class RecordingAppender : public TLogAppender {
 public:
  explicit RecordingAppender(std::vector<std::string>* sink, std::string tag = "")
      : sink_(sink), tag_(std::move(tag)) {}
  void Append(const std::string& text) override { sink_->push_back(tag_ + text); }

 private:
  std::vector<std::string>* sink_;
  std::string tag_;
};

TEST(LoggerTest, ThresholdsAndOrder) {
  TLogger logger;
  std::vector<std::string> got;
  RecordingAppender debug(&got, "d:"), info(&got, "i:"), error(&got, "e:");
  info.SetLevelInfo();
  error.SetLevelError();
  logger.AddAppender(&debug);
  logger.AddAppender(&info);
  logger.AddAppender(&error);

  logger.Debug("x");
  logger.Info("y");
  logger.Error("z");
  logger.Log(static_cast<TLogLevel>(9), "w");  // unknown levels take the debug prefix
  EXPECT_EQ(got, (std::vector<std::string>{"d:[debug]\tx", "d:[info]\ty", "i:[info]\ty",
                                           "d:[error]\tz", "i:[error]\tz", "e:[error]\tz",
                                           "d:[debug]\tw", "i:[debug]\tw", "e:[debug]\tw"}));
}

TEST(LoggerTest, FreedAppenderIsDetached) {
  std::vector<std::string> got;
  TLogger* logger = TLog::GetLogger("detach-test");
  {
    RecordingAppender temporary(&got);
    logger->AddAppender(&temporary);
    logger->Info("one");
  }
  logger->Info("two");  // must not reach the freed appender (ASan would see it)
  EXPECT_EQ(got, std::vector<std::string>{"[info]\tone"});
  EXPECT_EQ(logger->AppenderCount(), 0);
}

TEST(LoggerTest, ThrowingAppenderStopsTheLoop) {
  struct Throwing : TLogAppender {
    void Append(const std::string&) override { throw Exception("disk full"); }
  } thrower;
  std::vector<std::string> got;
  RecordingAppender later(&got);
  TLogger logger;
  logger.AddAppender(&thrower);
  logger.AddAppender(&later);
  EXPECT_THROW(logger.Error("x"), Exception);
  EXPECT_TRUE(got.empty());
}

TEST(LogRegistryTest, NamesAreCaseInsensitiveAndGlobalHasDebugLog) {
  EXPECT_EQ(TLog::GetLogger("global"), TLog::Global());
  EXPECT_NE(TLog::GetLogger("cmdline"), TLog::Global());
  TLog::DebugLog()->Clear();
  TLog::Global()->Debug("hello");
  ASSERT_EQ(TLog::DebugLog()->Lines().size(), 1u);
  const std::string line = TLog::DebugLog()->Lines()[0];
  // "yyyy-mm-dd hh:mm:ss:zzz" + tab + prefix + message
  ASSERT_EQ(line.size(), 23 + 1 + 8 + 5);
  EXPECT_EQ(line.substr(23), "\t[debug]\thello");
  EXPECT_EQ(line[4], '-');
  EXPECT_EQ(line[19], ':');
  EXPECT_EQ(TLog::DebugLog()->GetText(), line + "\r\n");
  TLog::DebugLog()->Clear();
  EXPECT_EQ(TLog::DebugLog()->GetText(), "");
}

TEST(MemoryLogAppenderTest, TrimsOnEvery1001stAppend) {
  TMemoryLogAppender log;
  log.MaxSize = 2000;
  const std::string msg(40, 'm');
  for (int i = 0; i < 1000; ++i) log.Append(msg);
  EXPECT_GT(log.GetText().size(), 2000u);  // no check yet
  log.Append(msg);                         // the 1001st append checks
  std::string text = log.GetText();
  EXPECT_EQ(text.rfind("......", 0), 0u);
  EXPECT_GE(text.size(), 2000u);
  EXPECT_LE(text.size(), 2001u);
  EXPECT_EQ(text.substr(text.size() - 42), msg + "\r\n");
}

TEST(WriteLogLineTest, CreatesThenAppendsWithCrLf) {
  std::string file = test::MakeTempDir() + "/run.log";
  WriteLogLine(file, "first");
  WriteLogLine(file, "zweite \xC3\xBC");
  WriteLogLine("", "ignored");
  std::string text = test::ReadBytes(file);
  ASSERT_EQ(text.size(), 2 * 26 + 5 + 2 + 9 + 2);
  EXPECT_EQ(text[0], '[');
  EXPECT_EQ(text.substr(24, 2), "] ");
  EXPECT_EQ(text.substr(26, 7), "first\r\n");
  EXPECT_EQ(text.substr(text.size() - 11), "zweite \xC3\xBC\r\n");
}

TEST(WriteLogLineTest, UnwritableFileRaises) {
  TFileLogAppender appender(test::MakeTempDir() + "/missing/dir/x.log");
  EXPECT_THROW(appender.Append("x"), Exception);
}

}  // namespace
}  // namespace lorvant
