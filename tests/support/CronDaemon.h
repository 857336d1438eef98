// Test support for runs under the real cron daemon: starts one when none
// runs (root only) and stops only what it started.
#pragma once

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scheduler/CronDaemon.h"
#include "scheduler/SchedSystem.h"
#include "support/TestEnv.h"

namespace lorvant::test {

class CronDaemon {
 public:
  CronDaemon() {
    if (!CronDaemonPids().empty()) {
      running_ = true;
      return;
    }
    running_ = SchedSystem::Default()->StartCron();
    if (running_) started_ = CronDaemonPids();
  }
  // Waits for what it stopped to be gone, so that a test right after this
  // one never takes a dying daemon for a running one.
  ~CronDaemon() {
    for (pid_t pid : started_) ::kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      const std::vector<pid_t> running = CronDaemonPids();
      bool gone = true;
      for (pid_t pid : started_) {
        gone = gone && std::find(running.begin(), running.end(), pid) == running.end();
      }
      if (gone) break;
      ::usleep(50000);
    }
  }
  CronDaemon(const CronDaemon&) = delete;
  CronDaemon& operator=(const CronDaemon&) = delete;
  bool running() const { return running_; }

 private:
  bool running_ = false;
  std::vector<pid_t> started_;
};

}  // namespace lorvant::test
