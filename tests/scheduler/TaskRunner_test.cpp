#include "scheduler/TaskRunner.h"

#include <sys/stat.h>

#include <sys/wait.h>

#include <gtest/gtest.h>

#include "fs/FileUtil.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

TEST(TaskRunnerArguments, SplitWithoutExpandingAnything) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"", {}},
      {"  a   b ", {"a", "b"}},
      {"task=\"/my docs/a.sft\" logfile=x", {"task=/my docs/a.sft", "logfile=x"}},
      {"'it''s' \"say \\\"hi\\\"\"", {"its", "say \"hi\""}},
      {"$HOME `id` $(id) *", {"$HOME", "`id`", "$(id)", "*"}},
      {"\"\"", {""}},
      {"a\\b", {"a\\b"}},
  };
  for (const auto& [text, words] : cases) EXPECT_EQ(SplitArguments(text), words) << text;
  for (const char* bad : {"\"open", "'open", "a\nb"}) {
    EXPECT_THROW(SplitArguments(bad), ETaskError) << bad;
  }
}

class TaskRunnerTest : public ::testing::Test {
 protected:
  TaskRunnerTest()
      : dir_(test::MakeTempDir("runner")),
        folder_(dir_ + "/work $dir `x`"),
        crontab_var_("LORVANT_CRONTAB", (dir_ + "/crontab").c_str()),
        svc_(dir_ + "/store"),
        runner_(&svc_) {
    ::mkdir(folder_.c_str(), 0755);
    // Writes its arguments, one a line, into args.out in its folder, and
    // ends with the exit code in the file "code" beside it when there is one.
    script_ = dir_ + "/args.sh";
    test::WriteBytes(script_,
                     "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> args.out\n"
                     "[ -f code ] && exit $(cat code)\nexit 0\n");
    ::chmod(script_.c_str(), 0755);
    sys_.SetLocal(2024, 3, 4, 9, 30, 20);
  }

  StoredTask Task(const std::string& name, const std::string& arguments) {
    StoredTask t = test::DailyTask(name);
    ActionDef& a = t.Definition.Actions[0];
    a.Path = script_;
    a.Arguments = arguments;
    a.WorkingDirectory = folder_;
    return t;
  }

  std::vector<std::string> Lines() {
    return CrontabBlockLines(test::ReadBytes(dir_ + "/crontab"), StoreMark(dir_ + "/store"));
  }
  // Fakes every process; each ends with the next of codes (the last one
  // repeating) after taking `minutes` of the clock.
  void FakeProcesses(std::vector<int> codes, int64_t minutes = 0) {
    sys_.fake_processes = true;
    sys_.process_result.started = true;
    sys_.on_process = [this, codes, minutes](const ProcessSpec&) {
      size_t n = std::min(sys_.processes.size(), codes.size()) - 1;
      sys_.process_result.exit_code = codes[n];
      sys_.now += minutes * 60;
    };
  }

  std::string Output() { return test::ReadBytes(folder_ + "/args.out"); }
  std::string Log() { return test::ReadBytes(svc_.store().LogFile()); }

  std::string dir_, folder_, script_;
  test::ScopedEnvVar crontab_var_;
  test::ScopedTimeZone zone_{test::kBerlin};
  test::FakeSchedSystem sys_;
  SchedulerService svc_;
  TaskRunner runner_;
};

TEST_F(TaskRunnerTest, ADueTriggerRunsOnceAndItsRunIsRecorded) {
  sys_.SetLocal(2024, 3, 3, 12, 0);
  svc_.Register(Task("daily", "one two"));
  sys_.SetLocal(2024, 3, 4, 9, 30, 20);
  EXPECT_EQ(runner_.Fire("daily", 0), 0);
  EXPECT_EQ(Output(), "one\ntwo\n");
  RunState s = svc_.store().LoadState("daily");
  EXPECT_EQ(s.LastRunTime, sys_.now);
  EXPECT_EQ(s.LastResult, 0u);
  EXPECT_FALSE(s.Running);
  // cron's second call, an hour after, and a repeated call: nothing.
  sys_.SetLocal(2024, 3, 4, 10, 30);
  EXPECT_EQ(runner_.Fire("daily", 0), 0);
  sys_.SetLocal(2024, 3, 4, 9, 36);
  EXPECT_EQ(runner_.Fire("daily", 0), 0);
  EXPECT_EQ(Output(), "one\ntwo\n");
  TaskStatus status = svc_.StatusOf("daily", svc_.store().Load("daily").Definition);
  EXPECT_EQ(test::LocalText(status.NextRunTime), "2024-03-05 09:30:00");
}

