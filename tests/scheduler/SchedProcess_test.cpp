// The real system's process groups: a stopped group ends whole, children
// included, and one that ignores SIGTERM ends by SIGKILL after the grace.
#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "scheduler/CronDaemon.h"
#include "scheduler/SchedSystem.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

// Members of a process group that still run; zombies waiting for a
// reaper count as ended.
int LiveMembers(int64_t group) {
  int live = 0;
  DIR* proc = ::opendir("/proc");
  while (struct dirent* e = proc != nullptr ? ::readdir(proc) : nullptr) {
    std::string stat;
    try {
      stat = ReadWholeFile(std::string("/proc/") + e->d_name + "/stat");
    } catch (const Exception&) {
      continue;
    }
    // "pid (comm) state ppid pgrp ...": the command may hold blanks.
    size_t close = stat.rfind(')');
    if (close == std::string::npos) continue;
    char state = 0;
    long long ppid = 0, pgrp = 0;
    if (std::sscanf(stat.c_str() + close + 1, " %c %lld %lld", &state, &ppid, &pgrp) == 3 &&
        pgrp == group && state != 'Z') {
      ++live;
    }
  }
  if (proc != nullptr) ::closedir(proc);
  return live;
}

void Nap() {
  struct timespec ts = {0, 20 * 1000000L};
  ::nanosleep(&ts, nullptr);
}

TEST(SchedProcess, StoppingAGroupEndsTheActionAndItsChildren) {
  struct Case {
    const char* what;
    const char* script;
    int exit_code;
  } const cases[] = {
      {"ends on TERM", "sleep 1000 & echo > ready; wait", 128 + SIGTERM},
      {"ignores TERM", "trap '' TERM; sleep 1000 & echo > ready; wait", 128 + SIGKILL},
  };
  std::string dir = test::MakeTempDir("groups");
  SchedSystem* sys = SchedSystem::Default();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string ready = dir + "/ready";
    ::unlink(ready.c_str());
    std::atomic<int64_t> group{0};
    ProcessSpec spec;
    spec.argv = {"/bin/sh", "-c", c.script};
    spec.working_folder = dir;
    spec.on_start = [&](int64_t g) { group = g; };
    ProcessResult result;
    std::thread run([&] { result = sys->RunProcess(spec); });
    while (group == 0 || !test::PathExists(ready)) Nap();
    sys->StopGroup(group, 300, true);
    run.join();
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(LiveMembers(group), 0);
  }
}

// A cron daemon that has ended but was not reaped yet still shows its name
// in /proc; taking it for a running daemon would leave every task unrun.
TEST(SchedProcess, AnEndedUnreapedCronIsNotARunningOne) {
  int to_child[2];
  ASSERT_EQ(::pipe(to_child), 0);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::prctl(PR_SET_NAME, "cron");
    char c;
    ssize_t got = ::read(to_child[0], &c, 1);
    ::_exit(got == 1 ? 0 : 1);
  }
  ::close(to_child[0]);
  auto listed = [pid] {
    const std::vector<pid_t> pids = CronDaemonPids();
    return std::find(pids.begin(), pids.end(), pid) != pids.end();
  };
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = listed();
    if (!seen) ::usleep(10000);
  }
  EXPECT_TRUE(seen) << "a live process named cron is a running daemon";
  ASSERT_EQ(::write(to_child[1], "x", 1), 1);
  ::close(to_child[1]);
  // Ended, not yet reaped: a zombie.
  siginfo_t info{};
  ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
  EXPECT_FALSE(listed());
  ::waitpid(pid, nullptr, 0);
}

}  // namespace
}  // namespace lorvant
