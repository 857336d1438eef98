#include "scheduler/TaskItem.h"

#include <gtest/gtest.h>

#include "base/Unicode.h"
#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskScheduler.h"
#include "scheduler/TriggerRecord.h"

namespace lorvant {
namespace {

class TaskItemTest : public ::testing::Test {
 protected:
  TaskItemTest()
      : dir_(test::MakeTempDir("item")),
        crontab_var_("LORVANT_CRONTAB", (dir_ + "/crontab").c_str()),
        scheduler_(dir_ + "/store") {
    sys_.SetLocal(2024, 3, 4, 12, 0);
  }

  TTaskItem* NewItem(const std::string& name, bool first_generation = false) {
    scheduler_.UseTaskScheduler1Only = first_generation;
    scheduler_.Open();
    return scheduler_.CreateNewItem(name);
  }

  // The stored task as the store reads it back.
  StoredTask Stored(const std::string& name) { return TaskStore(dir_ + "/store").Load(name); }

  std::string dir_;
  test::ScopedEnvVar crontab_var_;
  test::ScopedTimeZone zone_{test::kBerlin};
  test::FakeSchedSystem sys_;
  TTaskScheduler scheduler_;
};

TEST_F(TaskItemTest, ApplicationNameOfActions) {
  TTaskItem* item = NewItem("Actions");
  EXPECT_EQ(item->GetApplicationName(), "Empty");
  EXPECT_EQ(item->GetWorkingDirectory(), "");  // makes a program action
  EXPECT_EQ(item->GetCurrentAction(), 1);
  EXPECT_EQ(item->GetActionsCount(), 1);
  EXPECT_EQ(item->GetApplicationName(), "");
  item->InsertAction(kActionEmail);
  item->SetCurrentAction(0);
  EXPECT_EQ(item->GetApplicationName(), "Multiple actions");
  item->SetCurrentAction(2);
  EXPECT_EQ(item->GetApplicationName(), "Send e-mail");
  item->InsertAction(kActionShowMessage);
  item->InsertAction(kActionComHandler);
  item->SetCurrentAction(3);
  EXPECT_EQ(item->GetApplicationName(), "Display message");
  item->SetCurrentAction(4);
  EXPECT_EQ(item->GetApplicationName(), "COM Object");
  item->RemoveAction(4);
  item->RemoveAction(9);  // out of range: nothing
  EXPECT_EQ(item->GetActionsCount(), 3);
}

TEST_F(TaskItemTest, MailAndMessageFollowTheCurrentAction) {
  TTaskItem* item = NewItem("Mail");
  item->InsertAction(kActionEmail);
  EXPECT_EQ(item->GetMailSendTo(), "");  // no action chosen
  item->SetMailSendTo("ignored");
  item->SetCurrentAction(1);
  item->SetMailSendTo("ops");
  item->SetMailSubject("Nightly");
  item->Deactivate(true);
  std::vector<std::string> descriptions, kinds;
  item->GetTasksLists(&descriptions, &kinds);
  EXPECT_EQ(kinds, std::vector<std::string>{"Send e-mail"});
  EXPECT_EQ(descriptions, std::vector<std::string>{"ops Nightly"});
  EXPECT_EQ(Stored("Mail").Definition.Actions[0].To, "ops");
}

TEST_F(TaskItemTest, VistaFlagsAndTheLogonType) {
  TTaskItem* item = NewItem("Flags");
  item->SetVistaFlags(VistaFlagOf(tfvAllowHardTerminate));
  const TaskSettings& s = item->TaskDefinition()->Settings;
  EXPECT_TRUE(s.AllowHardTerminate);
  EXPECT_FALSE(s.AllowDemandStart || s.Enabled || s.DisallowStartIfOnBatteries ||
               s.StopIfGoingOnBatteries || s.Hidden || s.RunOnlyIfIdle || s.Idle.StopOnIdleEnd ||
               s.Idle.RestartOnIdle || s.RunOnlyIfNetworkAvailable || s.StartWhenAvailable ||
               s.WakeToRun);
  EXPECT_EQ(item->TaskDefinition()->Principal.LogonType, 1);
  EXPECT_EQ(item->GetVistaFlags(), VistaFlagOf(tfvAllowHardTerminate));
  EXPECT_EQ(item->GetFlags(), 0);  // the second generation has no such flags
}

TEST_F(TaskItemTest, MaxRunTimeAndTimeProperties) {
  TTaskItem* item = NewItem("Limits");
  item->SetMaxRunTime(0xFFFFFFFFu);
  EXPECT_EQ(item->TaskDefinition()->Settings.ExecutionTimeLimit, "PT0S");
  item->SetMaxRunTime(90 * 60000);
  EXPECT_EQ(item->TaskDefinition()->Settings.ExecutionTimeLimit, "PT1H30M");
  EXPECT_EQ(item->GetMaxRunTime(), 90u * 60000);
  item->SetTimeProperties({"PT2H0M", "PT5M", "3", "P30D", "PT1H0M", "PT10M"});
  EXPECT_EQ(item->GetTimeProperties(),
            (std::vector<std::string>{"PT2H0M", "PT5M", "3", "P30D", "PT1H0M", "PT10M"}));
  EXPECT_THROW(item->SetTimeProperties({"", "", "three", "", "", ""}), ETaskError);
  EXPECT_EQ(item->TaskDefinition()->Settings.RestartInterval, "");  // earlier writes stay
  item->SetTaskInstancesPolicy(tipQueue);
  EXPECT_EQ(item->GetTaskInstancesPolicy(), tipQueue);
}

TEST_F(TaskItemTest, SystemAccountRegistersAtOnce) {
  TTaskItem* item = NewItem("As system");
  item->SetApplicationName("/bin/true");
  item->SetAccountInformation("", "");
  StoredTask stored = Stored("As system");
  EXPECT_EQ(stored.Definition.Principal.UserId, "System");
  EXPECT_EQ(stored.Definition.Principal.LogonType, 5);
  EXPECT_EQ(item->GetAccountName(), "System");
  EXPECT_THROW(item->SetAccountInformation("mallory", ""), EServiceError);
}

TEST_F(TaskItemTest, StatusTimesAndExitCodeOfARegisteredTask) {
  TTaskItem* item = NewItem("State");
  EXPECT_THROW(item->GetStatus(), ETaskError);  // not registered yet
  try {
    item->Run();
  } catch (const ETaskError& e) {
    EXPECT_STREQ(e.what(), "Task \"State\" is not activated.");
  }
  item->SetApplicationName("/bin/true");
  TTrigger* t = item->GetTriggers()->Add(ttOnce);
  t->SetBeginDate(IsoToDateTime("2024-03-05T00:00:00"));
  t->SetStartTime(IsoToDateTime("2024-03-05T08:15:00"));
  item->GetTriggers()->UpdateTriggers();  // records reach the definition
  item->Deactivate(true);
  EXPECT_EQ(item->GetStatus(), ts2Ready);
  EXPECT_EQ(item->GetExitCode(), kStatusHasNotRun);
  EXPECT_EQ(item->GetMostRecentRunTime(), 0);
  EXPECT_EQ(DateTimeToIso(item->GetNextRunTime()), "2024-03-05T08:15:00");
  TaskStore store(dir_ + "/store");
  RunState s = store.LoadState("State");
  s.Running = true;
  s.RunningPid = 77;
  s.LastRunTime = sys_.now;
  s.LastResult = 2;
  store.SaveState("State", s);
  sys_.alive.insert(77);
  EXPECT_EQ(item->GetStatus(), ts2Running);
  EXPECT_EQ(item->GetExitCode(), 2u);
  // A start waiting its turn behind that run (queue policy).
  s.QueuedPids = {78};
  store.SaveState("State", s);
  sys_.alive.insert(78);
  EXPECT_EQ(item->GetStatus(), ts2Queued);
  sys_.alive.clear();  // a run whose process is gone is not running
  EXPECT_EQ(item->GetStatus(), ts2Ready);
  item->Run();
  ASSERT_EQ(sys_.detached.size(), 1u);
  EXPECT_EQ(sys_.detached[0], (std::vector<std::string>{"/opt/lorvant/lorvant-runner", "now",
                                                        dir_ + "/store", "State"}));
}

// The first generation's flags that the runner acts on reach the settings
// it reads.
TEST_F(TaskItemTest, FirstGenerationFlagsTheRunnerKeepsTo) {
  TTaskItem* item = NewItem("Flagged", true);
  item->SetFlags(FlagOf(tfRunIfConnectedToInternet) | FlagOf(tfDeleteWhenDone));
  item->SetApplicationName("/bin/true");
  item->Deactivate(true);
  TaskSettings s = Stored("Flagged").Definition.Settings;
  EXPECT_TRUE(s.RunOnlyIfNetworkAvailable);
  EXPECT_EQ(s.DeleteExpiredTaskAfter, "PT0S");
}

TEST_F(TaskItemTest, BinaryDataAsUtf16InTheSecondGeneration) {
  TTaskItem* item = NewItem("Data");
  item->SetBinaryData(Utf8ToUtf16("Grüße", false) + "x");  // an odd byte is no character
  EXPECT_EQ(item->TaskDefinition()->Data, "Grüße");
  std::string out = "head";
  item->GetBinaryData(&out);
  EXPECT_EQ(out, "head" + Utf8ToUtf16("Grüße", false));
}

TEST_F(TaskItemTest, AFirstGenerationWorkItemKeepsEveryValue) {
  TTaskItem* item = NewItem("Job", true);
  EXPECT_EQ(item->GetFlags(), FlagOf(tfDontStartIfOnBatteries) | FlagOf(tfKillIfGoingOnBatteries));
  EXPECT_EQ(item->WorkItemInterface()->GetFlags(), 0x40u | 0x80u);
  item->SetApplicationName("/opt/My Tools/run me");
  item->SetParameters("task=\"a b.sft\"");
  item->SetWorkingDirectory("/tmp/$x");
  item->SetComment("night");
  item->SetPriority(tpHigh);
  EXPECT_EQ(item->WorkItemInterface()->GetPriority(), 0x80u);
  item->SetIdleTime({15, 45});
  item->SetMaxRunTime(3600000);
  item->SetBinaryData(std::string("\0\x01\xfe", 3));
  EXPECT_THROW(item->SetBinaryData(std::string(70000, 'x')), ETaskError);
  EXPECT_THROW(item->SetMailSendTo("ops"), ETaskError);  // needs a definition
  EXPECT_EQ(item->GetMailSendTo(), "");
  EXPECT_EQ(item->GetVistaFlags(), 0);
  EXPECT_EQ(item->GetTaskInstancesPolicy(), tipIgnoreNew);
  TTrigger* t = item->GetTriggers()->Add(ttWeekly);
  t->SetBeginDate(IsoToDateTime("2024-03-01T00:00:00"));
  t->SetStartTime(IsoToDateTime("2024-03-01T07:45:00"));
  TriggerTypeUnion d = {};
  d.Weekly.WeeksInterval = 1;
  d.Weekly.rgfDaysOfTheWeek = 0x2;
  t->SetDetails(d);
  item->Deactivate(true);
  EXPECT_THROW(item->GetComment(), ETaskError);  // let go after Deactivate

  scheduler_.Refresh();
  TTaskItem* back = scheduler_.ActivateTask("Job");
  ASSERT_NE(back, nullptr);
  back->Activate();
  EXPECT_EQ(back->GetApplicationName(), "/opt/My Tools/run me");
  EXPECT_EQ(back->GetParameters(), "task=\"a b.sft\"");
  EXPECT_EQ(back->GetWorkingDirectory(), "/tmp/$x");
  EXPECT_EQ(back->GetComment(), "night");
  EXPECT_EQ(back->GetPriority(), tpHigh);
  EXPECT_EQ(back->GetIdleTime().wDeadlineMinutes, 45);
  EXPECT_EQ(back->GetMaxRunTime(), 3600000u);
  std::string data;
  back->GetBinaryData(&data);
  EXPECT_EQ(data, std::string("\0\x01\xfe", 3));
  ASSERT_EQ(back->GetTriggers()->Count(), 1);
  EXPECT_EQ(back->GetTriggers()->GetItem(0)->Record().Type.Weekly.rgfDaysOfTheWeek, 0x2);
  EXPECT_EQ(back->GetStatus(), tsHasNotRun);
  EXPECT_EQ(DateTimeToIso(back->GetNextRunTime()), "2024-03-11T07:45:00");
  // A work item whose class is unknown reads as normal priority.
  back->WorkItemInterface()->SetPriority(0x4000);
  EXPECT_EQ(back->GetPriority(), tpNormal);
  back->Deactivate(false);
  EXPECT_EQ(Stored("Job").Job.Priority, 0x80u);  // not saved
}

TEST_F(TaskItemTest, AnEditedTriggerRecordIsSavedEvenWhenNothingElseChanged) {
  TTaskItem* item = NewItem("Edit", true);
  item->SetApplicationName("/bin/true");
  TTrigger* t = item->GetTriggers()->Add(ttDaily);
  t->SetBeginDate(IsoToDateTime("2024-03-01T00:00:00"));
  item->Deactivate(true);
  scheduler_.Refresh();
  TTaskItem* back = scheduler_.ActivateTask("Edit");
  back->Activate();
  back->GetTriggers()->GetItem(0)->SetStartTime(IsoToDateTime("2024-03-01T18:20:00"));
  back->Deactivate(true);
  EXPECT_EQ(Stored("Edit").Definition.Triggers[0].StartBoundary, "2024-03-01T18:20:00");
}

TEST_F(TaskItemTest, MailAndMessageSettersWriteOnlyIntoTheirOwnKindOfAction) {
  TTaskItem* item = NewItem("Kinds");
  item->SetApplicationName("/bin/true");  // action 1 runs a program
  item->InsertAction(kActionShowMessage);
  item->SetCurrentAction(1);
  EXPECT_THROW(item->SetMailSendTo("ops"), ETaskError);
  EXPECT_THROW(item->SetMessTitle("Done"), ETaskError);
  EXPECT_EQ(item->GetMailSendTo(), "");
  item->SetCurrentAction(2);
  try {
    item->SetMailSubject("Nightly");
    ADD_FAILURE() << "an e-mail subject went into a message action";
  } catch (const ETaskError& e) {
    EXPECT_STREQ(e.what(), "Action 2 of the task \"Kinds\" is not an e-mail action.");
  }
  item->SetMessTitle("Done");
  EXPECT_EQ(item->GetMessTitle(), "Done");
  const ActionDef& program = item->TaskDefinition()->Actions[0];
  EXPECT_EQ(program.Path, "/bin/true");
  EXPECT_EQ(program.To + program.Subject + program.Title, "");
}

// Refused with a reason the window can show, before anything is written.
TEST_F(TaskItemTest, ADefinitionIsCheckedBeforeItIsSaved) {
  TTaskItem* item = NewItem("Checked");
  item->SetApplicationName("/bin/true");
  item->SetParameters("\"unclosed");
  TTrigger* t = item->GetTriggers()->Add(ttOnce);
  t->SetBeginDate(IsoToDateTime("2024-03-05T00:00:00"));
  t->SetStartTime(IsoToDateTime("2024-03-05T08:15:00"));
  item->GetTriggers()->UpdateTriggers();
  std::string problem = item->CheckDefinition();
  EXPECT_NE(problem.find("unclosed double quote"), std::string::npos) << problem;
  try {
    item->Deactivate(true);
    ADD_FAILURE() << "saved";
  } catch (const ETaskError& e) {
    EXPECT_EQ(e.Message(), problem);
  }
  EXPECT_TRUE(TaskStore(dir_ + "/store").ListNames().empty());
  item->SetParameters("\"closed\"");
  sys_.SetLocal(2024, 3, 6, 12, 0);  // the one start has passed
  EXPECT_NE(item->CheckDefinition().find("is to run once at 2024-03-05 08:15, which has passed"),
            std::string::npos);
  sys_.SetLocal(2024, 3, 4, 12, 0);
  EXPECT_EQ(item->CheckDefinition(), "");
  item->TaskDefinition()->Principal.RunLevel = 1;
  item->Deactivate(true);
  EXPECT_EQ(Stored("Checked").Definition.Principal.RunLevel, 1);
}

TEST_F(TaskItemTest, OnlyTriggerKindsThatFireAreOffered) {
  EXPECT_EQ(TTaskScheduler::SupportedTriggerKinds(),
            (std::vector<TTriggerType>{ttOnce, ttDaily, ttWeekly, ttMonthlyDate, ttMonthlyDow,
                                       ttAtStartup, ttAtLogon}));
  for (TTriggerType kind :
       {ttOnIdle, ttOnConnect, ttOnDisconnect, ttOnLock, ttOnUnlock, ttUnknown}) {
    EXPECT_FALSE(TriggerKindFires(kind)) << kind;
  }
  TTaskItem* item = NewItem("Idle");
  item->SetApplicationName("/bin/true");
  item->GetTriggers()->Add(ttOnIdle);
  item->GetTriggers()->UpdateTriggers();
  EXPECT_NE(item->CheckDefinition().find("never fires on this computer"), std::string::npos);
  EXPECT_THROW(item->Deactivate(true), ETaskError);
}

// A ".job" name would be listed as another name, so edits and deletes would
// reach another task: it is refused, in both generations.
TEST_F(TaskItemTest, ANameEndingInJobIsRefused) {
  for (bool first : {false, true}) {
    scheduler_.UseTaskScheduler1Only = first;
    scheduler_.Open();
    scheduler_.Refresh();
    EXPECT_THROW(scheduler_.CreateNewItem(first ? "Name.job.job" : "Name.JOB"), ETaskError);
  }
  scheduler_.UseTaskScheduler1Only = false;
  scheduler_.Open();
  TaskDefinitionPtr def = std::make_shared<TaskDefinitionData>();
  def->Actions.emplace_back();
  def->Actions[0].Path = "/bin/true";
  EXPECT_THROW(scheduler_.Folder()->RegisterTaskDefinition("Name.job", def, kTaskCreateOrUpdate, "",
                                                           "", 3, ""),
               ETaskError);
  // One planted by hand is not listed under another name, and "Name" is
  // a task of its own that edits and deletes reach.
  TaskStore store(dir_ + "/store");
  StoredTask planted;
  planted.Name = "Name";
  planted.Definition = *def;
  store.Save(planted);
  ::rename(store.TaskFile("Name").c_str(), (dir_ + "/store/Name.job.task").c_str());
  scheduler_.Refresh();
  EXPECT_EQ(scheduler_.Count(), 0);
  TTaskItem* item = scheduler_.CreateNewItem("Name");
  item->SetApplicationName("/bin/echo");
  item->Deactivate(true);
  scheduler_.Refresh();
  ASSERT_EQ(scheduler_.Count(), 1);
  EXPECT_EQ(scheduler_.Items(0)->Name(), "Name");
  scheduler_.DeleteTask("Name");
  EXPECT_TRUE(test::PathExists(dir_ + "/store/Name.job.task"));
  EXPECT_FALSE(test::PathExists(store.TaskFile("Name")));
}

}  // namespace
}  // namespace lorvant
