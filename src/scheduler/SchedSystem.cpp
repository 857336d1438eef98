#include "scheduler/SchedSystem.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "scheduler/SchedulerErrors.h"

extern char** environ;

namespace lorvant {
namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

int64_t MonotonicMs() {
  struct timespec ts;
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// How long a stopped process group has to end before SIGKILL.
constexpr int64_t kGraceMs = 2000;

void SleepMs(int ms) {
  struct timespec ts = {ms / 1000, (ms % 1000) * 1000000L};
  ::nanosleep(&ts, nullptr);
}

// Everything the child needs, built before fork so the child only calls
// async-signal-safe functions.
struct ChildPlan {
  std::vector<std::string> args, env;
  std::vector<char*> argv, envp;
  std::string folder;
  int in_fd = -1, out_fd = -1, err_fd = -1;
  bool new_group = true;
  uid_t uid = static_cast<uid_t>(-1);  // -1 keeps the current account
  gid_t gid = static_cast<gid_t>(-1);
  std::vector<gid_t> groups;
};

[[noreturn]] void ExecChild(ChildPlan& p, int report_fd) {
  if (p.new_group) ::setpgid(0, 0);
  if (p.in_fd >= 0) ::dup2(p.in_fd, 0);
  if (p.out_fd >= 0) ::dup2(p.out_fd, 1);
  if (p.err_fd >= 0) ::dup2(p.err_fd, 2);
  int err = 0;
  if (p.uid != static_cast<uid_t>(-1) && (::setgroups(p.groups.size(), p.groups.data()) != 0 ||
                                          ::setgid(p.gid) != 0 || ::setuid(p.uid) != 0)) {
    err = errno;
  } else if (!p.folder.empty() && ::chdir(p.folder.c_str()) != 0) {
    err = errno;
  } else {
    ::execvpe(p.argv[0], p.argv.data(), p.envp.data());
    err = errno;
  }
  ssize_t ignored = ::write(report_fd, &err, sizeof(err));
  (void)ignored;
  ::_exit(127);
}

void FillPlan(ChildPlan* p, const std::vector<std::string>& argv,
              const std::vector<std::string>& extra_env) {
  p->args = argv;
  for (std::string& a : p->args) p->argv.push_back(a.data());
  p->argv.push_back(nullptr);
  for (char** e = environ; *e != nullptr; ++e) {
    std::string entry = *e;
    std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& x : extra_env) {
      if (x.substr(0, x.find('=')) == name) replaced = true;
    }
    if (!replaced) p->env.push_back(entry);
  }
  for (const std::string& x : extra_env) {
    if (x.find('=') != std::string::npos) p->env.push_back(x);
  }
  for (std::string& e : p->env) p->envp.push_back(e.data());
  p->envp.push_back(nullptr);
}

bool GroupGone(pid_t group) { return ::kill(-group, 0) != 0 && errno == ESRCH; }

// SIGTERM to the group, then SIGKILL after grace_ms when hard_kill. When
// `child` is ours it is reaped here (into *status), else the group's
// leader would linger as a zombie of the group.
void EndGroup(pid_t group, int64_t grace_ms, bool hard_kill, pid_t child, int* status) {
  ::kill(-group, SIGTERM);
  bool reaped = child <= 0;
  int64_t deadline = MonotonicMs() + grace_ms;
  while (true) {
    if (!reaped && ::waitpid(child, status, WNOHANG) == child) reaped = true;
    if (reaped && GroupGone(group)) return;
    if (MonotonicMs() >= deadline) break;
    SleepMs(20);
  }
  if (hard_kill) ::kill(-group, SIGKILL);
  if (!reaped) ::waitpid(child, status, 0);
}

class RealCrontab : public CrontabAccess {
 public:
  RealCrontab(std::string program, std::string file, std::string user)
      : program_(std::move(program)), file_(std::move(file)), user_(std::move(user)) {}

  std::string Read() override {
    if (!file_.empty()) {
      return FileExists(file_) ? ReadWholeFile(file_) : std::string();
    }
    ProcessResult r = Run({"-l"}, "");
    if (r.exit_code == 0) return r.output;
    // "no crontab for <user>" is an empty crontab, not a failure.
    if (r.errors.find("no crontab") != std::string::npos) return "";
    throw ESchedulerError("\"" + program_ + " -l\" failed: " + Reason(r));
  }

  void Write(const std::string& text) override {
    if (!file_.empty()) {
      WriteFileAtomically(file_, text, 0600);
      return;
    }
    // Nothing left: the crontab goes, as it was before anything was added.
    ProcessResult r = Run({text.empty() ? "-r" : "-"}, text);
    if (text.empty() && r.errors.find("no crontab") != std::string::npos) return;
    if (r.exit_code != 0) {
      throw ESchedulerError("\"" + program_ + "\" refused the new crontab: " + Reason(r));
    }
  }

