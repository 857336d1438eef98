#include "scheduler/SchedulerService.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

#include <gtest/gtest.h>

#include "fs/FileUtil.h"
#include "scheduler/CrontabBlock.h"
#include "scheduler/SchedTestSupport.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskService.h"
#include "scheduler/WorkItemScheduler.h"

namespace lorvant {
namespace {

class SchedServiceTest : public ::testing::Test {
 protected:
  SchedServiceTest()
      : dir_(test::MakeTempDir("svc")),
        crontab_file_(dir_ + "/crontab"),
        crontab_var_("LORVANT_CRONTAB", crontab_file_.c_str()),
        store_(dir_ + "/store") {
    sys_.SetLocal(2024, 3, 4, 12, 0);
  }

  static StoredTask DailyTask(const std::string& name) { return test::DailyTask(name); }

  std::vector<std::string> Lines() {
    return CrontabBlockLines(test::ReadBytes(crontab_file_), StoreMark(store_));
  }

  std::string dir_, crontab_file_;
  test::ScopedEnvVar crontab_var_;
  std::string store_;
  test::ScopedTimeZone zone_{test::kBerlin};
  test::FakeSchedSystem sys_;
};

TEST_F(SchedServiceTest, RegisteringWritesOneLinePerTriggerAndDeletingRemovesThem) {
  test::WriteBytes(crontab_file_, "MAILTO=me\n0 1 * * * backup\n");
  SchedulerService svc(store_);
  StoredTask t = DailyTask("it's 10 $HOME");
  TriggerDef boot;
  boot.Type = kTriggerBoot;
  t.Definition.Triggers.push_back(boot);
  svc.Register(t);
  std::string q = CronQuote(store_);
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         "30 9,10 * * * '/opt/lorvant/lorvant-runner' 'fire' " + q +
                             " 'it'\\''s 10 $HOME' '0' # lorvant-" + StoreMark(store_),
                         "@reboot '/opt/lorvant/lorvant-runner' 'fire' " + q +
                             " 'it'\\''s 10 $HOME' '1' # lorvant-" + StoreMark(store_)}));
  TaskStatus s = svc.StatusOf(t.Name, t.Definition);
  EXPECT_EQ(s.State, kStateReady);
  EXPECT_EQ(s.LastTaskResult, kStatusHasNotRun);
  EXPECT_EQ(test::LocalText(s.NextRunTime), "2024-03-05 09:30:00");

  svc.Delete(t.Name);
  EXPECT_EQ(test::ReadBytes(crontab_file_), "MAILTO=me\n0 1 * * * backup\n");
  EXPECT_THROW(svc.Delete(t.Name), EServiceError);
}

// A task file that cannot be removed is an error, never a task reported
// deleted that comes back: it keeps its file and its line.
TEST_F(SchedServiceTest, ATaskWhoseFileCannotBeRemovedIsNotReportedDeleted) {
  struct BusyTaskFiles : EnvWrapper {
    BusyTaskFiles() : EnvWrapper(Env::Default()) {}
    int RemoveAt(int d, const std::string& n, bool folder) override {
      return n.ends_with(".task") ? EBUSY : EnvWrapper::RemoveAt(d, n, folder);
    }
  } busy;
  SchedulerService svc(store_);
  svc.Register(DailyTask("kept"));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 1u);
  {
    ScopedEnv scoped(&busy);
    try {
      svc.Delete("kept");
      ADD_FAILURE() << "reported deleted";
    } catch (const EServiceError& e) {
      const std::string reason = "Cannot delete the stored task file \"" + store_ +
                                 "/kept.task\": " + SystemErrorText(EBUSY);
      EXPECT_EQ(e.Message().rfind(reason, 0), 0u) << e.Message();
    }
  }
  EXPECT_TRUE(test::PathExists(store_ + "/kept.task"));
  EXPECT_EQ(Lines(), lines);
}

