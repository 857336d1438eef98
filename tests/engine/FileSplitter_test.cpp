#include "engine/FileSplitter.h"

#include <gtest/gtest.h>
#include <filesystem>

#include "base/RunMode.h"
#include "diagnostics/ExceptionStat.h"
#include "engine/FileSplitSessionExecutor.h"
#include "engine/LogConvertOutputer.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "log/Log.h"
#include "support/RunLorvant.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "textio/FileLineCountCache.h"

namespace lorvant {
namespace {

// Output files that accept `budget` bytes in all, then fail as a full disk
// does: the write in progress is cut short and reports ENOSPC.
class FullDiskEnv : public EnvWrapper {
 public:
  explicit FullDiskEnv(int64_t budget) : EnvWrapper(Env::Default()), budget_(budget) {}

  std::unique_ptr<WritableFile> CreateFileAt(int dir, const std::string& name, bool exclusive,
                                             unsigned mode, const std::string& shown) override {
    struct File : WritableFile {
      std::unique_ptr<WritableFile> real;
      int64_t* budget;
      void Append(const char* data, size_t n) override {
        size_t ok = static_cast<size_t>(std::max<int64_t>(0, std::min<int64_t>(*budget, n)));
        real->Append(data, ok);
        *budget -= static_cast<int64_t>(ok);
        if (ok < n) throw EWriteError("Cannot write to file. No space left on device");
      }
      void Sync() override { real->Sync(); }
      void Close() override { real->Close(); }
    };
    auto file = std::make_unique<File>();
    file->real = target()->CreateFileAt(dir, name, exclusive, mode, shown);
    file->budget = &budget_;
    return file;
  }

 private:
  int64_t budget_;
};

class FileSplitterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("split");
    for (int i = 1; i <= 1000; ++i) text_ += "line " + std::to_string(i) + "\n";
    test::WriteBytes(dir_ + "/src.txt", text_);
    session_.SourceFile = dir_ + "/src.txt";
    session_.DestFolder = dir_ + "/out";
    session_.MaxLines = 100;
    executor_.SetSession(&session_);
    executor_.SetOutputer(&outputer_);
  }
  void TearDown() override { SetWindowedRun(false); }

  // The lines of piece n, without their CR LF.
  std::vector<std::string> Piece(int n) {
    std::string data = test::ReadBytes(dir_ + "/out/" + std::to_string(n) + ".txt");
    std::vector<std::string> lines;
    size_t start = 0, pos;
    while ((pos = data.find("\r\n", start)) != std::string::npos) {
      lines.push_back(data.substr(start, pos - start));
      start = pos + 2;
    }
    EXPECT_EQ(start, data.size()) << "piece " << n << " ends mid-line";
    return lines;
  }

  std::string dir_, text_;
  TFileSplitSession session_;
  TLogConvertOutputer outputer_;
  TFileSplitSessionExecutor executor_;
};

TEST_F(FileSplitterTest, FailedWritesBecomeRecordErrorsAndNeverCountAsDone) {
  outputer_.SetLogFileName(dir_ + "/run.log");
  // Room for a little more than three pieces of 100 lines.
  FullDiskEnv full(3 * 1092 + 500);
  {
    ScopedEnv scoped(&full);
    EXPECT_TRUE(executor_.Execute());
  }
  TConvertStatus& status = executor_.Converter->Status();
  EXPECT_EQ(status.Done, 300);
  EXPECT_EQ(status.ErrorCount, 700);
  EXPECT_EQ(executor_.FailedRecords(), 700);
  EXPECT_EQ(status.Total, 1000);
  EXPECT_EQ(status.ErrorText.rfind("Serial: 1000\r\n", 0), 0u) << status.ErrorText;
  EXPECT_NE(status.ErrorText.find("No space left on device"), std::string::npos);
  for (int n = 1; n <= 3; ++n) {
    std::vector<std::string> lines = Piece(n);
    ASSERT_EQ(lines.size(), 100u);
    EXPECT_EQ(lines.front(), "line " + std::to_string((n - 1) * 100 + 1));
  }
  std::string log = test::ReadBytes(dir_ + "/run.log");
  EXPECT_NE(log.find("] Serial: 301\r\n"), std::string::npos);
  EXPECT_NE(log.find("] 300 records    Elapsed: "), std::string::npos);
  EXPECT_NE(log.find(".  700 rows can not convert.\r\n"), std::string::npos);
}

