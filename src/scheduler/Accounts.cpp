#include "scheduler/Accounts.h"

#include <errno.h>
#include <pwd.h>
#include <sys/fsuid.h>
#include <unistd.h>

#include <vector>

namespace lorvant {

bool LookupAccount(const std::string& name, UserAccount* account) {
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

int GiveToAccount(const std::string& path, const UserAccount& owner) {
  if (owner.uid < 0) return 0;
  if (::lchown(path.c_str(), static_cast<uid_t>(owner.uid), static_cast<gid_t>(owner.gid)) != 0) {
    return errno;
  }
  return 0;
}

std::string EffectiveUserName() {
  struct passwd pw, *res = nullptr;
  char buf[4096];
  if (::getpwuid_r(::geteuid(), &pw, buf, sizeof(buf), &res) == 0 && res != nullptr) {
    return res->pw_name;
  }
  return std::to_string(::geteuid());
}

FileRightsOf::FileRightsOf(const UserAccount& account) {
  if (account.uid <= 0 || account.gid < 0 || ::geteuid() != 0) return;
  // The group first: once the user is no longer root, changing it may be
  // refused. Each call returns the value it replaced.
  old_gid_ = ::setfsgid(static_cast<gid_t>(account.gid));
  old_uid_ = ::setfsuid(static_cast<uid_t>(account.uid));
  changed_ = true;
}

FileRightsOf::~FileRightsOf() {
  if (!changed_) return;
  ::setfsuid(static_cast<uid_t>(old_uid_));
  ::setfsgid(static_cast<gid_t>(old_gid_));
}

}  // namespace lorvant
