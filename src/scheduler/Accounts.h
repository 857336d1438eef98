// The accounts of the password database as the scheduler needs them: who
// runs, whether that is root, another account's folders, and giving a file
// to an account. Real implementations behind SchedSystem, the room's door.
#pragma once

#include <cstdint>
#include <string>

namespace lorvant {

// An account of the password database.
struct UserAccount {
  std::string name;
  int64_t uid = -1;  // -1: no account (the current user)
  int64_t gid = -1;
  std::string home;
};

// The account of login name `name`; false when there is none.
bool LookupAccount(const std::string& name, UserAccount* account);
// Gives path (not following a link) to the account; 0 or an errno value.
int GiveToAccount(const std::string& path, const UserAccount& owner);
// The login name of the effective user (its number when it has none).
std::string EffectiveUserName();

// While alive, the calling thread reaches files with the account's rights
// (its file-system user and group), so that root working in another
// account's folders cannot be led by that account's links to where the
// account could not write, and what it creates is the account's. Does
// nothing without an account, for root's own, or when this process is not
// root. Other threads keep their rights.
class FileRightsOf {
 public:
  explicit FileRightsOf(const UserAccount& account);
  ~FileRightsOf();
  FileRightsOf(const FileRightsOf&) = delete;
  FileRightsOf& operator=(const FileRightsOf&) = delete;

 private:
  bool changed_ = false;
  int64_t old_uid_ = 0;
  int64_t old_gid_ = 0;
};

}  // namespace lorvant