TEST_F(SchedServiceTest, CronFieldsFollowTheRepetition) {
  TriggerDef t;
  t.StartBoundary = "2024-03-01T23:05:00";
  EXPECT_EQ(CronScheduleOf(t), "5 23,0 * * *");
  t.Repetition.Interval = "PT2H";
  EXPECT_EQ(CronScheduleOf(t), "5 * * * *");
  t.Repetition.Interval = "PT10M";
  EXPECT_EQ(CronScheduleOf(t), "* * * * *");
}

// Stored earlier, or by hand: what can no longer run gets no line.
TEST_F(SchedServiceTest, OnlyTasksThatCanStillRunGetLines) {
  SchedulerService svc(store_);
  StoredTask past = DailyTask("past");
  past.Definition.Triggers[0].Type = kTriggerTime;  // once, on 1 March
  svc.store().Save(past);
  StoredTask off = DailyTask("off");
  off.Definition.Settings.Enabled = false;
  svc.Register(off);
  StoredTask idle = DailyTask("idle");
  idle.Definition.Triggers[0].Type = kTriggerIdle;
  svc.store().Save(idle);
  svc.SyncSchedule();
  EXPECT_TRUE(Lines().empty());
  EXPECT_EQ(svc.StatusOf("off", off.Definition).State, kStateDisabled);
}

TEST_F(SchedServiceTest, AnOverLongNumberDamagesOneTaskAndTheOthersKeepTheirLines) {
  SchedulerService svc(store_);
  svc.Register(DailyTask("good"));
  svc.Register(DailyTask("bad"));
  std::string file = svc.store().TaskFile("bad");
  std::string text = test::ReadBytes(file);
  size_t pos = text.find("RestartCount=0");
  ASSERT_NE(pos, std::string::npos);
  text.replace(pos, 14, "RestartCount=9999999999999999999");
  test::WriteBytes(file, text);
  test::WriteBytes(svc.store().StateFile("good"),
                   "# Lorvant task state 1\nLastRunTime=9999999999999999999\n");
  try {
    svc.store().Load("bad");
    ADD_FAILURE() << "the damaged task was read";
  } catch (const EServiceError& e) {
    EXPECT_NE(std::string(e.what()).find("\"" + file + "\" is damaged at line"), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("\"RestartCount\" is out of range"), std::string::npos);
  }
  svc.SyncSchedule();
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_NE(Lines()[0].find("'good'"), std::string::npos);
  EXPECT_EQ(svc.StatusOf("good", DailyTask("good").Definition).LastRunTime, 0);
  svc.Register(DailyTask("third"));
  EXPECT_EQ(Lines().size(), 2u);
  svc.Delete("third");
  EXPECT_EQ(Lines().size(), 1u);
}

// A crontab command that warns on standard error: the warning is no
// crontab line, and it is the reason when the command fails.
TEST_F(SchedServiceTest, TheCrontabCommandsStandardErrorIsNeverCrontabText) {
  std::string program = dir_ + "/crontab.sh";
  std::string table = dir_ + "/table";
  test::WriteBytes(table, "0 1 * * * backup\n");
  test::WriteBytes(program,
                   "#!/bin/sh\necho 'warning: no locale' >&2\n"
                   "if [ \"$1\" = -l ]; then cat '" +
                       table +
                       "'; exit 0; fi\n"
                       "if [ -f '" +
                       dir_ +
                       "/refuse' ]; then echo 'bad line 3' >&2; exit 1; fi\n"
                       "cat > '" +
                       table + "'\n");
  ::chmod(program.c_str(), 0755);
  test::ScopedEnvVar command("LORVANT_CRONTAB", program.c_str());
  SchedulerService svc(store_);
  svc.Register(DailyTask("nightly"));
  std::string text = test::ReadBytes(table);
  EXPECT_EQ(text.find("warning"), std::string::npos) << text;
  EXPECT_EQ(text.substr(0, 17), "0 1 * * * backup\n");
  EXPECT_EQ(CrontabBlockLines(text, StoreMark(store_)).size(), 1u);
  test::WriteBytes(dir_ + "/refuse", "");
  try {
    svc.Delete("nightly");
    ADD_FAILURE() << "a refused crontab was reported as written";
  } catch (const ESchedulerError& e) {
    EXPECT_NE(std::string(e.what()).find("refused the new crontab: warning: no locale\nbad line 3"),
              std::string::npos)
        << e.what();
  }
}

