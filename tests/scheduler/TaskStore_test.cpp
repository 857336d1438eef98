#include "scheduler/TaskStore.h"

#include <unistd.h>

#include <functional>

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
      {"RestartCount=0", "\"RestartCount\" is out of range"},
      {"DaysOfMonth=", "\"DaysOfMonth\" is out of range"},
      {"RunLevel=0", "\"RunLevel\" is out of range"},
      {"TriggerRecord=", "a trigger record is not 48 bytes"},
      {"Description=", "a value has a bad escape"},
      {"[Task]", "a section name is not closed"},
  };
  const std::string replacements[] = {"garbage",
                                      "MultipleInstances=9",
                                      "LogonType=three",
                                      "RestartCount=9999999999999999999",
                                      "DaysOfMonth=-99999999999999999999999",
                                      "RunLevel=2",
                                      "TriggerRecord=00",
                                      "Description=\\q",
                                      "[Task"};
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
  for (const char* bad : {"LastRunTime=soon", "LastRunTime=9999999999999999999",
                          "LastFired=99999999999999999999999999"}) {
    test::WriteBytes(store.StateFile("T"), std::string("# Lorvant task state 1\n") + bad + "\n");
    EXPECT_EQ(store.LoadState("T").LastRunTime, 0) << bad;
    EXPECT_EQ(store.LoadState("T").LastResult, 0x41303u) << bad;
  }
}

TEST(TaskStore, TheRunLevelAndQueuedStartsReadBack) {
  TaskStore store(test::MakeTempDir("store"));
  StoredTask t = Sample();
  t.Definition.Principal.RunLevel = 1;
  store.Save(t);
  EXPECT_EQ(store.Load(t.Name).Definition.Principal.RunLevel, 1);
  RunState s;
  s.QueuedPids = {41, 42};
  store.SaveState("T", s);
  EXPECT_EQ(store.LoadState("T").QueuedPids, (std::vector<int64_t>{41, 42}));
}

// A link planted in the store: every write refuses it, naming the file, and
// what it points at stays as it was.
TEST(TaskStore, NoWriteGoesThroughALinkInTheStore) {
  std::string dir = test::MakeTempDir("store");
  TaskStore store(dir);
  store.SetLockTimeout(0);
  std::string victim = test::MakeTempDir("victim") + "/precious";
  const std::string kept = "the user's own data\n";
  struct Plant {
    const char* entry;
    std::function<void()> write;
  } plants[] = {
      {"T.task", [&] { store.Save(Sample()); }},
      {"T.state", [&] { store.SaveState("T", RunState()); }},
      {".lock", [&] { store.Lock(); }},
      {"runner.log", [&] { store.AppendLog("a line"); }},
  };
  StoredTask t = Sample();
  t.Name = "T";
  plants[0].write = [&] { store.Save(t); };
  for (const Plant& p : plants) {
    test::WriteBytes(victim, kept);
    ASSERT_EQ(::symlink(victim.c_str(), (dir + "/" + p.entry).c_str()), 0);
    try {
      p.write();
      ADD_FAILURE() << p.entry << " was written";
    } catch (const EServiceError& e) {
      EXPECT_NE(std::string(e.what()).find(dir + "/" + p.entry + "\" is not a file."),
                std::string::npos)
          << e.what();
    }
    EXPECT_EQ(test::ReadBytes(victim), kept) << p.entry;
    ::unlink((dir + "/" + p.entry).c_str());
  }
  // Without links, each write works.
  store.Save(t);
  store.SaveState("T", RunState());
  store.AppendLog("a line");
  EXPECT_NE(test::ReadBytes(dir + "/runner.log").find("] a line\r\n"), std::string::npos);
}

TEST(TaskStore, ALockHeldElsewhereIsWaitedForOnlySoLong) {
  std::string dir = test::MakeTempDir("store");
  TaskStore store(dir);
  UniqueFd held = store.Lock();
  store.SetLockTimeout(100);
  try {
    store.Lock();
    ADD_FAILURE() << "the lock was taken twice";
  } catch (const EServiceError& e) {
    EXPECT_NE(std::string(e.what()).find("is busy: another program has held its lock"),
              std::string::npos)
        << e.what();
  }
  held.Reset();
  EXPECT_TRUE(store.Lock().valid());
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
