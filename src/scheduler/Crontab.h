// A user's crontab as text, read and replaced whole: through the crontab
// command, or through a file that stands for it in tests. The real access
// stands behind SchedSystem, the room's door.
#pragma once

#include <memory>
#include <string>

namespace lorvant {

// A user's crontab as text.
class CrontabAccess {
 public:
  CrontabAccess() = default;
  virtual ~CrontabAccess() = default;
  CrontabAccess(const CrontabAccess&) = delete;
  CrontabAccess& operator=(const CrontabAccess&) = delete;

  // The whole crontab; "" when the user has none. Throws ESchedulerError
  // with the command's reason on failure.
  virtual std::string Read() = 0;
  // Installs text as the whole crontab; throws ESchedulerError on failure.
  virtual void Write(const std::string& text) = 0;
};

// The crontab of `user` ("" for the current one) through the crontab
// command, or through what $LORVANT_CRONTAB names: an executable is called
// as the crontab command ("-l", "-" with the text on standard input, "-u
// user"), anything else is a plain file that stands for the crontab and is
// replaced atomically. Through the command, writing "" removes the crontab
// ("-r"), so a user who had none is left with none; only the command's
// standard output is crontab text, its standard error is the reason of a
// failure, and a command that takes longer than thirty seconds is stopped.
std::unique_ptr<CrontabAccess> OpenRealCrontab(const std::string& user);

// The crontab of `user` through the door in use (SchedSystem::Crontab).
std::unique_ptr<CrontabAccess> OpenCrontab(const std::string& user);

}  // namespace lorvant
