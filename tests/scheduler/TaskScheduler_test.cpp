#include "scheduler/TaskScheduler.h"

#include <gtest/gtest.h>

#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

class TaskSchedulerTest : public ::testing::TestWithParam<bool> {
 protected:
  TaskSchedulerTest()
      : dir_(test::MakeTempDir("ts")),
        crontab_var_("LORVANT_CRONTAB", (dir_ + "/crontab").c_str()),
        scheduler_(dir_ + "/store") {
    sys_.SetLocal(2024, 3, 4, 12, 0);
    scheduler_.UseTaskScheduler1Only = GetParam();
  }

  // Creates and saves a task that runs daily at 09:30.
  void Save(const std::string& name) {
    // A new item holds its task already; Activate is for stored ones.
    TTaskItem* item = scheduler_.CreateNewItem(name);
    item->SetApplicationName("/bin/true");
    TTrigger* t = item->GetTriggers()->Add(ttDaily);
    DateTime c;
    c.year = 2024;
    c.month = 3;
    c.day = 1;
    t->SetBeginDate(EncodeDateTime(c));
    c.hour = 9;
    c.minute = 30;
    t->SetStartTime(TimePart(EncodeDateTime(c)));
    item->Deactivate(true);
  }

  std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (int i = 0; i < scheduler_.Count(); ++i) names.push_back(scheduler_.GetItem(i)->Name());
    return names;
  }

  std::string dir_;
  test::ScopedEnvVar crontab_var_;
  test::ScopedTimeZone zone_{test::kBerlin};
  test::FakeSchedSystem sys_;
  TTaskScheduler scheduler_;
};

INSTANTIATE_TEST_SUITE_P(TaskScheduler, TaskSchedulerTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "First" : "Second"; });

TEST_P(TaskSchedulerTest, OpenNeedsTheService) {
  EXPECT_FALSE(scheduler_.GetActive());
  sys_.cron_running = false;
  try {
    scheduler_.Open();
    ADD_FAILURE();
  } catch (const ESchedulerError& e) {
    EXPECT_STREQ(e.what(), "Task Scheduler service is not running.");
  }
  EXPECT_FALSE(scheduler_.GetActive());
  EXPECT_THROW(scheduler_.Refresh(), ESchedulerError);
  sys_.can_start_cron = true;
  scheduler_.SetActive(true);
  EXPECT_TRUE(scheduler_.GetActive());
  EXPECT_EQ(scheduler_.Version(), "2.0.9");
  scheduler_.Close();
  EXPECT_FALSE(scheduler_.GetActive());
}

TEST_P(TaskSchedulerTest, RefreshSortsWithoutRegardToCase) {
  scheduler_.Open();
  for (const char* name : {"Beta", "alpha", "Gamma"}) Save(name);
  scheduler_.Refresh();
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "Beta", "Gamma"}));
  scheduler_.OnBeforeTaskAdded = [](TTaskScheduler*, TTaskItem* task, bool& can_add) {
    can_add = task->Name() != "Beta";
  };
  scheduler_.Refresh();
  EXPECT_EQ(Names(), (std::vector<std::string>{"alpha", "Gamma"}));
}

TEST_P(TaskSchedulerTest, DuplicateNames) {
  scheduler_.Open();
  Save("Backup");
  scheduler_.Refresh();
  ASSERT_EQ(scheduler_.Count(), 1);
  TTaskItem* listed = scheduler_.GetItem(0);
  if (GetParam()) {
    try {
      scheduler_.CreateNewItem("Backup");
      ADD_FAILURE();
    } catch (const ETaskError& e) {
      EXPECT_STREQ(e.what(), "Task with the name \"Backup\" already exists.");
    }
    scheduler_.Duplicate = tdActivateFirst;
    EXPECT_EQ(scheduler_.CreateNewItem("Backup"), listed);
  } else {
    // The second generation lists plain names and looks for "Backup.job".
    TTaskItem* second = scheduler_.ActivateTask("Backup");
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, listed);
    EXPECT_EQ(scheduler_.Count(), 2);
    scheduler_.Duplicate = tdActivateFirst;
    EXPECT_EQ(scheduler_.CreateNewItem("Backup"), second);
  }
  EXPECT_EQ(scheduler_.ActivateTask("Nothing"), nullptr);
}

TEST_P(TaskSchedulerTest, ItemsOutOfBounds) {
  scheduler_.Open();
  Save("One");
  scheduler_.Refresh();
  for (int index : {-1, scheduler_.Count()}) {
    try {
      scheduler_.GetItem(index);
      ADD_FAILURE();
    } catch (const ESchedulerError& e) {
      EXPECT_EQ(std::string(e.what()), "Task index out of bounds (" + std::to_string(index) + ")");
    }
  }
}

TEST_P(TaskSchedulerTest, DeleteRemovesTheTaskAndItsLines) {
  scheduler_.Open();
  Save("Nightly");
  std::string mark = StoreMark(dir_ + "/store");
  EXPECT_EQ(CrontabBlockLines(test::ReadBytes(dir_ + "/crontab"), mark).size(), 1u);
  scheduler_.Refresh();
  scheduler_.DeleteTask("Nightly");
  EXPECT_EQ(scheduler_.Count(), 0);
  EXPECT_TRUE(CrontabBlockLines(test::ReadBytes(dir_ + "/crontab"), mark).empty());
  EXPECT_THROW(scheduler_.DeleteTask("Nightly"), EServiceError);
}

TEST_P(TaskSchedulerTest, BadNamesAndRemoteComputersAreRefused) {
  scheduler_.Open();
  for (const char* bad : {"a/b", ".x", "two\nlines"}) {
    EXPECT_THROW(scheduler_.CreateNewItem(bad), ETaskError) << bad;
  }
  EXPECT_THROW(scheduler_.SetTargetComputer("\\\\fileserver"), EServiceError);
  EXPECT_NO_THROW(scheduler_.SetTargetComputer(""));
  EXPECT_NE(scheduler_.GetTargetComputer().find("testhost"), std::string::npos);
}

TEST(TaskSchedulerHidden, HiddenTasksOnlyWhenAsked) {
  std::string dir = test::MakeTempDir("hidden");
  test::ScopedEnvVar crontab("LORVANT_CRONTAB", (dir + "/crontab").c_str());
  test::FakeSchedSystem sys;
  TTaskScheduler scheduler(dir + "/store");
  scheduler.Open();
  TTaskItem* item = scheduler.CreateNewItem("Quiet");
  item->SetApplicationName("/bin/true");
  item->SetVistaFlags(item->GetVistaFlags() | VistaFlagOf(tfvHidden));
  item->Deactivate(true);
  scheduler.Refresh();
  EXPECT_EQ(scheduler.Count(), 0);
  scheduler.ShowHidden = true;
  scheduler.Refresh();
  EXPECT_EQ(scheduler.Count(), 1);
}

}  // namespace
}  // namespace lorvant
