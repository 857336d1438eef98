// One real run under the system's cron daemon: a task scheduled for the
// next minute runs Lorvant through its launcher script, its pieces appear,
// and its last run time and exit code are recorded. The test's lines live
// in a block of their own in the real crontab and are removed afterwards,
// also when the test fails.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/TaskService.h"
#include "support/CronDaemon.h"
#include "support/RunLorvant.h"
#include "support/TestEnv.h"
#include "tasks/BatchOptions.h"

namespace lorvant {
namespace {

// Deletes the task (and with it its crontab lines) however the test ends.
class TaskCleanup {
 public:
  TaskCleanup(std::shared_ptr<TaskFolder> folder, std::string name)
      : folder_(std::move(folder)), name_(std::move(name)) {}
  ~TaskCleanup() {
    try {
      folder_->DeleteTask(name_, 0);
    } catch (const Exception&) {
    }
  }
  TaskCleanup(const TaskCleanup&) = delete;
  TaskCleanup& operator=(const TaskCleanup&) = delete;

 private:
  std::shared_ptr<TaskFolder> folder_;
  std::string name_;
};

// True when every line of `before` is still in `crontab`. Other programs
// (another test run beside this one) may add blocks of their own meanwhile,
// so the crontab is not compared whole.
::testing::AssertionResult KeepsEveryLineOf(const std::string& crontab, const std::string& before) {
  size_t start = 0;
  while (start < before.size()) {
    size_t end = before.find('\n', start);
    if (end == std::string::npos) end = before.size();
    std::string line = before.substr(start, end - start);
    if (crontab.find(line) == std::string::npos) {
      return ::testing::AssertionFailure() << "lost \"" << line << "\" from:\n" << crontab;
    }
    start = end + 1;
  }
  return ::testing::AssertionSuccess();
}

class Launcher : public TBatchOptions {
 public:
  std::string GetExeName() const override { return LORVANT_EXE; }
};

TEST(SchedCronEndToEnd, ATaskScheduledForTheNextMinuteRunsUnderCron) {
  if (::geteuid() != 0) GTEST_SKIP() << "cron's end-to-end run needs root here";
  if (SchedSystem::Default()->FindProgram("crontab").empty()) {
    GTEST_SKIP() << "no crontab command is installed (scripts/setup installs cron)";
  }
  test::CronDaemon cron;
  if (!cron.running()) GTEST_SKIP() << "the cron daemon is not running and cannot be started";
  test::ScopedEnvVar crontab("LORVANT_CRONTAB", "crontab");
  std::string dir = test::MakeTempDir("cron e2e $x");
  // Cron changes "\\%" and ends a command at '%': the runner's path, the
  // store's and the task's name hold both, and reach the runner whole.
  std::string bin = dir + "/bin \\ 5% 'q'";
  ASSERT_EQ(::mkdir(bin.c_str(), 0755), 0);
  ASSERT_EQ(::symlink(LORVANT_RUNNER_EXE, (bin + "/lorvant-runner").c_str()), 0);
  test::ScopedEnvVar runner("LORVANT_RUNNER", (bin + "/lorvant-runner").c_str());
  std::string source = dir + "/source.txt";
  std::string lines;
  for (int i = 1; i <= 25; ++i) lines += "line " + std::to_string(i) + "\r\n";
  test::WriteBytes(source, lines);
  test::WriteTask(dir + "/split.sft", source, dir + "/out", "10");
  Launcher launcher;
  launcher.OptionName = "task";
  launcher.SessionFile = dir + "/split.sft";
  launcher.LogFile = dir + "/split.log";
  launcher.BatchFile = dir + "/split.sh";
  launcher.SaveBatchFile();

  std::string before = OpenCrontab("")->Read();
  const std::string store = dir + "/store \\%";
  TaskService service(store);
  service.Connect("", "", "", "");
  std::shared_ptr<TaskFolder> folder = service.GetFolder("");
  const std::string name = "cron e2e 'split' \"two\\\\back\" x\\%y $HOME 100%";
  TaskCleanup cleanup(folder, name);

  // cron reads a changed crontab on its minute tick; a change that lands
  // while it is reading takes effect only a minute later. So a task that has
  // not run a minute and a half after its start gets one later minute more.
  RegisteredTaskPtr task;
  int64_t start = 0;
  for (int attempt = 0; attempt < 2; ++attempt) {
    int64_t now = NowSeconds();
    start = now - now % 60 + 60;
    if (start - now < 5) start += 60;  // leave cron time to read the new crontab
    TaskDefinitionPtr def = service.NewTask(0);
    TriggerDef trigger;
    trigger.Type = kTriggerTime;
    trigger.StartBoundary = DateTimeToIso(EpochToDateTime(start));
    def->Triggers.push_back(trigger);
    ActionDef action;
    action.Path = launcher.BatchFile;
    action.WorkingDirectory = dir;
    def->Actions.push_back(action);
    task = folder->RegisterTaskDefinition(name, def, kTaskCreateOrUpdate, "", "", 3, "");
    std::string during = OpenCrontab("")->Read();
    EXPECT_EQ(CrontabBlockLines(during, StoreMark(store)).size(), 1u);
    EXPECT_TRUE(KeepsEveryLineOf(during, before));

    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(start - now + 90);
    while (std::chrono::steady_clock::now() < deadline &&
           (task->LastRunTime() == 0 || task->State() == kStateRunning)) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    if (task->LastRunTime() != 0) break;
  }
  ASSERT_NE(task->LastRunTime(), 0) << "cron did not run the task; runner log:\n"
                                    << test::ReadBytes(store + "/runner.log");
  EXPECT_GE(DateTimeToEpoch(task->LastRunTime()), start);
  EXPECT_EQ(task->LastTaskResult(), 0u) << test::ReadBytes(store + "/runner.log");
  EXPECT_EQ(task->NextRunTime(), 0);
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.txt").substr(0, 8), "line 1\r\n");
  EXPECT_TRUE(FileExists(dir + "/out/3.txt"));
  EXPECT_FALSE(FileExists(dir + "/out/4.txt"));
  EXPECT_TRUE(FileExists(dir + "/split.log"));

  folder->DeleteTask(name, 0);
  std::string after = OpenCrontab("")->Read();
  EXPECT_TRUE(CrontabBlockLines(after, StoreMark(store)).empty()) << after;
  EXPECT_TRUE(KeepsEveryLineOf(after, before));
}

}  // namespace
}  // namespace lorvant
