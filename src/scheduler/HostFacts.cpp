#include "scheduler/HostFacts.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvant {

bool NetworkIsUp() {
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

std::string ThisHostName() {
  char buf[256] = {};
  if (::gethostname(buf, sizeof(buf) - 1) != 0) return "localhost";
  return buf;
}

}  // namespace lorvant
