#include "tasks/BatchOptions.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "base/Exception.h"
#include "support/TestEnv.h"
#include "tasks/BatchFileCreator.h"
#include "tasks/SimpleBatchFileCreator.h"

namespace lorvant {
namespace {

// Options whose program path is given by the test.
class TestOptions : public TBatchOptions {
 public:
  explicit TestOptions(std::string exe = "/opt/Lorvant/Lorvant") : exe_(std::move(exe)) {}
  std::string GetExeName() const override { return exe_; }

 private:
  std::string exe_;
};

unsigned FileMode(const std::string& name) {
  struct stat st;
  return ::stat(name.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(BatchOptionsTest, ValidateStopsAtFirstEmptyName) {
  struct Case {
    std::string session, log, batch;
    bool ok;
    std::string message;
  } cases[] = {
      {"", "", "", false, "Please enter sessoin file name."},
      {"", "/l.log", "/b.sh", false, "Please enter sessoin file name."},
      {"/t.sft", "", "", false, "Please enter log file name."},
      {"/t.sft", "/l.log", "", false, "Please enter batch file name."},
      {"/t.sft", "/l.log", "/b.sh", true, "earlier"},
      {" ", " ", " ", true, "earlier"},  // only emptiness counts
  };
  for (const Case& c : cases) {
    TBatchOptions o;
    o.SessionFile = c.session;
    o.LogFile = c.log;
    o.BatchFile = c.batch;
    o.ErrorMessage = "earlier";
    EXPECT_EQ(o.Validate(), c.ok) << c.session << "," << c.log << "," << c.batch;
    EXPECT_EQ(o.ErrorMessage, c.message);
  }
  EXPECT_EQ(TBatchOptions().OptionName, "session");
}

TEST(BatchOptionsTest, WritesOneLineScript) {
  std::string dir = test::MakeTempDir("bat");
  TestOptions o;
  o.OptionName = "task";
  o.SessionFile = "/My Tasks/daily.sft";
  o.LogFile = "/My Tasks/daily.log";
  o.BatchFile = dir + "/daily.sh";
  o.SaveBatchFile();
  EXPECT_EQ(test::ReadBytes(o.BatchFile),
            "\"/opt/Lorvant/Lorvant\"  task=\"/My Tasks/daily.sft\" "
            "logfile=\"/My Tasks/daily.log\"\r\n");
  EXPECT_EQ(FileMode(o.BatchFile), 0755u);

  // A second write with other names replaces the content entirely.
  o.OptionName = "session";
  o.SessionFile = "/t.sft";
  o.LogFile = "/l.log";
  o.SaveBatchFile();
  EXPECT_EQ(test::ReadBytes(o.BatchFile),
            "\"/opt/Lorvant/Lorvant\"  session=\"/t.sft\" logfile=\"/l.log\"\r\n");
  EXPECT_EQ(FileMode(o.BatchFile), 0755u);
}

TEST(BatchOptionsTest, ShellQuoteEscapesWhatShWouldExpand) {
  struct Case {
    std::string path, quoted;
  } cases[] = {
      {"/plain/a.sft", "\"/plain/a.sft\""},
      {"/a b/c", "\"/a b/c\""},
      {"/x\"y", "\"/x\\\"y\""},
      {"/$HOME/${x}", "\"/\\$HOME/\\${x}\""},
      {"/`id`", "\"/\\`id\\`\""},
      {"/back\\slash\\", "\"/back\\\\slash\\\\\""},
      {"/'single' ; & | ! * ? \xC3\xBC", "\"/'single' ; & | ! * ? \xC3\xBC\""},
      {"", "\"\""},
  };
  for (const Case& c : cases) EXPECT_EQ(ShellQuote(c.path), c.quoted) << c.path;
}

TEST(BatchOptionsTest, LineBreakInANameIsRefused) {
  struct Case {
    std::string exe, session, log;
  } cases[] = {
      {"/opt/L\nx", "/t.sft", "/l.log"},
      {"/opt/L", "/t.sft\nrm -rf ~", "/l.log"},
      {"/opt/L", "/t.sft", "/l\r.log"},
      {"/opt/L", std::string("/t\0x", 4), "/l.log"},
  };
  std::string batch = test::MakeTempDir("bat") + "/b.sh";
  test::WriteBytes(batch, "old\r\n");
  for (const Case& c : cases) {
    TestOptions o(c.exe);
    o.SessionFile = c.session;
    o.LogFile = c.log;
    o.BatchFile = batch;
    try {
      o.SaveBatchFile();
      ADD_FAILURE() << c.session;
    } catch (const Exception& e) {
      // The message stays one line: the break is shown escaped.
      EXPECT_EQ(e.Message().find_first_of(std::string("\r\n\0", 3)), std::string::npos)
          << e.Message();
      EXPECT_NE(e.Message().find_first_of("\\"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(test::ReadBytes(batch), "old\r\n");
  }
}

// Runs command and returns what it printed.
std::string Output(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return "popen failed";
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof(buf), pipe)) > 0) out.append(buf, n);
  ::pclose(pipe);
  return out;
}

TEST(BatchOptionsTest, ShPassesThePathsOnIntact) {
  // Every character sh treats specially inside double quotes, in every path.
  std::string dir = test::MakeTempDir("sh") + "/we \"ird\" $HOME `id` \\x ; 'q' \xC3\xBC";
  ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
  std::string exe = dir + "/fake $(id) exe";
  test::WriteBytes(exe, "#!/bin/sh\nprintf '[%s]\\n' \"$@\"\n");
  ASSERT_EQ(::chmod(exe.c_str(), 0755), 0);

  std::string marker = test::MakeTempDir("mark") + "/ran";
  TestOptions o(exe);
  o.OptionName = "task";
  o.SessionFile = dir + "/t $(touch " + marker + ") \\\".sft";
  o.LogFile = dir + "/l `touch " + marker + "` $1.log";
  o.BatchFile = test::MakeTempDir("shrun") + "/run.sh";
  o.SaveBatchFile();

  // The CR of the line end reaches the program as a trailing control
  // character of the last word, which the command line trims.
  std::string expected = "[task=" + o.SessionFile + "]\n[logfile=" + o.LogFile + "\r]\n";
  EXPECT_EQ(Output("sh '" + o.BatchFile + "'"), expected);
  EXPECT_EQ(Output("'" + o.BatchFile + "'"), expected);  // run as a program, as cron does
  EXPECT_FALSE(test::PathExists(marker));
}

TEST(BatchOptionsTest, MissingFolderIsAFileCreationError) {
  TestOptions o;
  o.SessionFile = "/t.sft";
  o.LogFile = "/t.log";
  o.BatchFile = test::MakeTempDir("bat") + "/missing/t.sh";
  try {
    o.SaveBatchFile();
    FAIL() << "no error";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + o.BatchFile + "\". No such file or directory");
  }
}

TEST(BatchOptionsTest, ExeNameIsTheRunningProgram) {
  std::string exe = TBatchOptions().GetExeName();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe[0], '/');
  EXPECT_TRUE(test::PathExists(exe));
}

// Records what the creator does with its dialog.
struct DialogLog {
  std::string label, task, log, batch, option_name;
  int shown = 0;
  bool destroyed = false;
};

class FakeDialog : public TBatchFileDialog {
 public:
  explicit FakeDialog(DialogLog* log) : log_(log) {}
  ~FakeDialog() override { log_->destroyed = true; }
  TBatchOptions& Options() override { return options_; }
  void SetTaskFileLabel(const std::string& label) override { log_->label = label; }
  void SetNames(const std::string& task, const std::string& log,
                const std::string& batch) override {
    log_->task = task;
    log_->log = log;
    log_->batch = batch;
  }
  int ShowModal() override {
    ++log_->shown;
    log_->option_name = options_.OptionName;
    return 1;
  }

