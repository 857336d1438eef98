// The console outputer of command-line runs: the progress line's text, its
// drawing on a terminal only (at most every kRedrawMs), and the summary and
// messages it prints, all on a fake clock.
#include "app/ConsoleProgressOutputer.h"

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

constexpr int64_t kMiB = 1048576;

class FakeClockEnv : public EnvWrapper {
 public:
  FakeClockEnv() : EnvWrapper(Env::Default()) {}
  int64_t MonotonicMs() override { return now; }
  int64_t now = 1000;
};

TEST(ConsoleProgressLineTest, Table) {
  struct Case {
    int64_t total, done, read, size;
    double elapsed_ms;
    const char* line;
  };
  const Case cases[] = {
      // A known total measures by lines.
      {1000, 250, 0, 0, 2000, "250 lines  25%  125 lines/s  00:00:06 left"},
      {1000, 250, 5 * kMiB, 10 * kMiB, 2000, "250 lines  25%  125 lines/s  00:00:06 left"},
      {0, 0, 0, 0, 100, "0 lines  100%  0 lines/s"},
      // Else the source's bytes.
      {-1, 1000, 5 * kMiB, 10 * kMiB, 2000, "1000 lines  50%  2.5 MiB/s  00:00:02 left"},
      {-1, 7, kMiB, 1024 * kMiB, 1000, "7 lines  0%  1.0 MiB/s  00:17:03 left"},
      {-1, 0, 0, 100, 500, "0 lines  0%  0.0 MiB/s"},
      {-1, 9, 200, 100, 500, "9 lines  100%  0.0 MiB/s  00:00:00 left"},
      // Neither: lines and their speed alone.
      {-1, 300, 0, 0, 1500, "300 lines  200 lines/s"},
      // No time yet: no speed, no time left.
      {10, 0, 0, 0, 0, "0 lines  0%"},
      {-1, 0, 0, 0, 0, "0 lines"},
  };
  for (const Case& c : cases) {
    TConvertStatus status;
    status.Total = c.total;
    status.Done = c.done;
    status.SourceRead = c.read;
    status.SourceSize = c.size;
    EXPECT_EQ(ProgressLine(status, c.elapsed_ms), c.line);
  }
}

// A run of 1000 lines through half of a 10 MiB source, `failed` failed
// lines, a message, then the end; `finish` false leaves the run unfinished.
std::string Report(bool terminal, bool finish,
                   TConsoleProgressOutputer::Shown shown = TConsoleProgressOutputer::Shown::kAll,
                   int failed = 1) {
  FakeClockEnv clock;
  ScopedEnv env(&clock);
  const std::string path = test::MakeTempDir("console") + "/stderr";
  FILE* file = std::fopen(path.c_str(), "w");
  EXPECT_NE(file, nullptr);
  {
    TConsoleProgressOutputer out(file, terminal, shown);
    TConvertStatus status;
    out.SetStatus(&status);
    out.BindStatus();
    status.Total = -1;
    status.SourceSize = 10 * kMiB;
    status.Start();
    clock.now = 1050;  // too soon to draw
    status.Done = 10;
    status.NotifyProgress();
    clock.now = 3000;
    status.Done = 1000;
    status.SourceRead = 5 * kMiB;
    status.NotifyProgress();
    clock.now = 3099;  // too soon again
    status.NotifyProgress();
    if (finish) {
      for (int n = 1; n <= failed; ++n) {
        status.ErrorCount = n;
        status.ErrorText = "Serial: " + std::to_string(n + 2) + "\r\nboom";
        status.NotifyError();
      }
      status.Message = "A record went into a piece of its own (2.txt).";
      status.NotifyMessage();
      clock.now = 4000;
      status.Finish();
    }
  }
  std::fclose(file);
  return test::ReadBytes(path);
}

TEST(ConsoleProgressOutputerTest, DrawsOnATerminalAndClearsBeforeOtherLines) {
  const std::string line = "1000 lines  50%  2.5 MiB/s  00:00:02 left";
  const std::string clear = "\r" + std::string(line.size(), ' ') + "\r";
  // The progress line goes before the failed line is printed.
  EXPECT_EQ(Report(true, true),
            "\r" + line + clear +
                "Lorvant: Serial: 3: boom\n"
                "Lorvant: A record went into a piece of its own (2.txt).\n"
                "Lorvant: 1000 records    Elapsed: 00:00:03.000.  1 rows can not convert.\n");
  // A run that never ends still leaves no progress line behind.
  EXPECT_EQ(Report(true, false), "\r" + line + clear);
}

TEST(ConsoleProgressOutputerTest, NoProgressWhenNotATerminal) {
  EXPECT_EQ(Report(false, true),
            "Lorvant: Serial: 3: boom\n"
            "Lorvant: A record went into a piece of its own (2.txt).\n"
            "Lorvant: 1000 records    Elapsed: 00:00:03.000.  1 rows can not convert.\n");
  EXPECT_EQ(Report(false, false), "");
}

// A task run shows failures alone, so all going well prints nothing; the
// first five failed lines are shown, the log has them all.
TEST(ConsoleProgressOutputerTest, FailuresAloneAndAtMostFiveFailedLines) {
  const auto failures = TConsoleProgressOutputer::Shown::kFailures;
  std::string five;
  for (int n = 3; n <= 7; ++n) five += "Lorvant: Serial: " + std::to_string(n) + ": boom\n";
  EXPECT_EQ(Report(false, true, failures, 8), five);
  EXPECT_EQ(Report(false, true, failures, 0), "");
  EXPECT_EQ(Report(false, true, TConsoleProgressOutputer::Shown::kAll, 6),
            five +
                "Lorvant: A record went into a piece of its own (2.txt).\n"
                "Lorvant: 1000 records    Elapsed: 00:00:03.000.  6 rows can not convert.\n");
}

// What the executor hands over without a notification is the run's
// failure: printed in either mode, and written to the log as it is.
TEST(ConsoleProgressOutputerTest, TheRunsFailureIsPrintedAndLogged) {
  const std::string dir = test::MakeTempDir("console-fail");
  for (auto shown :
       {TConsoleProgressOutputer::Shown::kAll, TConsoleProgressOutputer::Shown::kFailures}) {
    const std::string path = dir + "/stderr";
    FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr);
    {
      TConsoleProgressOutputer out(file, false, shown);
      out.SetLogFileName(dir + "/run.log");
      TConvertStatus status;
      out.SetStatus(&status);
      out.BindStatus();
      out.Output("Cannot open file \"x\". No such file or directory");
    }
    std::fclose(file);
    EXPECT_EQ(test::ReadBytes(path),
              "Lorvant: Cannot open file \"x\". No such file or directory\n");
  }
  EXPECT_EQ(test::LogEntries(dir + "/run.log"),
            std::vector<std::string>(2, "Cannot open file \"x\". No such file or directory"));
}

}  // namespace
}  // namespace lorvant
