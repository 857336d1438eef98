#include "scheduler/FileLocks.h"

#include <fcntl.h>
#include <sys/file.h>

#include <chrono>
#include <thread>

namespace lorvant {

bool TryLockFile(const std::string& name, UniqueFd* lock) {
  UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (!fd.valid()) return false;
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) return false;
  *lock = std::move(fd);
  return true;
}

bool WaitLockFile(const std::string& name, int64_t timeout_ms, UniqueFd* lock) {
  int64_t deadline = Env::Default()->MonotonicMs() + timeout_ms;
  while (!TryLockFile(name, lock)) {
    if (Env::Default()->MonotonicMs() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return true;
}

}  // namespace lorvant