TEST_F(SchedServiceTest, LogonTriggersGoThroughOneAutostartEntry) {
  SchedulerService svc(store_);
  StoredTask t = DailyTask("at logon");
  t.Definition.Triggers[0].Type = kTriggerLogon;
  svc.Register(t);
  std::string entry = test::ReadBytes(svc.AutostartFile());
  EXPECT_NE(entry.find("Exec=\"/opt/lorvant/lorvant-runner\" event logon \"" + store_ + "\"\n"),
            std::string::npos);
  EXPECT_TRUE(Lines().empty());
  svc.Delete("at logon");
  EXPECT_FALSE(FileExists(svc.AutostartFile()));
}

TEST_F(SchedServiceTest, ADamagedTaskFileLeavesTheOthersScheduled) {
  SchedulerService svc(store_);
  svc.Register(DailyTask("good"));
  svc.Register(DailyTask("bad"));
  test::WriteBytes(svc.store().TaskFile("bad"), "# Lorvant scheduled task 1\n[Task\n");
  svc.SyncSchedule();
  ASSERT_EQ(Lines().size(), 1u);
  EXPECT_NE(Lines()[0].find("'good'"), std::string::npos);
  TaskService service(store_);
  service.Connect("", "", "", "");
  EXPECT_EQ(service.GetFolder("")->GetTasks(0).size(), 1u);
  EXPECT_THROW(service.GetFolder("")->GetTask("bad"), EServiceError);
}

TEST_F(SchedServiceTest, AnotherAccountIsRefusedWithAReason) {
  SchedulerService svc(store_);
  StoredTask t = DailyTask("as bob");
  t.Definition.Principal.UserId = "bob";
  try {
    svc.Register(t);
    ADD_FAILURE();
  } catch (const EServiceError& e) {
    EXPECT_NE(std::string(e.what()).find("only root can schedule a task for another account"),
              std::string::npos);
  }
  EXPECT_FALSE(svc.store().Exists("as bob"));
  for (const char* same : {"", "System", "tester", "HOST\\tester"}) {
    t.Definition.Principal.UserId = same;
    EXPECT_NO_THROW(svc.Register(t)) << same;
  }
}

