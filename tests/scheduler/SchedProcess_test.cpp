// The real system's process groups: a stopped group ends whole, children
// included, and one that ignores SIGTERM ends by SIGKILL after the grace.
#include <dirent.h>
#include <signal.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
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

}  // namespace
}  // namespace lorvant