 private:
  // How long the crontab command may take before it counts as hung.
  static constexpr int64_t kCommandLimitMs = 30000;

  // The command run to its end; only its standard output is the crontab,
  // its standard error the reason of a failure.
  ProcessResult Run(std::vector<std::string> tail, const std::string& input) {
    ProcessSpec spec;
    spec.argv = Command(std::move(tail));
    spec.input = input;
    spec.capture_output = true;
    spec.separate_errors = true;
    spec.time_limit_ms = kCommandLimitMs;
    ProcessResult r = SchedSystem::Default()->RunProcess(spec);
    if (!r.started) throw ESchedulerError("Cannot run \"" + program_ + "\": " + r.error);
    if (r.timed_out) {
      throw ESchedulerError("\"" + program_ + "\" did not finish within " +
                            std::to_string(kCommandLimitMs / 1000) + " seconds and was stopped.");
    }
    return r;
  }

  static std::string Reason(const ProcessResult& r) {
    std::string reason = TrimText(r.errors);
    if (reason.empty()) reason = TrimText(r.output);
    if (reason.empty()) reason = "exit code " + std::to_string(r.exit_code);
    return reason;
  }

  std::vector<std::string> Command(std::vector<std::string> tail) {
    std::vector<std::string> argv{program_};
    if (!user_.empty()) {
      argv.push_back("-u");
      argv.push_back(user_);
    }
    argv.insert(argv.end(), tail.begin(), tail.end());
    return argv;
  }

  std::string program_, file_, user_;
};

class RealSchedSystem : public SchedSystem {
 public:
  int64_t Now() override { return Env::Default()->WallClockNs() / 1000000000; }

  bool IsCronRunning() override {
    DIR* dir = ::opendir("/proc");
    if (dir == nullptr) return false;
    bool found = false;
    while (struct dirent* e = ::readdir(dir)) {
      if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
      std::string comm;
      try {
        comm = TrimText(ReadWholeFile(std::string("/proc/") + e->d_name + "/comm"));
      } catch (const Exception&) {
        continue;
      }
      if (comm == "cron" || comm == "crond") {
        found = true;
        break;
      }
    }
    ::closedir(dir);
    return found;
  }

  bool StartCron() override {
    if (IsCronRunning()) return true;
    if (!IsRoot()) return false;
    std::string cron = FindProgram("cron");
    if (cron.empty()) cron = FindProgram("crond");
    if (cron.empty()) return false;
    ProcessSpec spec;
    spec.argv = {cron};
    RunProcess(spec);  // the daemon forks and its first process ends
    for (int i = 0; i < 40; ++i) {
      if (IsCronRunning()) return true;
      SleepMs(50);
    }
    return false;
  }

  std::unique_ptr<CrontabAccess> Crontab(const std::string& user) override {
    std::string named = Env::Default()->GetVar("LORVANT_CRONTAB");
    if (named.empty()) return std::make_unique<RealCrontab>("crontab", "", user);
    if (named.find('/') == std::string::npos || IsExecutableFile(named)) {
      return std::make_unique<RealCrontab>(named, "", user);
    }
    // A plain file stands for one crontab; another user's is a sibling.
    return std::make_unique<RealCrontab>("", user.empty() ? named : named + "." + user, "");
  }

