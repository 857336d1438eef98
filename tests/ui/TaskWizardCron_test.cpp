// One real run under the system's cron daemon of a task made through the
// wizard: scheduled for the next minute, it runs, and the task list, left
// open, then shows its last run time and "Ready" without a click. The
// task's lines live in a block of their own in the real crontab and go
// with the task, also when the test fails.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>
#include <QTimeEdit>
#include <QTreeWidget>
#include <chrono>

#include "base/Exception.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedTime.h"
#include "support/CronDaemon.h"
#include "support/TestEnv.h"
#include "ui/NewTaskWizard.h"
#include "ui/TaskListForm.h"
#include "ui/TaskWindowsUtil.h"
#include "ui/UiTestSupport.h"

namespace lorvant {
namespace {

TEST(TaskWizardCron, ATaskMadeInTheWizardForTheNextMinuteRunsAndTheListShowsIt) {
  if (::geteuid() != 0) GTEST_SKIP() << "cron's end-to-end run needs root here";
  if (SchedSystem::Default()->FindProgram("crontab").empty()) {
    GTEST_SKIP() << "no crontab command is installed (scripts/setup installs cron)";
  }
  test::CronDaemon cron;
  if (!cron.running()) GTEST_SKIP() << "the cron daemon is not running and cannot be started";
  test::ScopedEnvVar crontab("LORVANT_CRONTAB", "crontab");
  test::ScopedEnvVar runner("LORVANT_RUNNER", LORVANT_RUNNER_EXE);
  test::FakeDesktop desktop;

  const std::string dir = test::MakeTempDir("wizard cron");
  const std::string script = dir + "/job.sh";
  test::WriteBytes(script, "#!/bin/sh\necho ran > \"$(dirname \"$0\")/ran.txt\"\n");
  ASSERT_EQ(::chmod(script.c_str(), 0755), 0);

  TTaskListForm list(nullptr, dir + "/store");
  const std::string name = "wizard cron";
  struct Cleanup {
    TTaskListForm* list;
    std::string name;
    ~Cleanup() {
      try {
        list->Scheduler.DeleteTask(name);
      } catch (const Exception&) {
      }
    }
  } cleanup{&list, name};

  // A start at least 20 s away leaves cron its minute tick to read the
  // new crontab.
  int64_t now = NowSeconds();
  int64_t start = now - now % 60 + 60;
  if (start - now < 20) start += 60;
  const QDateTime at = ToQDateTime(EpochToDateTime(start));
  test::OnNextModal<TNewTaskWizard>([&](TNewTaskWizard* w) {
    w->btnNext->click();
    w->edtTaskName->setText(QString::fromStdString(name));
    w->ComboBox1->setCurrentIndex(0);
    w->btnNext->click();
    w->dtStartTimeOnce->setTime(at.time());
    w->dtStartDateOnce->setDate(at.date());
    w->btnNext->click();
    w->btnNext->click();
    w->btnNext->click();
    if (w->isVisible()) w->reject();
  });
  ASSERT_TRUE(list.ScheduleApplication(script)) << ::testing::PrintToString(desktop.errors);
  auto row = [&] {
    auto found = list.ListView->findItems(QString::fromStdString(name), Qt::MatchExactly, 0);
    return found.isEmpty() ? nullptr : found.first();
  };
  ASSERT_NE(row(), nullptr);
  EXPECT_EQ(row()->text(3), "Never");

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(start - now + 150);
  while (std::chrono::steady_clock::now() < deadline &&
         (row() == nullptr || row()->text(3) == "Never" || row()->text(4) != "Ready")) {
    QTest::qWait(500);
  }
  ASSERT_NE(row(), nullptr);
  EXPECT_NE(row()->text(3), "Never") << "runner log:\n"
                                     << test::ReadBytes(dir + "/store/runner.log");
  EXPECT_EQ(row()->text(4), "Ready");
  EXPECT_EQ(test::ReadBytes(dir + "/ran.txt"), "ran\n");
}

}  // namespace
}  // namespace lorvant
