#include "scheduler/TriggerSchedule.h"

#include <gtest/gtest.h>

#include "scheduler/SchedTestSupport.h"

namespace lorvant {
namespace {

using test::Local;
using test::LocalText;

TriggerDef Trigger(int type, const char* start) {
  TriggerDef t;
  t.Type = type;
  t.StartBoundary = start;
  return t;
}

struct Case {
  const char* what;
  TriggerDef trigger;
  int64_t after;
  const char* expected;  // local wall-clock time, "0" for none
};

class TriggerScheduleTest : public ::testing::Test {
 protected:
  test::ScopedTimeZone zone_{test::kBerlin};
};

TEST_F(TriggerScheduleTest, NextOccurrenceOfEveryCalendarKind) {
  TriggerDef daily3 = Trigger(kTriggerDaily, "2024-02-27T09:30:00");
  daily3.DaysInterval = 3;
  TriggerDef weekly = Trigger(kTriggerWeekly, "2024-01-01T08:00:00");
  weekly.WeeksInterval = 2;
  weekly.DaysOfWeek = 0x2 | 0x20;  // Monday, Friday
  TriggerDef sundays = Trigger(kTriggerWeekly, "2024-12-25T10:00:00");
  sundays.DaysOfWeek = 0x1;
  TriggerDef day31 = Trigger(kTriggerMonthly, "2024-01-01T12:00:00");
  day31.DaysOfMonth = 1u << 30;
  day31.MonthsOfYear = 0xFFF;
  TriggerDef leap_day = Trigger(kTriggerMonthly, "2024-03-01T00:00:00");
  leap_day.DaysOfMonth = 1u << 28;
  leap_day.MonthsOfYear = 0x2;
  TriggerDef last_friday = Trigger(kTriggerMonthlyDow, "2024-01-01T18:00:00");
  last_friday.DaysOfWeek = 0x20;
  last_friday.WeeksOfMonth = 0x10;
  last_friday.MonthsOfYear = 0xFFF;
  TriggerDef last_only = last_friday;
  last_only.WeeksOfMonth = 0;
  last_only.RunOnLastWeekOfMonth = true;
  TriggerDef second_tuesday = Trigger(kTriggerMonthlyDow, "2024-01-01T07:15:00");
  second_tuesday.DaysOfWeek = 0x4;
  second_tuesday.WeeksOfMonth = 0x2;
  second_tuesday.MonthsOfYear = 0xFFF;
  TriggerDef bounded = Trigger(kTriggerDaily, "2024-01-01T09:00:00");
  bounded.EndBoundary = "2024-01-10T23:59:59";
  TriggerDef repeated = Trigger(kTriggerDaily, "2024-01-01T09:00:00");
  repeated.Repetition.Interval = "PT15M";
  repeated.Repetition.Duration = "PT1H";
  TriggerDef hourly_forever = Trigger(kTriggerTime, "2024-01-01T09:00:00");
  hourly_forever.Repetition.Interval = "PT1H";
  TriggerDef disabled = Trigger(kTriggerDaily, "2024-01-01T09:00:00");
  disabled.Enabled = false;

  const Case cases[] = {
      {"daily over a month end", Trigger(kTriggerDaily, "2024-01-30T09:30:00"),
       Local(2024, 1, 31, 10, 0), "2024-02-01 09:30:00"},
      {"every 3 days over a leap day", daily3, Local(2024, 2, 27, 9, 30), "2024-03-01 09:30:00"},
      {"every other week, Monday and Friday", weekly, Local(2024, 1, 5, 8, 0),
       "2024-01-15 08:00:00"},
      {"weekly over the year end", sundays, Local(2024, 12, 29, 10, 0), "2025-01-05 10:00:00"},
      {"day 31 skips shorter months", day31, Local(2024, 1, 31, 12, 0), "2024-03-31 12:00:00"},
      {"29 February waits for a leap year", leap_day, Local(2024, 3, 1, 0, 0),
       "2028-02-29 00:00:00"},
      {"last Friday", last_friday, Local(2024, 1, 26, 18, 0), "2024-02-23 18:00:00"},
      {"last week by its flag alone", last_only, Local(2024, 2, 23, 18, 0), "2024-03-29 18:00:00"},
      {"second Tuesday", second_tuesday, Local(2024, 3, 1, 0, 0), "2024-03-12 07:15:00"},
      {"once, before", Trigger(kTriggerTime, "2024-05-05T10:00:00"), Local(2024, 5, 1, 0, 0),
       "2024-05-05 10:00:00"},
      {"once, after", Trigger(kTriggerTime, "2024-05-05T10:00:00"), Local(2024, 5, 5, 10, 0), "0"},
      {"before the begin boundary", Trigger(kTriggerDaily, "2024-06-01T06:00:00"),
       Local(2024, 1, 1, 0, 0), "2024-06-01 06:00:00"},
      {"spring forward moves a skipped start by the gap",
       Trigger(kTriggerDaily, "2024-03-01T02:30:00"), Local(2024, 3, 30, 3, 0),
       "2024-03-31 03:30:00"},
      {"the day after spring forward", Trigger(kTriggerDaily, "2024-03-01T02:30:00"),
       Local(2024, 3, 31, 3, 30), "2024-04-01 02:30:00"},
      {"end boundary", bounded, Local(2024, 1, 10, 9, 0), "0"},
      {"last day within the end boundary", bounded, Local(2024, 1, 9, 9, 0), "2024-01-10 09:00:00"},
      {"repetition inside its duration", repeated, Local(2024, 1, 1, 9, 40), "2024-01-01 09:45:00"},
      {"repetition ends with its duration", repeated, Local(2024, 1, 1, 9, 45),
       "2024-01-02 09:00:00"},
      {"repetition without duration", hourly_forever, Local(2024, 6, 1, 12, 30),
       "2024-06-01 13:00:00"},
      {"disabled", disabled, Local(2024, 1, 1, 0, 0), "0"},
      {"not a calendar kind", Trigger(kTriggerBoot, "2024-01-01T00:00:00"), Local(2024, 1, 1, 0, 0),
       "0"},
      {"no start boundary", Trigger(kTriggerDaily, ""), Local(2024, 1, 1, 0, 0), "0"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalText(NextOccurrence(c.trigger, c.after)), c.expected) << c.what;
  }
}

TEST_F(TriggerScheduleTest, FallBackRunsTheDoubledHourOnce) {
  TriggerDef t = Trigger(kTriggerDaily, "2024-10-01T02:30:00");
  int64_t first = NextOccurrence(t, Local(2024, 10, 27, 0, 0));
  EXPECT_EQ(LocalText(first), "2024-10-27 02:30:00");
  // 02:30 summer time is the first of the two; an hour later the clock
  // reads 02:30 again, and that is not a second run.
  EXPECT_EQ(LocalText(NextOccurrence(t, first)), "2024-10-28 02:30:00");
  EXPECT_EQ(NextOccurrence(t, first + 1800) - first, 24 * 3600 + 3600);
}

TEST_F(TriggerScheduleTest, LatestOccurrenceAndTheTasksNextRun) {
  TriggerDef daily = Trigger(kTriggerDaily, "2024-01-01T09:00:00");
  EXPECT_EQ(LocalText(LatestOccurrence(daily, Local(2024, 1, 1, 0, 0), Local(2024, 1, 3, 12, 0))),
            "2024-01-03 09:00:00");
  EXPECT_EQ(LatestOccurrence(daily, Local(2024, 1, 3, 9, 0), Local(2024, 1, 3, 12, 0)), 0);
  // A minute-by-minute repetition over years is found at once.
  TriggerDef leap = Trigger(kTriggerMonthly, "2024-02-29T10:00:00");
  leap.DaysOfMonth = 1u << 28;
  leap.MonthsOfYear = 0x2;
  leap.Repetition.Interval = "PT1M";
  EXPECT_EQ(
      LocalText(LatestOccurrence(leap, Local(2024, 1, 1, 0, 0), Local(2026, 7, 1, 12, 0, 30))),
      "2026-07-01 12:00:00");
  leap.Repetition.Duration = "PT1H";
  EXPECT_EQ(LocalText(LatestOccurrence(leap, Local(2024, 1, 1, 0, 0), Local(2026, 7, 1, 12, 0))),
            "2024-02-29 10:59:00");
  TriggerDef bounded = daily;
  bounded.EndBoundary = "2024-01-02T23:59:59";
  EXPECT_EQ(LocalText(LatestOccurrence(bounded, 0, Local(2024, 1, 9, 0, 0))),
            "2024-01-02 09:00:00");

  TaskDefinitionData def;
  def.Triggers.push_back(daily);
  def.Triggers.push_back(Trigger(kTriggerTime, "2024-01-02T08:00:00"));
  EXPECT_EQ(LocalText(NextRunOf(def, Local(2024, 1, 1, 12, 0))), "2024-01-02 08:00:00");
  def.Settings.Enabled = false;
  EXPECT_EQ(NextRunOf(def, Local(2024, 1, 1, 12, 0)), 0);
}

}  // namespace
}  // namespace lorvant