 private:
  DialogLog* log_;
  TBatchOptions options_;
};

TEST(BatchFileCreatorTest, CreateBatchFileShowsDialogWithDerivedNames) {
  struct Case {
    std::string option_name, label, keyword;
  } cases[] = {
      {"task", "Task File", "task"},          {"TASK", "Task File", "task"},
      {"session", "Session File", "session"}, {"", "Session File", "session"},
      {"tasks", "Session File", "session"},
  };
  for (const Case& c : cases) {
    DialogLog log;
    TSimpleBatchFileCreator creator([&] { return std::make_unique<FakeDialog>(&log); });
    creator.OptionName = c.option_name;
    creator.CreateBatchFile("/x.sft/a.sft");
    EXPECT_EQ(log.label, c.label) << c.option_name;
    EXPECT_EQ(log.option_name, c.keyword) << c.option_name;
    EXPECT_EQ(log.task, "/x.sft/a.sft");
    EXPECT_EQ(log.log, "/x.sft/a.log");
    EXPECT_EQ(log.batch, "/x.sft/a.sh");
    EXPECT_EQ(log.shown, 1);
    EXPECT_TRUE(log.destroyed);
  }
  TSimpleBatchFileCreator none([] { return std::unique_ptr<TBatchFileDialog>(); });
  EXPECT_THROW(none.CreateBatchFile("/a.sft"), Exception);
}

TEST(BatchFileCreatorTest, OnlyTheLastExtensionChanges) {
  struct Case {
    std::string task, log, batch;
  } cases[] = {
      {"/My Tasks/daily.sft", "/My Tasks/daily.log", "/My Tasks/daily.sh"},
      {"/x.sft/a.sft", "/x.sft/a.log", "/x.sft/a.sh"},
      {"/d/a.b.sft", "/d/a.b.log", "/d/a.b.sh"},
      {"/d.e/noext", "/d.e/noext.log", "/d.e/noext.sh"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeriveLogFileName(c.task), c.log);
    EXPECT_EQ(DeriveBatchFileName(c.task), c.batch);
  }
}

}  // namespace
}  // namespace lorvant
