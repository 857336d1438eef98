#include "scheduler/TaskStore.h"

#include <gtest/gtest.h>

#include "scheduler/SchedulerErrors.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

StoredTask Sample() {
  StoredTask t;
  t.Name = "Nightly \"split\" $HOME";
  t.Definition.Registration.Description = "two\nlines\\and a tab\t";
  t.Definition.Settings.MultipleInstances = 1;
  t.Definition.Settings.ExecutionTimeLimit = "PT1H30M";
  TriggerDef trig;
  trig.Type = kTriggerMonthlyDow;
  trig.StartBoundary = "2024-01-01T07:15:00";
  trig.WeeksOfMonth = 0x12;
  trig.DaysOfMonth = 0x80000001u;
  t.Definition.Triggers = {trig, TriggerDef{}};
  ActionDef run;
  run.Path = "/opt/My Tools/Lorvant";
  run.Arguments = "task=\"/a b/c.sft\" logfile='x'";
  ActionDef mail;
  mail.Type = kActionEmail;
  mail.To = "ops";
  mail.Subject = "Nightly";
  t.Definition.Actions = {run, mail};
  t.Definition.Data = "free text";
  t.Job.Flags = 0x240;
  t.Job.WorkItemData = std::string("\0\x01\xff", 3);
  TriggerRecordBytes r{};
  r[0] = 48;
  r[47] = 0xAB;
  t.Job.TriggerRecords = {r};
  t.Job.HasRecords = true;
  return t;
}

TEST(TaskStore, ATaskReadsBackAsWrittenAndStaysReadable) {
  TaskStore store(test::MakeTempDir("store"));
  StoredTask t = Sample();
  store.Save(t);
  std::string text = test::ReadBytes(store.TaskFile(t.Name));
  EXPECT_NE(text.find("Path=/opt/My Tools/Lorvant\n"), std::string::npos);
  EXPECT_NE(text.find("Description=two\\nlines\\\\and a tab\\x09\n"), std::string::npos);
  StoredTask back = store.Load(t.Name);
  EXPECT_EQ(FormatTaskFile(back), FormatTaskFile(t));
  EXPECT_EQ(back.Job.TriggerRecords[0], t.Job.TriggerRecords[0]);
  EXPECT_EQ(back.Definition.Registration.Description, t.Definition.Registration.Description);
  EXPECT_EQ(store.ListNames(), std::vector<std::string>{t.Name});
  EXPECT_TRUE(store.Remove(t.Name));
  EXPECT_FALSE(store.Exists(t.Name));
  EXPECT_THROW(store.Load(t.Name), EServiceError);
}

TEST(TaskStore, ADamagedFileGivesAClearError) {
  TaskStore store(test::MakeTempDir("store"));
  store.Save(Sample());
  std::string file = store.TaskFile(Sample().Name);
  std::string good = test::ReadBytes(file);
  const std::pair<std::string, std::string> damages[] = {
      {"", "line 1: it does not begin with its header"},
      {"MultipleInstances=1", "\"MultipleInstances\" is out of range"},
      {"LogonType=3", "\"LogonType\" is not a number"},
      {"TriggerRecord=", "a trigger record is not 48 bytes"},
      {"Description=", "a value has a bad escape"},
      {"[Task]", "a section name is not closed"},
  };
  const std::string replacements[] = {"garbage",          "MultipleInstances=9", "LogonType=three",
                                      "TriggerRecord=00", "Description=\\q",     "[Task"};
  for (size_t i = 0; i < std::size(damages); ++i) {
    std::string bad = good;
    if (damages[i].first.empty()) {
      bad = "garbage\n" + good;
    } else {
      size_t pos = bad.find(damages[i].first);
      ASSERT_NE(pos, std::string::npos);
      size_t eol = bad.find('\n', pos);
      bad.replace(pos, eol - pos, replacements[i]);
    }
    test::WriteBytes(file, bad);
    try {
      store.Load(Sample().Name);
      ADD_FAILURE() << "no error for " << replacements[i];
    } catch (const EServiceError& e) {
      EXPECT_NE(std::string(e.what()).find(damages[i].second), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(file), std::string::npos);
    }
  }
}

TEST(TaskStore, ADamagedStateReadsAsNeverRunAndIsReplaced) {
  TaskStore store(test::MakeTempDir("store"));
  RunState s;
  s.LastRunTime = 1700000000;
  s.LastResult = 2;
  s.LastFired = {5, 6};
  store.SaveState("T", s);
  RunState back = store.LoadState("T");
  EXPECT_EQ(back.LastRunTime, 1700000000);
  EXPECT_EQ(back.LastFired, (std::vector<int64_t>{5, 6}));
  test::WriteBytes(store.StateFile("T"), "# Lorvant task state 1\nLastRunTime=soon\n");
  EXPECT_EQ(store.LoadState("T").LastRunTime, 0);
  EXPECT_EQ(store.LoadState("T").LastResult, 0x41303u);
}

TEST(TaskStore, ALinkInPlaceOfATaskFileIsNotFollowed) {
  std::string dir = test::MakeTempDir("store");
  TaskStore store(dir);
  test::WriteBytes(dir + "/elsewhere", "# Lorvant scheduled task 1\n[Task]\nName=x\n");
  ASSERT_EQ(::symlink((dir + "/elsewhere").c_str(), (dir + "/T.task").c_str()), 0);
  EXPECT_THROW(store.Load("T"), EServiceError);
}

}  // namespace
}  // namespace lorvant