TEST_F(TaskRunnerTest, TheTriggersOwnConditionsDecide) {
  sys_.SetLocal(2024, 3, 1, 0, 0);
  StoredTask t = Task("every other day", "x");
  t.Definition.Triggers[0].DaysInterval = 2;  // 1, 3, 5 March
  svc_.Register(t);
  sys_.SetLocal(2024, 3, 4, 9, 30, 5);
  EXPECT_EQ(runner_.Fire("every other day", 0), 0);
  EXPECT_EQ(Output(), "");
  sys_.SetLocal(2024, 3, 5, 9, 30, 5);
  EXPECT_EQ(runner_.Fire("every other day", 0), 0);
  EXPECT_EQ(Output(), "x\n");
}

TEST_F(TaskRunnerTest, MissedRunsWaitForStartWhenAvailable) {
  sys_.SetLocal(2024, 3, 1, 0, 0);
  StoredTask t = Task("catch up", "late");
  svc_.Register(t);
  sys_.SetLocal(2024, 3, 4, 11, 0);
  EXPECT_EQ(runner_.Fire("catch up", 0), 0);
  EXPECT_EQ(Output(), "");
  t.Definition.Settings.StartWhenAvailable = true;
  sys_.SetLocal(2024, 3, 1, 0, 0);
  svc_.Register(t);
  sys_.SetLocal(2024, 3, 4, 11, 0);
  EXPECT_EQ(runner_.Fire("catch up", 0), 0);
  EXPECT_EQ(runner_.Fire("catch up", 0), 0);
  EXPECT_EQ(Output(), "late\n");  // the backlog runs once
}

TEST_F(TaskRunnerTest, ArgumentsAndFoldersAreNeverInterpreted) {
  std::string args = "'$(touch pwned)' \"`touch pwned2`\" ; touch pwned3 '$HOME' \"a b\"";
  svc_.Register(Task("odd", args));
  EXPECT_EQ(runner_.RunNow("odd"), 0);
  EXPECT_EQ(Output(), "$(touch pwned)\n`touch pwned2`\n;\ntouch\npwned3\n$HOME\na b\n");
  for (const char* f : {"pwned", "pwned2", "pwned3"}) {
    EXPECT_FALSE(FileExists(folder_ + "/" + f));
    EXPECT_FALSE(FileExists(dir_ + "/" + f));
  }
}

TEST_F(TaskRunnerTest, TheExitCodeIsTheTasksResult) {
  test::WriteBytes(folder_ + "/code", "3");
  svc_.Register(Task("fails", ""));
  EXPECT_EQ(runner_.RunNow("fails"), 3);
  EXPECT_EQ(svc_.store().LoadState("fails").LastResult, 3u);
  EXPECT_NE(Log().find("Task \"fails\" ended with result 0x3."), std::string::npos);
}

TEST_F(TaskRunnerTest, FailuresOfActionsAreRecordedWithTheirReason) {
  struct Case {
    const char* what;
    ActionDef action;
    uint32_t result;
    const char* reason;
  };
  ActionDef missing;
  missing.Path = dir_ + "/no such program";
  ActionDef unclosed;
  unclosed.Path = script_;
  unclosed.Arguments = "\"open";
  ActionDef mail;
  mail.Type = kActionEmail;
  mail.To = "ops";
  mail.Subject = "Nightly";
  ActionDef injected = mail;
  injected.Subject = "x\nBcc: everyone";
  ActionDef message;
  message.Type = kActionShowMessage;
  message.Title = "Done";
  ActionDef com;
  com.Type = kActionComHandler;
  test::ScopedEnvVar no_bus("DBUS_SESSION_BUS_ADDRESS", nullptr);
  const Case cases[] = {
      {"missing program", missing, kErrorNotFound, "cannot run \""},
      {"unclosed quote", unclosed, kErrorInvalidArgument, "unclosed double quote"},
      {"no sendmail", mail, kErrorNotFound, "no local sendmail is installed"},
      {"header injection", injected, kErrorInvalidArgument, "holds a line break"},
      {"no session", message, kErrorNotFound, "no desktop session is there"},
      {"COM handler", com, kErrorInvalidArgument, "cannot run here"},
  };
  for (const Case& c : cases) {
    StoredTask t = Task("failing", "");
    t.Definition.Actions = {c.action};
    // Saving refuses most of these now; a file written before that, or by
    // hand, still fails in the runner with its reason.
    svc_.store().Save(t);
    runner_.RunNow("failing");
    EXPECT_EQ(svc_.store().LoadState("failing").LastResult, c.result) << c.what;
    EXPECT_NE(Log().find(c.reason), std::string::npos) << c.what;
  }
}

