// The command line of the Lorvant executable: how task= and logfile= are
// found, and which lines, in which words, the run's log file receives.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

using test::LogEntries;
using test::RunLorvant;
using test::WriteTask;

namespace fs = std::filesystem;

bool IsSummary(const std::string& entry, int done) {
  return std::regex_match(
      entry, std::regex(std::to_string(done) + R"( records    Elapsed: \d{2}:\d{2}:\d{2}\.\d{3})"));
}

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

const std::set<std::string> kPieces = {"1.csv", "2.csv", "3.csv"};

// A task splitting 25 lines into pieces of 10.
struct Fixture {
  std::string dir, source, out, task, log;
  std::string Description() const {
    return "[info]\tFrom : " + source + "\r\nTo : " + out + "\r\nMax Lines per Split File: 10";
  }
};

Fixture MakeFixture(const std::string& hint) {
  Fixture f;
  f.dir = test::MakeTempDir(hint);
  f.source = f.dir + "/data.csv";
  f.out = f.dir + "/out";
  f.task = f.dir + "/split.sft";
  f.log = f.dir + "/run.log";
  std::string lines;
  for (int i = 1; i <= 25; ++i) lines += "line " + std::to_string(i) + "\r\n";
  test::WriteBytes(f.source, lines);
  WriteTask(f.task, f.source, f.out, "10");
  return f;
}

TEST(CommandLineTest, GoodRunLogsTaskDescriptionAndSummary) {
  const Fixture f = MakeFixture("good");
  int exit_code = -1;
  RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  const std::vector<std::string> entries = LogEntries(f.log);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "[info]\t" + f.task);
  EXPECT_EQ(entries[1], f.Description());
  EXPECT_TRUE(IsSummary(entries[2], 25)) << entries[2];
  EXPECT_EQ(Entries(f.out), kPieces);
}

TEST(CommandLineTest, MissingTaskFile) {
  const Fixture f = MakeFixture("notask");
  const std::string task = f.dir + "/missing.sft";
  int exit_code = -1;
  const std::string printed = RunLorvant({"task=" + task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(LogEntries(f.log),
            std::vector<std::string>{"[error]\ttask file: " + task + " not exists."});
  // Standard error says it too, for runs without a log file.
  EXPECT_EQ(printed, "Lorvant: task file: " + task + " not exists.\n");
  EXPECT_FALSE(fs::exists(f.out));
}

TEST(CommandLineTest, TaskFileWithoutTheExactExtensionIsRefused) {
  const Fixture f = MakeFixture("ext");
  for (const char* name : {"split.SFT", "split.txt", "split.sft.bak", "split"}) {
    SCOPED_TRACE(name);
    const std::string task = f.dir + "/" + name;
    fs::copy_file(f.task, task);
    fs::remove(f.log);
    int exit_code = -1;
    RunLorvant({"task=" + task, "logfile=" + f.log}, &exit_code);
    EXPECT_EQ(exit_code, 1);
    EXPECT_EQ(LogEntries(f.log),
              (std::vector<std::string>{"[info]\t" + task, "[error]\tinvalid task file."}));
    EXPECT_FALSE(fs::exists(f.out));
  }
}

TEST(CommandLineTest, FailedRunLogsTheErrorInsteadOfASummary) {
  const Fixture f = MakeFixture("failed");
  fs::remove(f.source);
  int exit_code = -1;
  const std::string output = RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 1);
  const std::vector<std::string> entries = LogEntries(f.log);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "[info]\t" + f.task);
  EXPECT_EQ(entries[1], f.Description());
  EXPECT_EQ(entries[2], "Cannot open file \"" + f.source + "\". No such file or directory");
  // Standard error says the same, without the developer's context.
  EXPECT_EQ(output, "Lorvant: " + entries[2] + "\n");
  EXPECT_FALSE(fs::exists(f.out));
}

