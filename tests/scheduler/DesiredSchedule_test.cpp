#include "scheduler/DesiredSchedule.h"

#include <gtest/gtest.h>

#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedTestSupport.h"

namespace lorvant {
namespace {

ScheduledTask Task(const std::string& name, int type, const std::string& start) {
  ScheduledTask t;
  t.Name = name;
  TriggerDef trig;
  trig.Type = type;
  trig.StartBoundary = start;
  t.Definition.Triggers.push_back(trig);
  return t;
}

class DesiredScheduleTest : public ::testing::Test {
 protected:
  DesiredScheduleTest() {
    context_.Runner = "/r";
    context_.StoreFolder = "/s";
    context_.Mark = "m";
    context_.Now = test::Local(2024, 3, 4, 12, 0);
  }
  std::string Line(const std::string& schedule, const std::string& name, int index) {
    return "" + schedule + " '/r' 'fire' '/s' '" + name + "' '" + std::to_string(index) +
           "' # lorvant-m";
  }

  test::ScopedTimeZone zone_{test::kBerlin};
  ScheduleContext context_;
};

TEST_F(DesiredScheduleTest, EachTaskGetsTheLinesItsTriggersNeed) {
  struct Case {
    const char* what;
    ScheduledTask task;
    std::vector<std::string> lines;
    bool logon;
  };
  ScheduledTask off = Task("off", kTriggerDaily, "2024-03-01T09:30:00");
  off.Definition.Settings.Enabled = false;
  ScheduledTask disabled_trigger = Task("t", kTriggerDaily, "2024-03-01T09:30:00");
  disabled_trigger.Definition.Triggers[0].Enabled = false;
  ScheduledTask hourly = Task("h", kTriggerDaily, "2024-03-01T09:05:00");
  hourly.Definition.Triggers[0].Repetition.Interval = "PT1H";
  ScheduledTask ended = Task("e", kTriggerDaily, "2024-03-01T09:30:00");
  ended.Definition.Triggers[0].EndBoundary = "2024-03-02T00:00:00";
  ScheduledTask late = Task("l", kTriggerTime, "2024-03-04T11:00:00");
  late.Definition.Settings.StartWhenAvailable = true;
  late.State.RegisteredAt = test::Local(2024, 3, 4, 10, 0);
  ScheduledTask ran = late;
  ran.State.LastFired = {test::Local(2024, 3, 4, 11, 0)};
  ScheduledTask two = Task("2", kTriggerBoot, "");
  two.Definition.Triggers.push_back(two.Definition.Triggers[0]);
  two.Definition.Triggers[1].Type = kTriggerWeekly;
  two.Definition.Triggers[1].DaysOfWeek = 0x7F;
  two.Definition.Triggers[1].StartBoundary = "2024-03-01T23:59:00";
  Case cases[] = {
      {"daily",
       Task("d", kTriggerDaily, "2024-03-01T09:30:00"),
       {Line("30 9,10 * * *", "d", 0)},
       false},
      {"once ahead",
       Task("o", kTriggerTime, "2024-03-05T08:00:00"),
       {Line("0 8,9 * * *", "o", 0)},
       false},
      {"once passed", Task("p", kTriggerTime, "2024-03-01T08:00:00"), {}, false},
      {"passed, start when available", late, {Line("0 11,12 * * *", "l", 0)}, false},
      {"passed and already run", ran, {}, false},
      {"end passed", ended, {}, false},
      {"hourly", hourly, {Line("5 * * * *", "h", 0)}, false},
      {"boot and weekly", two, {Line("@reboot", "2", 0), Line("59 23,0 * * *", "2", 1)}, false},
      {"logon", Task("g", kTriggerLogon, ""), {}, true},
      {"idle", Task("i", kTriggerIdle, ""), {}, false},
      {"task disabled", off, {}, false},
      {"trigger disabled", disabled_trigger, {}, false},
      {"no start", Task("n", kTriggerDaily, ""), {}, false},
  };
  for (const Case& c : cases) {
    DesiredBlock block = DesiredSchedule({c.task}, context_);
    EXPECT_EQ(block.Lines, c.lines) << c.what;
    EXPECT_EQ(block.Logon, c.logon) << c.what;
    EXPECT_TRUE(block.Expired.empty()) << c.what;
    EXPECT_TRUE(block.Problems.empty()) << c.what;
  }
}

TEST_F(DesiredScheduleTest, AnExpiringTaskIsCalledWhenItExpiresAndListedOnceItHas) {
  ScheduledTask t = Task("x", kTriggerDaily, "2024-03-01T09:30:00");
  t.Definition.Triggers[0].EndBoundary = "2024-03-10T00:00:00";
  t.Definition.Settings.DeleteExpiredTaskAfter = "PT1H";
  DesiredBlock block = DesiredSchedule({t}, context_);
  EXPECT_EQ(block.Lines,
            (std::vector<std::string>{Line("0 1 10 3 *", "x", 0), Line("30 9,10 * * *", "x", 0)}));
  context_.Now = test::Local(2024, 3, 10, 1, 0);
  block = DesiredSchedule({t}, context_);
  EXPECT_TRUE(block.Lines.empty());
  EXPECT_EQ(block.Expired, std::vector<std::string>{"x"});
}

TEST_F(DesiredScheduleTest, ATaskWhoseLineCannotBeWrittenLeavesTheOthersTheirs) {
  ScheduledTask good = Task("good", kTriggerDaily, "2024-03-01T09:30:00");
  ScheduledTask long_name = Task(std::string(600, 'n'), kTriggerDaily, "2024-03-01T09:30:00");
  long_name.Definition.Triggers.push_back(long_name.Definition.Triggers[0]);
  context_.StoreFolder = "/s/" + std::string(400, 's');
  DesiredBlock block = DesiredSchedule({long_name, good}, context_);
  ASSERT_EQ(block.Lines.size(), 1u);
  EXPECT_NE(block.Lines[0].find("'good'"), std::string::npos);
  ASSERT_EQ(block.Problems.size(), 1u);
  EXPECT_NE(block.Problems[0].find("longer than cron reads"), std::string::npos);
}

}  // namespace
}  // namespace lorvant