// Root keeps another account's task in that account's store and crontab
// (the crontab command gets "-u"), gives it every file it makes there,
// and starts it on demand as that account.
TEST_F(SchedServiceTest, RootKeepsAnotherAccountsTaskInThatAccountsStoreAndCrontab) {
  std::string fake = dir_ + "/crontab-cmd";
  test::WriteBytes(fake, "#!/bin/sh\necho \"$*\" >> '" + dir_ +
                             "/crontab.calls'\nu=me; if [ \"$1\" = -u ]; then u=$2; shift 2; fi\n"
                             "f='" +
                             dir_ +
                             "/tab.'$u\ncase \"$1\" in\n"
                             "-l) cat \"$f\" 2>/dev/null || { echo \"no crontab for $u\" >&2; exit "
                             "1; } ;;\n-r) rm -f \"$f\" ;;\n*) cat > \"$f\" ;;\nesac\n");
  ASSERT_EQ(::chmod(fake.c_str(), 0755), 0);
  test::ScopedEnvVar var("LORVANT_CRONTAB", fake.c_str());
  sys_.root = true;
  sys_.user = "root";
  UserAccount alice{"alice", 1001, 1002, dir_ + "/home/alice"};
  sys_.users["alice"] = alice;
  ASSERT_EQ(::mkdir((dir_ + "/home").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(alice.home.c_str(), 0755), 0);
  if (::geteuid() == 0) {
    // Run as root, the store works in her home with her rights: the home
    // is hers, as a real one would be.
    ASSERT_EQ(::chmod(test::TestRoot().c_str(), 0755), 0);
    ASSERT_EQ(::chown(alice.home.c_str(), 1001, 1002), 0);
  }

  SchedulerService svc(store_);
  StoredTask t = DailyTask("hers");
  svc.Register(t);  // first as root's own, then moved to alice
  t.Definition.Principal.UserId = "HOST\\alice";
  TriggerDef logon;
  logon.Type = kTriggerLogon;
  t.Definition.Triggers.push_back(logon);
  svc.Register(t);

  std::string her_store = alice.home + "/.local/share/Lorvant/scheduler";
  EXPECT_EQ(SchedulerService::StoreFolderOf(alice), her_store);
  EXPECT_FALSE(svc.store().Exists("hers"));
  SchedulerService hers(her_store, alice);
  ASSERT_TRUE(hers.store().Exists("hers"));
  EXPECT_TRUE(CrontabBlockLines(test::ReadBytes(dir_ + "/tab.me"), StoreMark(store_)).empty());
  std::vector<std::string> lines =
      CrontabBlockLines(test::ReadBytes(dir_ + "/tab.alice"), StoreMark(her_store));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(CronQuote(her_store)), std::string::npos);
  EXPECT_NE(test::ReadBytes(dir_ + "/crontab.calls").find("-u alice -"), std::string::npos);
  std::string entry =
      alice.home + "/.config/autostart/lorvant-scheduler-" + StoreMark(her_store) + ".desktop";
  EXPECT_EQ(hers.AutostartFile(), entry);
  EXPECT_TRUE(test::PathExists(entry));

  std::set<std::string> given;
  for (const auto& [path, uid] : sys_.owners) {
    EXPECT_EQ(uid, 1001) << path;
    given.insert(path);
  }
  for (const std::string& path :
       {alice.home + "/.local", alice.home + "/.local/share", her_store, her_store + "/.lock",
        hers.store().TaskFile("hers"), hers.store().StateFile("hers"), alice.home + "/.config",
        alice.home + "/.config/autostart", entry}) {
    EXPECT_EQ(given.count(path), 1u) << path;
  }

  hers.RunNow("hers");
  ASSERT_EQ(sys_.detached_as.size(), 1u);
  EXPECT_EQ(sys_.detached_as[0].uid, 1001);
  EXPECT_EQ(sys_.detached[0][2], her_store);

  t.Definition.Principal.UserId = "nobody-here";
  try {
    svc.Register(t);
    ADD_FAILURE();
  } catch (const EServiceError& e) {
    EXPECT_NE(std::string(e.what()).find("there is no such account"), std::string::npos);
  }
}