TEST(CommandLineTest, ParametersAreFoundInAnyOrderAndLetterCase) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(Fixture&)> args;
  };
  const Case cases[] = {
      {"upper case, log first",
       [](Fixture& f) -> std::vector<std::string> {
         return {"LOGFILE=" + f.log, "TASK=" + f.task};
       }},
      {"mixed case among other words",
       [](Fixture& f) -> std::vector<std::string> {
         return {"dropped.csv", "TaSk=" + f.task, "other=1", "=x", "LogFile=" + f.log};
       }},
      {"first occurrence counts",
       [](Fixture& f) -> std::vector<std::string> {
         return {"task=" + f.task, "logfile=" + f.log, "task=" + f.dir + "/missing.sft",
                 "logfile=" + f.dir + "/other.log"};
       }},
      {"blanks around the value",
       [](Fixture& f) -> std::vector<std::string> {
         return {"task=  " + f.task + "  ", "logfile=\t" + f.log + " \n"};
       }},
      {"value holding =",
       [](Fixture& f) -> std::vector<std::string> {
         f.task = f.dir + "/a=b.sft";
         WriteTask(f.task, f.source, f.out, "10");
         return {"task=" + f.task, "logfile=" + f.log};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f = MakeFixture("params");
    const std::vector<std::string> args = c.args(f);
    int exit_code = -1;
    RunLorvant(args, &exit_code);
    EXPECT_EQ(exit_code, 0);
    const std::vector<std::string> entries = LogEntries(f.log);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0], "[info]\t" + f.task);
    EXPECT_TRUE(IsSummary(entries[2], 25)) << entries[2];
    EXPECT_EQ(Entries(f.out), kPieces);
    EXPECT_FALSE(fs::exists(f.dir + "/other.log"));
  }
}

