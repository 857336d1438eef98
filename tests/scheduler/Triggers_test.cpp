#include "scheduler/Triggers.h"

#include <gtest/gtest.h>

#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskItem.h"
#include "scheduler/TaskScheduler.h"

namespace lorvant {
namespace {

TriggerDef Def(int type) {
  TriggerDef t;
  t.Type = type;
  t.StartBoundary = "2024-03-01T09:30:00";
  return t;
}

TEST(TriggerDescription, EveryKindInWords) {
  TriggerDef daily3 = Def(kTriggerDaily);
  daily3.DaysInterval = 3;
  TriggerDef weekly = Def(kTriggerWeekly);
  weekly.DaysOfWeek = 0x2 | 0x20;
  TriggerDef weekly2 = weekly;
  weekly2.WeeksInterval = 2;
  TriggerDef monthly = Def(kTriggerMonthly);
  monthly.DaysOfMonth = 1u | 1u << 14;
  monthly.MonthsOfYear = 0x1 | 0x40;
  TriggerDef dow = Def(kTriggerMonthlyDow);
  dow.WeeksOfMonth = 0x5;
  dow.DaysOfWeek = 0x1;
  dow.MonthsOfYear = 0xFFF;
  TriggerDef last = dow;
  last.WeeksOfMonth = 0;
  last.RunOnLastWeekOfMonth = true;
  TriggerDef console = Def(kTriggerSessionStateChange);
  console.StateChange = 1;
  TriggerDef lock = console;
  lock.StateChange = 7;
  TriggerDef other = Def(10);
  const std::pair<TriggerDef, const char*> cases[] = {
      {Def(kTriggerEvent), "At event"},
      {Def(kTriggerTime), "At 09:30:00 on 03/01/24"},
      {Def(kTriggerDaily), "At 09:30:00 every day"},
      {daily3, "At 09:30:00 every 3 days"},
      {weekly, "At 09:30:00 every Monday, Friday of every week, starting 03/01/24"},
      {weekly2, "At 09:30:00 every Monday, Friday of every 2 weeks, starting 03/01/24"},
      {monthly, "At 09:30:00 on day 1, 15 of month 1, 7, starting 03/01/24"},
      {dow,
       "Runs at 09:30:00 on the First, Third Sunday of month 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, "
       "12, starting 03/01/24"},
      {last,
       "Runs at 09:30:00 on the Last Sunday of month 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, "
       "starting 03/01/24"},
      {Def(kTriggerIdle), "When computer is idle"},
      {Def(kTriggerRegistration), "At task creation/modification"},
      {Def(kTriggerBoot), "On system startup"},
      {Def(kTriggerLogon), "At logon"},
      {console, "At session unlock"},
      {lock, "At session lock"},
      {other, "Trigger 10"},
  };
  for (const auto& [trigger, text] : cases) EXPECT_EQ(DescribeServiceTrigger(trigger), text);
}

TEST(TriggerRecord, FortyEightLittleEndianBytes) {
  TaskTriggerRecord r;
  r.wBeginYear = 2024;
  r.wStartHour = 9;
  r.MinutesInterval = 0x01020304;
  r.rgFlags = kTriggerFlagHasEndDate;
  r.TriggerType = ttMonthlyDow;
  r.Type.MonthlyDOW.wWhichWeek = 5;
  r.Type.MonthlyDOW.rgfDaysOfTheWeek = 0x40;
  r.Type.MonthlyDOW.rgfMonths = 0x800;
  r.wRandomMinutesInterval = 0xBEEF;
  TriggerRecordBytes b = PackTriggerRecord(r);
  EXPECT_EQ(b[0], 48);
  EXPECT_EQ(b[4] | b[5] << 8, 2024);
  EXPECT_EQ(b[16], 9);
  EXPECT_EQ(b[24], 0x04);
  EXPECT_EQ(b[27], 0x01);
  EXPECT_EQ(b[28], 1);
  EXPECT_EQ(b[32], ttMonthlyDow);
  EXPECT_EQ(b[36], 5);
  EXPECT_EQ(b[38], 0x40);
  EXPECT_EQ(b[41], 0x08);
  EXPECT_EQ(b[46] | b[47] << 8, 0xBEEF);
  EXPECT_EQ(PackTriggerRecord(UnpackTriggerRecord(b)), b);
  // The monthly-by-date layout shares the bytes.
  TaskTriggerRecord m;
  m.Type.MonthlyDate.rgfDays = 0x80000001u;
  m.Type.MonthlyDate.rgfMonths = 0x41;
  TriggerRecordBytes mb = PackTriggerRecord(m);
  EXPECT_EQ(mb[36], 0x01);
  EXPECT_EQ(mb[39], 0x80);
  EXPECT_EQ(mb[40], 0x41);
  EXPECT_EQ(UnpackTriggerRecord(mb).Type.MonthlyDate.rgfDays, 0x80000001u);
}

class TriggersTest : public ::testing::Test {
 protected:
  TriggersTest()
      : dir_(test::MakeTempDir("trig")),
        crontab_var_("LORVANT_CRONTAB", (dir_ + "/crontab").c_str()),
        scheduler_(dir_ + "/store") {
    sys_.SetLocal(2024, 3, 4, 12, 0);
  }