// Serves /proc/meminfo from a test file, when given one: how much memory
// the system says it has available.
class MemInfoEnv : public EnvWrapper {
 public:
  explicit MemInfoEnv(std::string file) : EnvWrapper(Env::Default()), file_(std::move(file)) {}
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    return EnvWrapper::OpenForRead(name == "/proc/meminfo" && !file_.empty() ? file_ : name);
  }

 private:
  std::string file_;
};

// A source read from storage stays in the page cache when it fits in the
// memory available, and leaves it behind the scan when it does not: either
// way every line reaches its piece.
TEST_F(FileSplitterTest, SourceTooLargeForMemoryLeavesTheCacheBehindTheScan) {
  std::string text;
  int lines = 0;
  while (text.size() < (24u << 20)) text += "record " + std::to_string(++lines) + ",a,b,c\n";
  const std::string source = dir_ + "/src.txt";
  test::WriteBytes(source, text);
  test::WriteBytes(dir_ + "/meminfo", "MemTotal: 4096 kB\nMemAvailable: 1024 kB\n");
  session_.MaxLines = 250000;
  for (bool fits : {true, false}) {
    if (!test::DropFromCache(source)) GTEST_SKIP() << "the page cache keeps this file";
    MemInfoEnv env(fits ? "" : dir_ + "/meminfo");
    ScopedEnv scoped(&env);
    TFileSplitSessionExecutor executor;
    executor.SetSession(&session_);
    executor.SetOutputer(&outputer_);
    ASSERT_TRUE(executor.Execute()) << fits;
    EXPECT_EQ(executor.Converter->Status().Done, lines) << fits;
    EXPECT_EQ(test::Resident(source, 0), fits);
    EXPECT_EQ(test::Resident(source, 8 << 20), fits);
    const int pieces = (lines + 249999) / 250000;
    EXPECT_EQ(Piece(pieces).back(), "record " + std::to_string(lines) + ",a,b,c") << fits;
    EXPECT_EQ(Piece(2).front(), "record 250001,a,b,c") << fits;
  }
}

TEST_F(FileSplitterTest, StopKeepsEveryLineDoneSoFar) {
  struct Stopper : TEventPump {
    TFileSplitSessionExecutor* executor;
    int calls = 0;
    void ProcessPendingEvents() override {
      if (++calls == 3) executor->Stop();
    }
  } pump;
  pump.executor = &executor_;
  executor_.Converter->SetEventPump(&pump);
  outputer_.SetLogFileName(dir_ + "/run.log");
  EXPECT_TRUE(executor_.Execute());
  // The log says what it always said of a stopped run: the lines done.
  std::vector<std::string> entries = test::LogEntries(dir_ + "/run.log");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_TRUE(entries[0].starts_with("300 records    Elapsed: ")) << entries[0];
  TConvertStatus& status = executor_.Converter->Status();
  // Progress is reported once per piece of 100 lines here.
  EXPECT_EQ(status.Done, 300);
  EXPECT_EQ(status.Total, -1);  // nothing counted, and a stopped run does not settle
  EXPECT_EQ(Piece(3).size(), 100u);
  EXPECT_EQ(Piece(3).back(), "line 300");
  EXPECT_FALSE(test::PathExists(dir_ + "/out/4.txt"));

  executor_.Converter->SetEventPump(nullptr);
  executor_.ResetStop();
  EXPECT_TRUE(executor_.Execute());  // a second run on the same executor
  EXPECT_EQ(executor_.Converter->FileCount, 10);
  EXPECT_EQ(Piece(10).back(), "line 1000");
}

