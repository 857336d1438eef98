// Test support for runs under the real cron daemon: starts one when none
// runs (root only) and stops only what it started.
#pragma once

#include <dirent.h>
#include <signal.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "scheduler/SchedSystem.h"
#include "support/TestEnv.h"

namespace lorvant::test {

inline std::vector<pid_t> CronPids() {
  std::vector<pid_t> pids;
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return pids;
  while (struct dirent* e = ::readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string comm = ReadBytes(std::string("/proc/") + e->d_name + "/comm");
    if (comm == "cron\n" || comm == "crond\n") pids.push_back(std::atoi(e->d_name));
  }
  ::closedir(dir);
  return pids;
}

class CronDaemon {
 public:
  CronDaemon() {
    if (!CronPids().empty()) {
      running_ = true;
      return;
    }
    running_ = SchedSystem::Default()->StartCron();
    if (running_) started_ = CronPids();
  }
  ~CronDaemon() {
    for (pid_t pid : started_) ::kill(pid, SIGTERM);
  }
  CronDaemon(const CronDaemon&) = delete;
  CronDaemon& operator=(const CronDaemon&) = delete;
  bool running() const { return running_; }

 private:
  bool running_ = false;
  std::vector<pid_t> started_;
};

}  // namespace lorvant::test