// Root keeping another account's tasks works in that account's home; a
// link the account planted there must not lead root's writes to a folder
// the account itself could not write.
TEST_F(SchedServiceTest, RootWorksInAnotherAccountsHomeOnlyWithThatAccountsRights) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, as keeping another account's tasks does";
  sys_.root = true;
  sys_.user = "root";
  const UserAccount nobody{"nobody", 65534, 65534, dir_ + "/home"};
  sys_.users["nobody"] = nobody;
  ASSERT_EQ(::chmod(test::TestRoot().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(nobody.home.c_str(), 0755), 0);
  ASSERT_EQ(::chown(nobody.home.c_str(), 65534, 65534), 0);
  const std::string secret = test::MakeTempDir("root only");
  ASSERT_EQ(::chmod(secret.c_str(), 0700), 0);
  auto secret_is_empty = [&] {
    std::vector<DirEntry> entries;
    UniqueFd fd;
    EXPECT_EQ(Env::Default()->OpenFolder(kCurrentFolder, secret, false, &fd), 0);
    EXPECT_EQ(Env::Default()->ListFolder(fd.get(), &entries), 0);
    return entries.empty();
  };

  // The autostart folder's parent leads to root's folder.
  ASSERT_EQ(::symlink(secret.c_str(), (nobody.home + "/.config").c_str()), 0);
  SchedulerService svc(SchedulerService::StoreFolderOf(nobody), nobody);
  StoredTask t = DailyTask("at logon");
  TriggerDef logon;
  logon.Type = kTriggerLogon;
  t.Definition.Triggers = {logon};
  EXPECT_THROW(svc.Register(t), Exception);
  EXPECT_TRUE(secret_is_empty());
  // What root made in the home is the account's.
  struct stat st;
  ASSERT_EQ(::stat(svc.store().TaskFile("at logon").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);

  // The store's folder leads there.
  ASSERT_EQ(::unlink((nobody.home + "/.config").c_str()), 0);
  const std::string other_home = dir_ + "/home2";
  ASSERT_EQ(::mkdir(other_home.c_str(), 0755), 0);
  ASSERT_EQ(::chown(other_home.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::symlink(secret.c_str(), (other_home + "/.local").c_str()), 0);
  const UserAccount linked{"nobody", 65534, 65534, other_home};
  TaskStore store(SchedulerService::StoreFolderOf(linked));
  store.SetOwner(linked);
  EXPECT_THROW(store.Save(DailyTask("through a link")), EServiceError);
  EXPECT_TRUE(secret_is_empty());
}

TEST_F(SchedServiceTest, OnlyTheLocalComputerIsServed) {
  TaskService service(store_);
  EXPECT_THROW(service.GetFolder(""), ESchedulerError);
  EXPECT_THROW(service.Connect("fileserver", "", "", ""), EServiceError);
  EXPECT_FALSE(service.Connected());
  for (const char* local : {"", "localhost", "testhost", "\\\\testhost", "."}) {
    EXPECT_NO_THROW(service.Connect(local, "", "", "")) << local;
  }
  EXPECT_EQ(service.TargetServer(), "testhost");
  EXPECT_THROW(service.GetFolder("\\Other"), EServiceError);
  WorkItemScheduler first(store_);
  EXPECT_THROW(first.SetTargetComputer("\\\\fileserver"), EServiceError);
  EXPECT_EQ(first.GetTargetComputer(), "\\\\testhost");
}

TEST_F(SchedServiceTest, TheServiceRunsWhenCronRunsOrCanBeStarted) {
  SchedulerService svc(store_);
  sys_.cron_running = false;
  EXPECT_FALSE(svc.EnsureRunning());
  sys_.can_start_cron = true;
  EXPECT_TRUE(svc.EnsureRunning());
}

TEST_F(SchedServiceTest, ACrontabCommandThatFailsIsReported) {
  std::string fake = dir_ + "/crontab-cmd";
  test::WriteBytes(fake, "#!/bin/sh\necho 'crontab: your crontab is locked' >&2\nexit 1\n");
  ASSERT_EQ(::chmod(fake.c_str(), 0755), 0);
  test::ScopedEnvVar var("LORVANT_CRONTAB", fake.c_str());
  SchedulerService svc(store_);
  try {
    svc.Register(DailyTask("t"));
    ADD_FAILURE();
  } catch (const ESchedulerError& e) {
    EXPECT_NE(std::string(e.what()).find("your crontab is locked"), std::string::npos) << e.what();
  }
}

TEST_F(SchedServiceTest, ACrontabProgramGetsTheWholeTextOnItsInput) {
  std::string fake = dir_ + "/crontab-cmd";
  std::string saved = dir_ + "/saved";
  test::WriteBytes(fake, "#!/bin/sh\nif [ \"$1\" = -l ]; then cat '" + saved +
                             "' 2>/dev/null || { echo 'no crontab for tester' >&2; exit 1; }; "
                             "elif [ \"$1\" = -r ]; then rm '" +
                             saved + "'; " + "else cat > '" + saved + "'; fi\n");
  ASSERT_EQ(::chmod(fake.c_str(), 0755), 0);
  test::ScopedEnvVar var("LORVANT_CRONTAB", fake.c_str());
  SchedulerService svc(store_);
  svc.Register(DailyTask("t"));
  EXPECT_EQ(CrontabBlockLines(test::ReadBytes(saved), StoreMark(store_)).size(), 1u);
  svc.Delete("t");
  EXPECT_FALSE(test::PathExists(saved));  // no crontab before, none after
}

}  // namespace
}  // namespace lorvant
