#include "scheduler/CronDaemon.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "scheduler/ChildProcess.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::vector<pid_t> CronDaemonPids() {
  std::vector<pid_t> pids;
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return pids;
  while (struct dirent* e = ::readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    std::string stat;
    try {
      stat = ReadWholeFile(std::string("/proc/") + e->d_name + "/stat");
    } catch (const Exception&) {
      continue;
    }
    // "pid (comm) state ...": a daemon that has ended but was not yet
    // reaped still shows its name, and runs nothing.
    const size_t open = stat.find('(');
    const size_t close = stat.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) {
      continue;
    }
    const std::string comm = stat.substr(open + 1, close - open - 1);
    const char state = stat[close + 2];
    if ((comm == "cron" || comm == "crond") && state != 'Z' && state != 'X') {
      pids.push_back(static_cast<pid_t>(std::atoi(e->d_name)));
    }
  }
  ::closedir(dir);
  return pids;
}

bool CronDaemonRuns() { return !CronDaemonPids().empty(); }

bool StartCronDaemon() {
  if (CronDaemonRuns()) return true;
  if (Env::Default()->EffectiveUserId() != 0) return false;
  std::string cron = FindProgramPath("cron");
  if (cron.empty()) cron = FindProgramPath("crond");
  if (cron.empty()) return false;
  ProcessSpec spec;
  spec.argv = {cron};
  RunChild(spec);  // the daemon forks and its first process ends
  for (int i = 0; i < 40; ++i) {
    if (CronDaemonRuns()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

std::string FindProgramPath(const std::string& name) {
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  std::string path = Env::Default()->GetVar("PATH");
  path += ":/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin:/usr/lib";
  std::vector<std::string> dirs;
  SplitString(path, ':', &dirs);
  for (const std::string& d : dirs) {
    if (d.empty() || d[0] != '/') continue;
    std::string candidate = d + "/" + name;
    if (IsExecutableFile(candidate)) return candidate;
  }
  return "";
}

std::string FindRunnerPath() {
  std::string named = Env::Default()->GetVar("LORVANT_RUNNER");
  if (!named.empty()) {
    if (named[0] == '/' && IsExecutableFile(named)) return named;
    throw ESchedulerError("LORVANT_RUNNER names \"" + named +
                          "\", which is not an executable file.");
  }
  std::string exe = Env::Default()->ExecutablePath();
  if (!exe.empty()) {
    std::string beside = ExtractFilePath(exe) + "lorvant-runner";
    if (IsExecutableFile(beside)) return beside;
  }
  std::string found = FindProgramPath("lorvant-runner");
  if (!found.empty()) return found;
  throw ESchedulerError("The task runner \"lorvant-runner\" is not installed beside \"" + exe +
                        "\" or on PATH.");
}

}  // namespace lorvant
