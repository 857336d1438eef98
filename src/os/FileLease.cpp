#include "os/FileLease.h"

#include <fcntl.h>
#include <signal.h>

namespace lorvant {

bool TakeLease(int fd, int type) {
  // SIGIO, the default, would end the process.
  if (::fcntl(fd, F_SETSIG, SIGURG) != 0) return false;
  if (::fcntl(fd, F_SETLEASE, type) == 0) return true;
  ::fcntl(fd, F_SETSIG, 0);
  return false;
}

bool LeaseWanted(int fd) {
  // A lease being broken reports the type it is to become.
  const int held = ::fcntl(fd, F_GETLEASE);
  return held != F_RDLCK && held != F_WRLCK;
}

void GiveBackLease(int fd) {
  ::fcntl(fd, F_SETLEASE, F_UNLCK);
  ::fcntl(fd, F_SETSIG, 0);
}

}  // namespace lorvant