TEST(CommandLineTest, NothingToRunLogsNothing) {
  struct Case {
    const char* name;
    std::function<std::vector<std::string>(const Fixture&)> args;
  };
  const Case cases[] = {
      {"only logfile",
       [](const Fixture& f) -> std::vector<std::string> { return {"logfile=" + f.log}; }},
      {"empty task",
       [](const Fixture& f) -> std::vector<std::string> {
         return {"task=", "logfile=" + f.log};
       }},
      {"blank task",
       [](const Fixture& f) -> std::vector<std::string> {
         return {"task= \t ", "logfile=" + f.log};
       }},
      {"a dropped file name",
       [](const Fixture& f) -> std::vector<std::string> { return {f.task}; }},
      {"task without =",
       [](const Fixture& f) -> std::vector<std::string> {
         return {"task", f.task, "logfile", f.log};
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Fixture f = MakeFixture("nothing");
    const std::string cwd = test::MakeTempDir("cwd");
    int exit_code = -1;
    const std::string output = RunLorvant(c.args(f), &exit_code, cwd);
    EXPECT_EQ(exit_code, 0);
    EXPECT_EQ(Entries(f.dir), (std::set<std::string>{"data.csv", "split.sft"}));
    EXPECT_EQ(Entries(cwd), std::set<std::string>{});
    // One line says how to run a task.
    EXPECT_EQ(output.rfind("Lorvant: nothing to run; give a task as task=FILE.sft", 0), 0u)
        << output;
    EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
  }
}

TEST(CommandLineTest, HelpAndVersionWithoutATask) {
  const std::string cwd = test::MakeTempDir("cwd");
  for (const char* word : {"--help", "-h"}) {
    int exit_code = -1;
    const std::string output = RunLorvant({word}, &exit_code, cwd);
    EXPECT_EQ(exit_code, 0);
    EXPECT_NE(output.find("task=/path/to/task.sft [logfile=/path/to/run.log]"), std::string::npos)
        << output;
    EXPECT_NE(output.find("Exit codes: 0 done"), std::string::npos);
  }
  int exit_code = -1;
  EXPECT_TRUE(std::regex_match(RunLorvant({"--version"}, &exit_code, cwd),
                               std::regex(R"(Lorvant \d+\.\d+\.\d+\.\d+\n)")));
  EXPECT_EQ(exit_code, 0);
  // With a task the task runs, whatever else is there.
  const Fixture f = MakeFixture("help-task");
  RunLorvant({"--help", "task=" + f.task}, &exit_code, cwd);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(Entries(f.out), kPieces);
}

// A path means what the kernel makes of it: ".." after a link leads into
// the link target's parent, and that is the task file checked and read.
TEST(CommandLineTest, DotDotAfterALinkReadsTheTaskTheKernelFinds) {
  const Fixture f = MakeFixture("dotdot");
  fs::create_directories(f.dir + "/real/sub");
  fs::create_directory_symlink(f.dir + "/real/sub", f.dir + "/lnk");
  WriteTask(f.dir + "/real/t.sft", f.source, f.out, "10");
  WriteTask(f.dir + "/t.sft", f.source, f.dir + "/wrong", "10");
  int exit_code = -1;
  RunLorvant({"task=lnk/../t.sft", "logfile=" + f.log}, &exit_code, f.dir);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(Entries(f.out), kPieces);
  EXPECT_FALSE(fs::exists(f.dir + "/wrong"));
}

// Command-line runs never record a recent task, so a broken recent-task
// list (here a folder in its place) cannot fail them.
TEST(CommandLineTest, RecentTaskListIsNotReadByCommandLineRuns) {
  const Fixture f = MakeFixture("recent");
  const std::string data = test::MakeTempDir("data");
  fs::create_directories(data + "/Lorvant/recent_tasks.txt");
  test::ScopedEnvVar xdg("XDG_DATA_HOME", data.c_str());
  int exit_code = -1;
  const std::string output = RunLorvant({"task=" + f.task}, &exit_code);
  EXPECT_EQ(exit_code, 0) << output;
  EXPECT_EQ(Entries(f.out), kPieces);
}

// On Linux a folder name may end in a blank; kept by quotes, it is used as
// it stands.
TEST(CommandLineTest, OutputFolderNameEndingInABlank) {
  const Fixture f = MakeFixture("blank");
  test::WriteBytes(f.task, test::TaskText(f.source, "\"" + f.out + " \"", "10"));
  int exit_code = -1;
  RunLorvant({"task=" + f.task}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(Entries(f.out + " "), kPieces);
  EXPECT_FALSE(fs::exists(f.out));
}

// A log file that cannot be written says so once on standard error.
TEST(CommandLineTest, UnwritableLogIsReportedOnce) {
  const Fixture f = MakeFixture("badlog");
  fs::create_directories(f.log);
  int exit_code = -1;
  const std::string output = RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 1);
  const std::string line = "Lorvant: Cannot create file \"" + f.log + "\". Is a directory\n";
  EXPECT_EQ(output, line);
}

// Switches written as words are on; one that is no on or off fails the
// run with the reason before anything is touched, never splits without it.
TEST(CommandLineTest, TaskSwitchesAsWordsAreOnAndAnyOtherTextIsRefused) {
  const Fixture f = MakeFixture("switches");
  test::WriteBytes(f.source, "id,note\n1,\"a\nb\"\n2,c\n");
  for (const char* on : {"yes", "TRUE", "On"}) {
    test::WriteBytes(f.task, test::TaskText(f.source, f.out, "1") + "CsvRecords=" + on +
                                 "\r\nKeepLineEnds=" + on + "\r\n");
    int exit_code = -1;
    const std::string output = RunLorvant({"task=" + f.task}, &exit_code);
    EXPECT_EQ(exit_code, 0) << output;
    EXPECT_EQ(Entries(f.out), kPieces) << on;
    EXPECT_EQ(test::ReadBytes(f.out + "/2.csv"), "1,\"a\nb\"\n") << on;
  }
  fs::remove_all(f.out);
  test::WriteBytes(f.task, test::TaskText(f.source, f.out, "1") + "CsvRecords=sure\r\n");
  int exit_code = -1;
  const std::string output = RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 1);
  const std::string reason =
      "CsvRecords must be 1 or 0 (yes or no, true or false, on or off), not \"sure\".";
  EXPECT_EQ(output, "Lorvant: " + reason + "\n");
  const std::vector<std::string> entries = LogEntries(f.log);
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), reason);
  EXPECT_FALSE(fs::exists(f.out));
}

