#include "scheduler/ChildProcess.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "os/Env.h"

extern char** environ;

namespace lorvant {
namespace {

int64_t MonotonicMs() { return Env::Default()->MonotonicMs(); }

// A pipe whose ends close on exec; false (errno set) when there is none.
bool Pipe(UniqueFd* read_end, UniqueFd* write_end) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  *read_end = UniqueFd(fds[0]);
  *write_end = UniqueFd(fds[1]);
  return true;
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

}  // namespace

ProcessResult RunChild(const ProcessSpec& spec) {
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
  bool piped = Pipe(&in_read, &in_write) && (!spec.capture_output || Pipe(&out_read, &out_write)) &&
               (!spec.capture_output || !spec.separate_errors || Pipe(&err_read, &err_write));
  if (!piped || !Pipe(&report_read, &report_write)) {
    result.error = SystemErrorText(errno);
    return result;
  }
  if (!spec.capture_output) {
    const char* target = spec.log_file.empty() ? "/dev/null" : spec.log_file.c_str();
    log = UniqueFd(::open(target, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!log.valid()) log = UniqueFd(::open("/dev/null", O_WRONLY | O_CLOEXEC));
  }
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

bool StartDetachedChild(const std::vector<std::string>& argv, const UserAccount& run_as,
                        std::string* error) {
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
  UniqueFd report_read, report_write;
  if (!Pipe(&report_read, &report_write)) {
    *error = SystemErrorText(errno);
    return false;
  }
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

bool ProcessRuns(int64_t pid) { return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0; }

void StopProcessGroup(int64_t group, int64_t grace_ms, bool hard_kill) {
  // 0 and 1 would reach our own group or every process.
  if (group <= 1) return;
  EndGroup(static_cast<pid_t>(group), grace_ms, hard_kill, 0, nullptr);
}

void SleepWholeSeconds(int64_t seconds) {
  struct timespec ts = {static_cast<time_t>(seconds), 0};
  while (::nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

}  // namespace lorvant