TEST_F(TaskRunnerTest, MailGoesToTheLocalSendmail) {
  std::string sendmail = dir_ + "/sendmail";
  test::WriteBytes(sendmail, "#!/bin/sh\necho \"$@\" > '" + dir_ + "/mail.args'\ncat > '" + dir_ +
                                 "/mail.txt'\n");
  ::chmod(sendmail.c_str(), 0755);
  sys_.programs["sendmail"] = sendmail;
  StoredTask t = Task("mail", "");
  ActionDef mail;
  mail.Type = kActionEmail;
  mail.To = "ops@example.org";
  mail.From = "lorvant@example.org";
  mail.Subject = "Nightly";
  mail.Body = "All pieces written.";
  t.Definition.Actions = {mail};
  svc_.Register(t);
  EXPECT_EQ(runner_.RunNow("mail"), 0);
  EXPECT_EQ(test::ReadBytes(dir_ + "/mail.args"), "-t -oi\n");
  EXPECT_EQ(test::ReadBytes(dir_ + "/mail.txt"),
            "To: ops@example.org\nFrom: lorvant@example.org\nSubject: Nightly\n\nAll pieces "
            "written.\n");
}

TEST_F(TaskRunnerTest, ARunPastItsLimitIsRecordedAsTerminated) {
  sys_.fake_processes = true;
  sys_.process_result.started = true;
  sys_.process_result.timed_out = true;
  StoredTask t = Task("slow", "");
  t.Definition.Settings.ExecutionTimeLimit = "PT1H30M";
  svc_.Register(t);
  runner_.RunNow("slow");
  ASSERT_EQ(sys_.processes.size(), 1u);
  EXPECT_EQ(sys_.processes[0].time_limit_ms, 90 * 60000);
  EXPECT_EQ(svc_.store().LoadState("slow").LastResult, kStatusTerminated);
}

// While another run holds the task's run lock, each policy decides what a
// new start does; "stop existing" stops the old run's action group (the
// fake ends the old run by freeing the lock) and then runs.
TEST_F(TaskRunnerTest, EachInstancePolicyDecidesAboutAStartWhileTheTaskRuns) {
  struct Case {
    int policy;
    int rc;
    const char* output;
    const char* log;
  } const cases[] = {
      {0, 0, "ran\n", "started"},
      {1, 1, "", "this start is given up"},
      {2, 0, "", "this start is skipped"},
      {3, 0, "ran\n", "that run is stopped for the new one"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.policy);
    test::WriteBytes(folder_ + "/args.out", "");
    StoredTask t = Task("busy", "ran");
    t.Definition.Settings.MultipleInstances = c.policy;
    svc_.Register(t);
    RunState s = svc_.store().LoadState("busy");
    s.Running = true;
    s.RunningGroup = 777;
    svc_.store().SaveState("busy", s);
    UniqueFd held;
    ASSERT_TRUE(sys_.TryLock(svc_.store().RunLockFile("busy"), &held));
    sys_.stopped_groups.clear();
    sys_.on_stop = [&] { held.Reset(); };
    EXPECT_EQ(runner_.RunNow("busy"), c.rc);
    EXPECT_EQ(Output(), c.output);
    EXPECT_NE(Log().find(c.log), std::string::npos);
    EXPECT_EQ(sys_.stopped_groups,
              c.policy == 3 ? std::vector<int64_t>{777} : std::vector<int64_t>{});
  }
}