  TTaskItem* NewItem(bool first_generation = false) {
    scheduler_.UseTaskScheduler1Only = first_generation;
    scheduler_.Open();
    return scheduler_.CreateNewItem("T");
  }

  std::string dir_;
  test::ScopedEnvVar crontab_var_;
  test::ScopedTimeZone zone_{test::kBerlin};
  test::FakeSchedSystem sys_;
  TTaskScheduler scheduler_;
};

TEST_F(TriggersTest, StringsOfNoneOneAndMany) {
  TTaskItem* item = NewItem();
  TTriggers* triggers = item->GetTriggers();
  std::vector<std::string> lines;
  triggers->GetTriggerStrings(&lines);
  EXPECT_EQ(lines, std::vector<std::string>{"<Task not scheduled>"});
  EXPECT_EQ(item->GetTriggerString(), "Task not scheduled");
  triggers->Add(ttAtStartup);
  EXPECT_EQ(item->GetTriggerString(), "On system startup");
  triggers->Add(ttOnIdle);
  triggers->Add(ttAtLogon);
  triggers->GetTriggerStrings(&lines);
  EXPECT_EQ(lines, (std::vector<std::string>{"1. On system startup", "2. When computer is idle",
                                             "3. At logon"}));
  EXPECT_EQ(item->GetTriggerString(), "Multiple schedule times");
  EXPECT_EQ(triggers->Add(ttUnknown), nullptr);
  for (int index : {-1, 3}) {
    try {
      triggers->GetItem(index);
      ADD_FAILURE();
    } catch (const ETriggerError& e) {
      EXPECT_EQ(std::string(e.what()),
                "Trigger index out of bounds (" + std::to_string(index) + ")");
    }
  }
  triggers->Clear();
  EXPECT_EQ(triggers->Count(), 0);
  EXPECT_TRUE(item->TaskDefinition()->Triggers.empty());
}

TEST_F(TriggersTest, RecordsBecomeServiceTriggers) {
  TTaskItem* item = NewItem();
  TTriggers* triggers = item->GetTriggers();
  TTrigger* daily = triggers->Add(ttDaily);  // DaysInterval 0 in the record
  daily->SetBeginDate(IsoToDateTime("2024-03-01T00:00:00"));
  daily->SetStartTime(IsoToDateTime("2024-03-01T09:05:00"));
  daily->SetEndDate(IsoToDateTime("2024-03-31T00:00:00"));
  daily->SetHasEndDate(true);
  TTrigger* dow = triggers->Add(ttMonthlyDow);
  TriggerTypeUnion d = {};
  d.MonthlyDOW.wWhichWeek = 5;
  d.MonthlyDOW.rgfDaysOfTheWeek = 0x20;
  d.MonthlyDOW.rgfMonths = 0xFFF;
  dow->SetDetails(d);
  TTrigger* unlock = triggers->Add(ttOnUnlock);
  unlock->SetUserName("tester");
  triggers->UpdateTriggers();
  const auto& defs = item->TaskDefinition()->Triggers;
  EXPECT_EQ(defs[0].DaysInterval, 1);
  EXPECT_EQ(defs[0].StartBoundary, "2024-03-01T09:05:00");
  EXPECT_EQ(defs[0].EndBoundary, "2024-03-31T23:59:59");  // the last day is included
  EXPECT_EQ(daily->StartTimeText(), "09:05:00");
  EXPECT_EQ(daily->EndText(), "2024-03-31T00:00:00");
  EXPECT_EQ(defs[1].WeeksOfMonth, 0x10);
  EXPECT_TRUE(defs[1].RunOnLastWeekOfMonth);
  EXPECT_EQ(defs[2].Type, kTriggerSessionStateChange);
  EXPECT_EQ(defs[2].StateChange, 8);
  EXPECT_EQ(defs[2].UserId, "tester");
  EXPECT_TRUE(item->TaskDefinition()->Settings.StartWhenAvailable);
  daily->SetHasEndDate(false);
  triggers->UpdateTriggers();
  EXPECT_EQ(defs[0].EndBoundary, "");
  // Repetition and weeks write through at once.
  daily->SetInterval(90);
  daily->SetDuration(1440);
  daily->SetKillAtDurationEnd(true);
  EXPECT_EQ(defs[0].Repetition.Interval, "PT1H30M");
  EXPECT_EQ(defs[0].Repetition.Duration, "P1DT0H0M");
  EXPECT_TRUE(defs[0].Repetition.StopAtDurationEnd);
  EXPECT_EQ(daily->GetInterval(), 90u);
  dow->SetVistaMonthlyDOWWeeks(1 << tvmdowFirst | 1 << tvmdowThird);
  EXPECT_EQ(defs[1].WeeksOfMonth, 0x5);
  EXPECT_FALSE(defs[1].RunOnLastWeekOfMonth);
}

TEST_F(TriggersTest, LoadingReadsEachKindBack) {
  TTaskItem* item = NewItem();
  TriggerDef dow = Def(kTriggerMonthlyDow);
  dow.StartBoundary = "2024-03-01T09:30:17+01:00";
  dow.WeeksOfMonth = 0x4;
  dow.DaysOfWeek = 0x2;
  dow.MonthsOfYear = 0x3;
  TriggerDef last = dow;
  last.WeeksOfMonth = 0;
  last.RunOnLastWeekOfMonth = true;
  TriggerDef weekly = Def(kTriggerWeekly);
  weekly.WeeksInterval = 2;
  weekly.DaysOfWeek = 0x41;
  TriggerDef session = Def(kTriggerSessionStateChange);
  item->TaskDefinition()->Triggers = {dow, last, weekly, session};
  item->Activate();
  TTriggers* triggers = item->GetTriggers();
  ASSERT_EQ(triggers->Count(), 4);
  TTrigger* first = triggers->GetItem(0);
  EXPECT_EQ(first->GetTriggerType(), ttMonthlyDow);
  EXPECT_EQ(first->Record().Type.MonthlyDOW.wWhichWeek, 3);
  EXPECT_EQ(first->GetVistaMonthlyDOWWeeks(), 1 << tvmdowThird);
  EXPECT_EQ(first->Record().wStartHour, 9);
  // The start boundary is rewritten in the normalised form.
  EXPECT_EQ(item->TaskDefinition()->Triggers[0].StartBoundary, "2024-03-01T09:30:00");
  EXPECT_EQ(triggers->GetItem(1)->Record().Type.MonthlyDOW.wWhichWeek, 5);
  EXPECT_EQ(triggers->GetItem(1)->GetVistaMonthlyDOWWeeks(), 1 << tvmdowLast);
  EXPECT_EQ(triggers->GetItem(2)->Record().Type.Weekly.WeeksInterval, 2);
  EXPECT_EQ(triggers->GetItem(2)->Record().Type.Weekly.rgfDaysOfTheWeek, 0x41);
  EXPECT_EQ(triggers->GetItem(3)->GetTriggerType(), ttUnknown);
  EXPECT_EQ(DateTimeToIso(first->GetBeginDate()), "2024-03-01T09:30:00");
}

TEST_F(TriggersTest, FirstGenerationRecordsAreKeptUnchanged) {
  TTaskItem* item = NewItem(true);
  item->SetApplicationName("/bin/true");
  TTrigger* t = item->GetTriggers()->Add(ttOnce);
  t->SetBeginDate(IsoToDateTime("2024-04-01T00:00:00"));
  t->SetStartTime(IsoToDateTime("2024-04-01T06:00:00"));
  item->Deactivate(true);
  // Reserved bytes written by someone else survive a load and a save.
  StoredTask stored = TaskStore(dir_ + "/store").Load("T");
  stored.Job.TriggerRecords[0][2] = 0x5A;
  stored.Job.TriggerRecords[0][44] = 0xA5;
  TaskStore(dir_ + "/store").Save(stored);
  scheduler_.Refresh();
  TTaskItem* back = scheduler_.ActivateTask("T");
  back->Activate();
  EXPECT_EQ(back->GetTriggers()->GetItem(0)->AsString(), "At 06:00:00 on 04/01/24");
  EXPECT_EQ(back->GetTriggers()->GetItem(0)->Record().Reserved1, 0x5A);
  back->SetComment("changed");
  back->Deactivate(true);
  StoredTask again = TaskStore(dir_ + "/store").Load("T");
  EXPECT_EQ(again.Job.TriggerRecords[0], stored.Job.TriggerRecords[0]);
  EXPECT_EQ(again.Definition.Triggers[0].StartBoundary, "2024-04-01T06:00:00");
}

}  // namespace
}  // namespace lorvant