// A stop asked for while the output folder is still being emptied (from the
// window's thread, while the worker splits) ends the emptying there and the
// run with it: the pieces written hold exactly the lines reported done.
TEST_F(FileSplitterTest, StopWhileEmptyingEndsTheEmptyingAndTheRun) {
  struct StopWhileEmptying : EnvWrapper {
    explicit StopWhileEmptying(TFileSplitSessionExecutor* e)
        : EnvWrapper(Env::Default()), executor(e) {}
    int RemoveAt(int d, const std::string& n, bool folder) override {
      executor->Stop();
      return EnvWrapper::RemoveAt(d, n, folder);
    }
    TFileSplitSessionExecutor* executor;
  } stopper(&executor_);
  std::filesystem::create_directories(dir_ + "/out");
  for (int i = 1; i <= 5; ++i) test::WriteBytes(dir_ + "/out/old" + std::to_string(i), "x");
  outputer_.SetLogFileName(dir_ + "/run.log");
  {
    ScopedEnv scoped(&stopper);
    EXPECT_TRUE(executor_.Execute());
  }
  auto entries = [this](bool old) {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/out")) {
      n += (e.path().filename().string().rfind("old", 0) == 0) == old;
    }
    return n;
  };
  // The stop came with the first deletion: besides that one, at most the
  // old file a piece had taken by then is gone.
  EXPECT_GE(entries(true), 3);
  EXPECT_LE(entries(true), 4);
  size_t lines = 0;
  for (int n = 1; n <= entries(false); ++n) lines += Piece(n).size();
  EXPECT_EQ(static_cast<int64_t>(lines), executor_.Converter->Status().Done);
  // The run did not read to the end, so nothing may have been kept as the
  // file's count.
  int64_t cached = 0;
  EXPECT_FALSE(TFileLineCountCache::Lookup(session_.SourceFile,
                                           Env::Default()->Stat(session_.SourceFile), &cached));

  // A stop before the run starts is kept too, until the caller resets it:
  // the folder is not touched.
  const int before = entries(true) + entries(false);
  executor_.Stop();
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(entries(true) + entries(false), before);
  executor_.ResetStop();
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(Piece(10).back(), "line 1000");
  EXPECT_EQ(entries(true), 0);
}

TEST_F(FileSplitterTest, OnlyWindowedRunsRecordARecentTask) {
  const std::string data = GetAppDataPath() + "/Lorvant";
  EXPECT_TRUE(executor_.Execute());
  // A command-line run neither reads nor writes the recent-task list.
  EXPECT_FALSE(test::PathExists(data));
  EXPECT_EQ(CountFiles(data + "/", "*.sft", false), 0);

  SetWindowedRun(true);
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(CountFiles(data + "/", "*.sft", false), 1);
  std::string recent = test::ReadBytes(data + "/recent_tasks.txt");
  EXPECT_NE(recent.find(".sft|src.txt\r\n"), std::string::npos) << recent;
}

TEST_F(FileSplitterTest, FailedRunIsReportedThreeWays) {
  session_.SourceFile = dir_ + "/missing.txt";
  outputer_.SetLogFileName(dir_ + "/run.log");
  TLog::DebugLog()->Clear();
  EXPECT_FALSE(executor_.Execute());
  EXPECT_NE(test::ReadBytes(dir_ + "/run.log").find("] Cannot open file \""), std::string::npos);
  EXPECT_NE(TLog::DebugLog()->GetText().find(
                "[error]\tIn TFileSplitSessionExecutor.Execute, Cannot open file \""),
            std::string::npos);
}

TEST_F(FileSplitterTest, BadLinesPerFileIsRefusedBeforeTouchingTheFolder) {
  ForceFolder(dir_ + "/out");
  test::WriteBytes(dir_ + "/out/keep.txt", "precious");
  for (int bad : {0, -5}) {
    session_.MaxLines = bad;
    outputer_.SetLogFileName(dir_ + "/run.log");
    EXPECT_FALSE(executor_.Execute());
    EXPECT_EQ(test::ReadBytes(dir_ + "/out/keep.txt"), "precious");
  }
  EXPECT_NE(test::ReadBytes(dir_ + "/run.log")
                .find("Max lines per split file must be from 1 to 1000000000, not -5."),
            std::string::npos);
  session_.MaxLines = 100;
  session_.DestFolder = "  ";
  EXPECT_FALSE(executor_.Execute());
}

TEST_F(FileSplitterTest, WindowedRunWithFailedLinesOffersTheReport) {
  std::vector<std::string> reports;
  TExceptionStat::SetReporter([&](const std::string& m) { reports.push_back(m); });
  TExceptionStat::StartErrorLog();
  FullDiskEnv full(0);
  {
    ScopedEnv scoped(&full);
    EXPECT_TRUE(executor_.Execute());
  }
  TExceptionStat::StopErrorLog();
  TExceptionStat::SetReporter(nullptr);
  EXPECT_EQ(reports, std::vector<std::string>{"File Split Has Exception."});
}

}  // namespace
}  // namespace lorvant