// A queued start waits no longer than the run before can last.
TEST_F(TaskRunnerTest, AQueuedStartWaitsAtMostTheTimeLimit) {
  const std::pair<const char*, int64_t> cases[] = {
      {"PT1H", 3600000 + 60000},
      {"PT0S", int64_t{24} * 3600000},
  };
  for (const auto& [limit, wait] : cases) {
    StoredTask t = Task("queued", "");
    t.Definition.Settings.MultipleInstances = 1;
    t.Definition.Settings.ExecutionTimeLimit = limit;
    svc_.Register(t);
    UniqueFd held;
    ASSERT_TRUE(sys_.TryLock(svc_.store().RunLockFile("queued"), &held));
    sys_.lock_waits.clear();
    // While this start waits its turn, the task shows as queued.
    int state_while_waiting = kStateUnknown;
    sys_.alive.insert(sys_.CurrentPid());
    sys_.on_wait = [&] { state_while_waiting = svc_.StatusOf("queued", t.Definition).State; };
    EXPECT_EQ(runner_.RunNow("queued"), 1) << limit;
    EXPECT_EQ(sys_.lock_waits, std::vector<int64_t>{wait}) << limit;
    EXPECT_EQ(state_while_waiting, kStateQueued) << limit;
    EXPECT_EQ(svc_.StatusOf("queued", t.Definition).State, kStateReady) << limit;
    EXPECT_TRUE(svc_.store().LoadState("queued").QueuedPids.empty());
    sys_.on_wait = nullptr;
  }
}

// The run being stopped records its action's group for the newer run, and
// once asked to stop starts no further action.
TEST_F(TaskRunnerTest, AStoppedRunStartsNoFurtherActionAndIsRecordedAsTerminated) {
  sys_.fake_processes = true;
  sys_.process_result.started = true;
  sys_.process_result.exit_code = 143;
  StoredTask t = Task("two steps", "");
  t.Definition.Actions.push_back(t.Definition.Actions[0]);
  svc_.Register(t);
  int64_t group_seen = 0;
  sys_.on_process = [&](const ProcessSpec&) {
    RunState s = svc_.store().LoadState("two steps");
    group_seen = s.RunningGroup;
    s.StopRequested = true;  // what a newer run does
    svc_.store().SaveState("two steps", s);
  };
  runner_.RunNow("two steps");
  EXPECT_EQ(group_seen, 9001);
  EXPECT_EQ(sys_.processes.size(), 1u);
  RunState s = svc_.store().LoadState("two steps");
  EXPECT_EQ(s.LastResult, kStatusTerminated);
  EXPECT_FALSE(s.Running);
  EXPECT_EQ(s.RunningGroup, 0);
}

// The time limit holds for the run as a whole: a later action gets what
// is left, and none starts once it is spent.
TEST_F(TaskRunnerTest, TheTimeLimitCoversTheWholeRun) {
  struct Case {
    int64_t minutes_per_action;
    size_t actions_run;
    int64_t second_limit_ms;
    uint32_t result;
  } const cases[] = {
      {7, 2, 3 * 60000, 0},
      {11, 1, 0, kStatusTerminated},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.minutes_per_action);
    sys_.processes.clear();
    FakeProcesses({0}, c.minutes_per_action);
    StoredTask t = Task("limited", "");
    t.Definition.Actions.push_back(t.Definition.Actions[0]);
    t.Definition.Settings.ExecutionTimeLimit = "PT10M";
    svc_.Register(t);
    runner_.RunNow("limited");
    ASSERT_EQ(sys_.processes.size(), c.actions_run);
    EXPECT_EQ(sys_.processes[0].time_limit_ms, 10 * 60000);
    if (c.actions_run == 2) {
      EXPECT_EQ(sys_.processes[1].time_limit_ms, c.second_limit_ms);
    }
    EXPECT_EQ(svc_.store().LoadState("limited").LastResult, c.result);
  }
}

// A failed run starts again after the restart interval, at most the
// restart count times, and stops restarting once a run succeeds.
TEST_F(TaskRunnerTest, AFailedRunIsRestartedAsItsSettingsSay) {
  struct Case {
    const char* interval;
    int count;
    std::vector<int> codes;
    size_t runs;
    int64_t waited;
    uint32_t result;
  } const cases[] = {
      {"PT5M", 2, {1}, 3, 600, 1},
      {"PT1M", 3, {2, 0}, 2, 60, 0},
      {"", 3, {1}, 1, 0, 1},
      {"PT1M", 0, {1}, 1, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.interval) + " x" + std::to_string(c.count));
    sys_.processes.clear();
    sys_.slept.clear();
    FakeProcesses(c.codes);
    StoredTask t = Task("flaky", "");
    t.Definition.Settings.RestartInterval = c.interval;
    t.Definition.Settings.RestartCount = c.count;
    svc_.Register(t);
    runner_.RunNow("flaky");
    EXPECT_EQ(sys_.processes.size(), c.runs);
    int64_t waited = 0;
    for (int64_t s : sys_.slept) waited += s;
    EXPECT_EQ(waited, c.waited);
    EXPECT_EQ(svc_.store().LoadState("flaky").LastResult, c.result);
  }
}