// A failed line is named on standard error as the log names it; a run
// that went well prints nothing.
TEST(CommandLineTest, AFailedLineIsNamedOnStandardErrorAsInTheLog) {
  const Fixture f = MakeFixture("failed-line");
  int exit_code = -1;
  EXPECT_EQ(RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code), "");
  EXPECT_EQ(exit_code, 0);
  test::WriteBytes(f.source, "1,a\n2,\"open\nrest\n");
  test::WriteBytes(f.task, test::TaskText(f.source, f.out, "10") + "CsvRecords=1\r\n");
  const std::string output = RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
  EXPECT_EQ(exit_code, 2);
  const std::string message =
      "A quoted field opened in the record on line 2 is not closed at the end of the file.";
  EXPECT_EQ(output, "Lorvant: Serial: 2: " + message + "\n");
  const std::vector<std::string> entries = LogEntries(f.log);
  EXPECT_NE(std::find(entries.begin(), entries.end(), "Serial: 2\r\n" + message), entries.end());
}

TEST(CommandLineTest, TaskWithoutLogfileRunsAndWritesNoLog) {
  const Fixture f = MakeFixture("nolog");
  const std::string cwd = test::MakeTempDir("cwd");
  int exit_code = -1;
  RunLorvant({"task=" + f.task}, &exit_code, cwd);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(Entries(f.out), kPieces);
  EXPECT_EQ(Entries(f.dir), (std::set<std::string>{"data.csv", "split.sft", "out"}));
  EXPECT_EQ(Entries(cwd), std::set<std::string>{});
}

TEST(CommandLineTest, RunningTwiceAppendsToTheSameLog) {
  const Fixture f = MakeFixture("twice");
  for (int run = 0; run < 2; ++run) {
    int exit_code = -1;
    RunLorvant({"task=" + f.task, "logfile=" + f.log}, &exit_code);
    EXPECT_EQ(exit_code, 0);
  }
  const std::vector<std::string> entries = LogEntries(f.log);
  ASSERT_EQ(entries.size(), 6u);
  for (size_t first : {0u, 3u}) {
    EXPECT_EQ(entries[first], "[info]\t" + f.task);
    EXPECT_EQ(entries[first + 1], f.Description());
    EXPECT_TRUE(IsSummary(entries[first + 2], 25)) << entries[first + 2];
  }
}

TEST(CommandLineTest, NoParametersWithoutADisplaySaysSoInsteadOfAborting) {
  test::ScopedEnvVar display("DISPLAY", nullptr);
  test::ScopedEnvVar wayland("WAYLAND_DISPLAY", nullptr);
  test::ScopedEnvVar platform("QT_QPA_PLATFORM", nullptr);
  int exit_code = -1;
  const std::string output = RunLorvant({}, &exit_code, test::MakeTempDir("cwd"));
  EXPECT_EQ(exit_code, 1);
  EXPECT_NE(output.find("no display"), std::string::npos) << output;
  EXPECT_NE(output.find("task="), std::string::npos) << output;
}

TEST(CommandLineTest, RelativePathsAreTakenFromTheCurrentFolder) {
  const Fixture f = MakeFixture("relative");
  fs::create_directories(f.dir + "/tasks");
  fs::create_directories(f.dir + "/logs");
  fs::rename(f.task, f.dir + "/tasks/split.sft");
  int exit_code = -1;
  RunLorvant({"task=tasks/split.sft", "logfile=logs/run.log"}, &exit_code, f.dir);
  EXPECT_EQ(exit_code, 0);
  const std::vector<std::string> entries = LogEntries(f.dir + "/logs/run.log");
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "[info]\ttasks/split.sft");
  EXPECT_EQ(entries[1], f.Description());
  EXPECT_TRUE(IsSummary(entries[2], 25)) << entries[2];
  EXPECT_EQ(Entries(f.out), kPieces);
}

}  // namespace
}  // namespace lorvant