  ProcessResult RunProcess(const ProcessSpec& spec) override {
    ProcessResult result;
    if (spec.argv.empty()) {
      result.error = "no program";
      return result;
    }
    ChildPlan plan;
    FillPlan(&plan, spec.argv, spec.extra_env);
    plan.folder = spec.working_folder;
    UniqueFd in_read, in_write, out_read, out_write, err_read, err_write, log, report_read,
        report_write;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      result.error = SystemErrorText(errno);
      return result;
    }
    in_read = UniqueFd(fds[0]);
    in_write = UniqueFd(fds[1]);
    if (spec.capture_output) {
      if (::pipe2(fds, O_CLOEXEC) != 0) {
        result.error = SystemErrorText(errno);
        return result;
      }
      out_read = UniqueFd(fds[0]);
      out_write = UniqueFd(fds[1]);
      if (spec.separate_errors) {
        if (::pipe2(fds, O_CLOEXEC) != 0) {
          result.error = SystemErrorText(errno);
          return result;
        }
        err_read = UniqueFd(fds[0]);
        err_write = UniqueFd(fds[1]);
      }
    } else {
      const char* target = spec.log_file.empty() ? "/dev/null" : spec.log_file.c_str();
      log = UniqueFd(::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
      if (!log.valid()) log = UniqueFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
    }
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      result.error = SystemErrorText(errno);
      return result;
    }
    report_read = UniqueFd(fds[0]);
    report_write = UniqueFd(fds[1]);
    plan.in_fd = in_read.get();
    plan.out_fd = spec.capture_output ? out_write.get() : log.get();
    plan.err_fd = err_write.valid() ? err_write.get() : plan.out_fd;
    pid_t pid = ::fork();
    if (pid < 0) {
      result.error = SystemErrorText(errno);
      return result;
    }
    if (pid == 0) ExecChild(plan, report_write.get());
    ::setpgid(pid, pid);
    if (spec.on_start) spec.on_start(pid);
    in_read.Reset();
    out_write.Reset();
    err_write.Reset();
    report_write.Reset();
    int child_err = 0;
    ssize_t n;
    do {
      n = ::read(report_read.get(), &child_err, sizeof(child_err));
    } while (n < 0 && errno == EINTR);
    if (n == sizeof(child_err)) {
      int status;
      ::waitpid(pid, &status, 0);
      result.error = SystemErrorText(child_err);
      return result;
    }
    result.started = true;
    // Feed the input and gather the output without either side blocking.
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    if (spec.input.empty()) in_write.Reset();
    int64_t deadline = spec.time_limit_ms > 0 ? MonotonicMs() + spec.time_limit_ms : 0;
    int status = 0;
    bool exited = false;
    while (!exited) {
      struct pollfd p[3];
      int count = 0;
      if (in_write.valid()) p[count++] = {in_write.get(), POLLOUT, 0};
      if (out_read.valid()) p[count++] = {out_read.get(), POLLIN, 0};
      if (err_read.valid()) p[count++] = {err_read.get(), POLLIN, 0};
      ::poll(p, count, count > 0 ? 200 : 0);
      for (int i = 0; i < count; ++i) {
        if (p[i].revents == 0) continue;
        if (p[i].fd == in_write.get()) {
          ssize_t w =
              ::write(in_write.get(), spec.input.data() + written, spec.input.size() - written);
          if (w > 0) written += static_cast<size_t>(w);
          if (w < 0 || written == spec.input.size()) in_write.Reset();
        } else {
          bool is_out = p[i].fd == out_read.get();
          UniqueFd& from = is_out ? out_read : err_read;
          char buf[4096];
          ssize_t r = ::read(from.get(), buf, sizeof(buf));
          if (r > 0) {
            (is_out ? result.output : result.errors).append(buf, static_cast<size_t>(r));
          } else if (r == 0 || errno != EINTR) {
            from.Reset();
          }
        }
      }
      if ((!out_read.valid() && !err_read.valid()) || count == 0) {
        pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
          exited = true;
        } else if (count == 0) {
          SleepMs(20);
        }
      }
      if (!exited && deadline != 0 && MonotonicMs() > deadline) {
        result.timed_out = true;
        EndGroup(pid, kGraceMs, spec.hard_kill, pid, &status);
        exited = true;
      }
    }
    result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
  }

  bool StartDetached(const std::vector<std::string>& argv, const UserAccount& run_as,
                     std::string* error) override {
    ChildPlan plan;
    std::vector<std::string> env;
    if (run_as.uid >= 0) {
      plan.uid = static_cast<uid_t>(run_as.uid);
      plan.gid = static_cast<gid_t>(run_as.gid);
      int count = 64;
      plan.groups.resize(static_cast<size_t>(count));
      if (::getgrouplist(run_as.name.c_str(), plan.gid, plan.groups.data(), &count) < 0) {
        plan.groups.resize(static_cast<size_t>(count));
        ::getgrouplist(run_as.name.c_str(), plan.gid, plan.groups.data(), &count);
      }
      plan.groups.resize(static_cast<size_t>(std::max(count, 0)));
      // The runner finds the account's own folders, not the caller's.
      env = {"HOME=" + run_as.home, "USER=" + run_as.name, "LOGNAME=" + run_as.name,
             "XDG_CONFIG_HOME",     "XDG_DATA_HOME",       "XDG_CACHE_HOME",
             "XDG_STATE_HOME",      "XDG_RUNTIME_DIR",     "DBUS_SESSION_BUS_ADDRESS"};
    }
    FillPlan(&plan, argv, env);
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      *error = SystemErrorText(errno);
      return false;
    }
    UniqueFd report_read(fds[0]), report_write(fds[1]);
    UniqueFd null_fd(::open("/dev/null", O_RDWR | O_CLOEXEC));
    plan.in_fd = plan.out_fd = plan.err_fd = null_fd.get();
    pid_t pid = ::fork();
    if (pid < 0) {
      *error = SystemErrorText(errno);
      return false;
    }
    if (pid == 0) {
      // A grandchild, so nobody has to wait for it.
      ::setsid();
      pid_t inner = ::fork();
      if (inner != 0) ::_exit(inner < 0 ? 127 : 0);
      plan.new_group = false;
      ExecChild(plan, report_write.get());
    }
    report_write.Reset();
    int status;
    ::waitpid(pid, &status, 0);
    int child_err = 0;
    if (::read(report_read.get(), &child_err, sizeof(child_err)) == sizeof(child_err)) {
      *error = SystemErrorText(child_err);
      return false;
    }
    return true;
  }

  bool ProcessAlive(int64_t pid) override {
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
  }

  void StopGroup(int64_t group, int64_t grace_ms, bool hard_kill) override {
    // 0 and 1 would reach our own group or every process.
    if (group <= 1) return;
    EndGroup(static_cast<pid_t>(group), grace_ms, hard_kill, 0, nullptr);
  }

  bool WaitLock(const std::string& name, int64_t timeout_ms, UniqueFd* lock) override {
    int64_t deadline = MonotonicMs() + timeout_ms;
    while (!TryLock(name, lock)) {
      if (MonotonicMs() >= deadline) return false;
      SleepMs(200);
    }
    return true;
  }

  void SleepSeconds(int64_t seconds) override {
    struct timespec ts = {static_cast<time_t>(seconds), 0};
    while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
  }

  bool NetworkAvailable() override {
    struct ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return false;
    bool up = false;
    for (struct ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
      if (i->ifa_addr == nullptr) continue;
      int family = i->ifa_addr->sa_family;
      unsigned flags = i->ifa_flags;
      if ((family == AF_INET || family == AF_INET6) && (flags & IFF_UP) != 0 &&
          (flags & IFF_RUNNING) != 0 && (flags & IFF_LOOPBACK) == 0) {
        up = true;
      }
    }
    ::freeifaddrs(list);
    return up;
  }

  bool LookupUser(const std::string& name, UserAccount* account) override {
    struct passwd pw, *res = nullptr;
    std::vector<char> buf(16384);
    if (name.empty() || ::getpwnam_r(name.c_str(), &pw, buf.data(), buf.size(), &res) != 0 ||
        res == nullptr) {
      return false;
    }
    account->name = res->pw_name;
    account->uid = res->pw_uid;
    account->gid = res->pw_gid;
    account->home = res->pw_dir;
    return true;
  }

  int ChangeOwner(const std::string& path, const UserAccount& owner) override {
    if (owner.uid < 0) return 0;
    if (::lchown(path.c_str(), static_cast<uid_t>(owner.uid), static_cast<gid_t>(owner.gid)) != 0) {
      return errno;
    }
    return 0;
  }

  int64_t CurrentPid() override { return ::getpid(); }

  bool TryLock(const std::string& name, UniqueFd* lock) override {
    UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.valid()) return false;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
    *lock = std::move(fd);
    return true;
  }

  std::string FindProgram(const std::string& name) override {
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

  std::string RunnerPath() override {
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
    std::string found = FindProgram("lorvant-runner");
    if (!found.empty()) return found;
    throw ESchedulerError("The task runner \"lorvant-runner\" is not installed beside \"" + exe +
                          "\" or on PATH.");
  }

  std::string CurrentUserName() override {
    struct passwd pw, *res = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof(buf), &res) == 0 && res != nullptr) {
      return res->pw_name;
    }
    return std::to_string(::geteuid());
  }

  bool IsRoot() override { return Env::Default()->EffectiveUserId() == 0; }

  std::string HostName() override {
    char buf[256] = {};
    if (::gethostname(buf, sizeof(buf) - 1) != 0) return "localhost";
    return buf;
  }
};

RealSchedSystem* RealSystem() {
  static RealSchedSystem system;
  return &system;
}

std::atomic<SchedSystem*> g_system{nullptr};

}  // namespace

SchedSystem* SchedSystem::Default() {
  SchedSystem* s = g_system.load();
  return s != nullptr ? s : RealSystem();
}

SchedSystem* SchedSystem::SetDefault(SchedSystem* system) {
  SchedSystem* previous = g_system.exchange(system);
  return previous != nullptr ? previous : RealSystem();
}

std::unique_ptr<CrontabAccess> OpenCrontab(const std::string& user) {
  return SchedSystem::Default()->Crontab(user);
}

}  // namespace lorvant