TEST_F(TaskRunnerTest, ATaskIsDeletedWhenItsLastTriggerHasExpired) {
  sys_.SetLocal(2024, 3, 4, 12, 0);
  StoredTask t = Task("short lived", "");
  t.Definition.Triggers[0].EndBoundary = "2024-03-08T00:00:00";
  TriggerDef later = t.Definition.Triggers[0];
  later.EndBoundary = "2024-03-10T00:00:00";
  t.Definition.Triggers.push_back(later);
  t.Definition.Settings.DeleteExpiredTaskAfter = "P1D";
  EXPECT_EQ(ExpiryOf(t.Definition), test::Local(2024, 3, 11, 0, 0));
  svc_.Register(t);
  std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind("0 0 11 3 * ", 0), 0u) << lines[0];  // the call to delete it
  sys_.SetLocal(2024, 3, 11, 0, 0);
  EXPECT_EQ(runner_.Fire("short lived", 1), 0);
  EXPECT_FALSE(svc_.store().Exists("short lived"));
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(Output(), "");

  // Without the setting, or with a trigger that never ends, it stays.
  StoredTask kept = t;
  kept.Definition.Settings.DeleteExpiredTaskAfter = "";
  StoredTask open_ended = t;
  open_ended.Definition.Triggers[1].EndBoundary = "";
  for (const StoredTask& task : {kept, open_ended}) {
    EXPECT_EQ(ExpiryOf(task.Definition), 0);
  }
}

TEST_F(TaskRunnerTest, AScheduledStartWaitsForANetworkWhenItAsksForOne) {
  sys_.SetLocal(2024, 3, 3, 12, 0);
  StoredTask t = Task("online", "ran");
  t.Definition.Settings.RunOnlyIfNetworkAvailable = true;
  t.Definition.Settings.StartWhenAvailable = true;
  svc_.Register(t);
  sys_.network = false;
  sys_.SetLocal(2024, 3, 4, 9, 30, 20);
  EXPECT_EQ(runner_.Fire("online", 0), 0);
  EXPECT_EQ(Output(), "");
  EXPECT_NE(Log().find("runs only with a network"), std::string::npos);
  sys_.network = true;
  sys_.SetLocal(2024, 3, 4, 10, 30, 20);
  EXPECT_EQ(runner_.Fire("online", 0), 0);  // the missed start, now it can
  EXPECT_EQ(Output(), "ran\n");
}

TEST_F(TaskRunnerTest, ADisabledTaskIsNotStartedOnDemand) {
  StoredTask t = Task("off", "ran");
  t.Definition.Settings.Enabled = false;
  svc_.Register(t);
  EXPECT_EQ(runner_.RunNow("off"), 1);
  EXPECT_EQ(Output(), "");
  EXPECT_NE(Log().find("Task \"off\" is disabled; it was not started."), std::string::npos);
  try {
    svc_.RunNow("off");
    ADD_FAILURE();
  } catch (const EServiceError& e) {
    EXPECT_NE(std::string(e.what()).find("The task \"off\" is disabled; enable it to start it."),
              std::string::npos);
  }
  EXPECT_TRUE(sys_.detached.empty());
}

// A once trigger keeps its line until the runner finds nothing left for
// it, run or missed.
TEST_F(TaskRunnerTest, APastOnceTriggerDropsItsLine) {
  for (bool missed : {false, true}) {
    SCOPED_TRACE(missed);
    sys_.SetLocal(2024, 3, 3, 12, 0);
    StoredTask t = Task("once", "ran");
    t.Definition.Triggers[0].Type = kTriggerTime;
    t.Definition.Triggers[0].StartBoundary = "2024-03-04T09:30:00";
    svc_.Register(t);
    ASSERT_EQ(Lines().size(), 1u);
    sys_.SetLocal(2024, 3, 4, missed ? 10 : 9, 30, 20);
    EXPECT_EQ(runner_.Fire("once", 0), 0);
    EXPECT_TRUE(Lines().empty());
    EXPECT_TRUE(svc_.store().Exists("once"));
  }
  EXPECT_EQ(Output(), "ran\n");
}

