#include "scheduler/Crontab.h"

#include <vector>

#include "base/TextUtil.h"
#include "fs/AtomicFile.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "scheduler/CronDaemon.h"
#include "scheduler/SchedSystem.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

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

}  // namespace

std::unique_ptr<CrontabAccess> OpenRealCrontab(const std::string& user) {
  std::string named = Env::Default()->GetVar("LORVANT_CRONTAB");
  if (named.empty()) return std::make_unique<RealCrontab>("crontab", "", user);
  if (named.find('/') == std::string::npos || IsExecutableFile(named)) {
    return std::make_unique<RealCrontab>(named, "", user);
  }
  // A plain file stands for one crontab; another user's is a sibling.
  return std::make_unique<RealCrontab>("", user.empty() ? named : named + "." + user, "");
}

std::unique_ptr<CrontabAccess> OpenCrontab(const std::string& user) {
  return SchedSystem::Default()->Crontab(user);
}

}  // namespace lorvant