// Only an ELF file or a "#!" script is started as it is; any other
// executable file is a script for /bin/sh, so no start depends on the
// fallback of execvp.
TEST_F(TaskRunnerTest, ALauncherWithoutInterpreterLineRunsThroughSh) {
  struct Case {
    const char* file;
    const char* head;
    unsigned mode;
    bool through_sh;
  } const cases[] = {
      {"prog",
       "\x7F"
       "ELF\x02\x01",
       0755, false},
      {"hashbang.sh", "#!/bin/sh\necho hi\n", 0755, false},
      {"plain.sh", "echo hi\n", 0755, true},
      {"empty.sh", "", 0755, true},
      {"not executable.sh", "echo hi\n", 0644, false},
  };
  for (const Case& c : cases) {
    std::string path = folder_ + "/" + c.file;
    test::WriteBytes(path, c.head);
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
    std::vector<std::string> expected{path, "a b", "c"};
    if (c.through_sh) expected.insert(expected.begin(), "/bin/sh");
    EXPECT_EQ(LaunchCommand(path, {"a b", "c"}, ""), expected) << c.file;
  }
  // A relative path is found from the working folder; a missing program
  // stays as it is, so its start reports why.
  EXPECT_EQ(LaunchCommand("./plain.sh", {}, folder_),
            (std::vector<std::string>{"/bin/sh", folder_ + "/./plain.sh"}));
  EXPECT_EQ(LaunchCommand("no-such-program", {"x"}, folder_),
            (std::vector<std::string>{"no-such-program", "x"}));

  // And for real: a launcher without "#!" gets its arguments unexpanded.
  test::WriteBytes(script_, "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> args.out\n");
  svc_.Register(Task("launcher", "'a b' '$HOME'"));
  EXPECT_EQ(runner_.RunNow("launcher"), 0);
  EXPECT_EQ(Output(), "a b\n$HOME\n");
}

TEST_F(TaskRunnerTest, LogonRunsTheCurrentUsersLogonTasks) {
  StoredTask mine = Task("mine", "mine");
  mine.Definition.Triggers[0].Type = kTriggerLogon;
  StoredTask other = Task("other", "other");
  other.Definition.Triggers[0].Type = kTriggerLogon;
  other.Definition.Triggers[0].UserId = "alice";
  StoredTask daily = Task("daily", "daily");
  for (const StoredTask& t : {mine, other, daily}) svc_.Register(t);
  EXPECT_EQ(runner_.Event("logon"), 0);
  EXPECT_EQ(Output(), "mine\n");
  EXPECT_EQ(runner_.Event("nonsense"), 1);
}

TEST_F(TaskRunnerTest, TheRunnerRefusesACrontabLineThatIsNotATasks) {
  for (const char* index : {"99999999999999999999", "x", "-1"}) {
    std::string command = std::string("'") + LORVANT_RUNNER_EXE + "' fire '" + dir_ + "/store' T " +
                          index + " 2>'" + dir_ + "/err'";
    int status = std::system(command.c_str());
    EXPECT_EQ(WEXITSTATUS(status), 2) << index;
    EXPECT_NE(test::ReadBytes(dir_ + "/err").find("are not a task's"), std::string::npos) << index;
  }
  // Names and folders in hexadecimal reach the runner whole.
  std::string command = std::string("'") + LORVANT_RUNNER_EXE + "' fire-hex '" +
                        ToCronHex(dir_ + "/store") + "' '" + ToCronHex("no\\such%task") +
                        "' 0 2>'" + dir_ + "/err'";
  std::system(command.c_str());
  EXPECT_NE(test::ReadBytes(dir_ + "/store/runner.log").find("no\\such%task"), std::string::npos)
      << test::ReadBytes(dir_ + "/err");
}

TEST_F(TaskRunnerTest, ADamagedTaskRunsNothingAndSaysWhy) {
  svc_.Register(Task("t", "x"));
  test::WriteBytes(svc_.store().TaskFile("t"), "not a task\n");
  EXPECT_EQ(runner_.Fire("t", 0), 1);
  EXPECT_EQ(runner_.Fire("t", 7), 1);
  EXPECT_EQ(Output(), "");
  EXPECT_NE(Log().find("is damaged at line 1"), std::string::npos);
}

}  // namespace
}  // namespace lorvant
