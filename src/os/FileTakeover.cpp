#include "os/FileTakeover.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "os/FileLease.h"

namespace lorvant {

namespace {

// Inode flags a new file takes from its folder, and those that must then
// match: an old file with flags of its own (append-only, no-dump, ...)
// would behave unlike a new one.
constexpr int kInheritedFlags = FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL | FS_NODUMP_FL |
                                FS_NOATIME_FL | FS_NOCOMP_FL | FS_JOURNAL_DATA_FL | FS_NOTAIL_FL |
                                FS_NOCOW_FL;
constexpr int kComparedFlags = kInheritedFlags | FS_IMMUTABLE_FL | FS_APPEND_FL;

bool StatxOf(int fd, struct statx* st) {
  return ::statx(fd, "", AT_EMPTY_PATH | AT_STATX_SYNC_AS_STAT, STATX_BASIC_STATS | STATX_MNT_ID,
                 st) == 0 &&
         (st->stx_mask & STATX_MNT_ID) != 0;
}

// The inode flags of an open file or folder; 0 where the file system keeps
// none.
int InodeFlags(int fd) {
  int flags = 0;
  return ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 ? flags : 0;
}

// Whether a query for a file's extended attributes found none, or the file
// system keeps none.
bool NoneFound(ssize_t size) { return size == 0 || (size < 0 && errno == ENOTSUP); }

// Whether any process has the file open or mapped besides fd (opened for
// writing): the kernel grants a write lease only then. Given back at once.
bool OnlyOpenHere(int fd) {
  if (!TakeLease(fd, F_WRLCK)) return false;
  GiveBackLease(fd);
  return true;
}

}  // namespace

UniqueFd TakeOverFile(int dir, const std::string& name, const std::string& as, unsigned bits,
                      const std::vector<FileInfo>& keep) {
  // Looked at without opening it: a FIFO or a device is never opened.
  UniqueFd path(::openat(dir, name.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC));
  struct statx folder, st;
  if (!path.valid() || !StatxOf(dir, &folder) || !StatxOf(path.get(), &st)) return UniqueFd();
  const gid_t new_group = (folder.stx_mode & S_ISGID) != 0 ? folder.stx_gid : ::getegid();
  if (!S_ISREG(st.stx_mode) || st.stx_nlink != 1 || st.stx_uid != ::geteuid() ||
      st.stx_gid != new_group || (st.stx_mode & S_IWUSR) == 0 ||
      st.stx_mnt_id != folder.stx_mnt_id || (st.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0) {
    return UniqueFd();
  }
  const uint64_t device = makedev(st.stx_dev_major, st.stx_dev_minor);
  for (const FileInfo& k : keep) {
    if (k.exists && k.device == device && k.inode == st.stx_ino) return UniqueFd();
  }
  // Opened through the look, so the file opened is the regular file judged
  // whatever its name leads to now. Non-blocking: a lease another process
  // holds on it makes the open fail instead of wait.
  const std::string self = "/proc/self/fd/" + std::to_string(path.get());
  UniqueFd fd(::open(self.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat opened;
  if (!fd.valid() || ::fstat(fd.get(), &opened) != 0 || opened.st_dev != device ||
      opened.st_ino != st.stx_ino) {
    return UniqueFd();
  }
  path = UniqueFd();  // a second open of its own would refuse the lease
  // A new file has no ACL and no extended attributes, and takes the
  // folder's default ACL when it has one, which an old file cannot match.
  const bool no_attributes = NoneFound(::flistxattr(fd.get(), nullptr, 0));
  const bool no_default_acl = ::fgetxattr(dir, "system.posix_acl_default", nullptr, 0) < 0 &&
                              (errno == ENODATA || errno == ENOTSUP);
  if (!no_attributes || !no_default_acl) return UniqueFd();
  if ((InodeFlags(fd.get()) & kComparedFlags) != (InodeFlags(dir) & kInheritedFlags)) {
    return UniqueFd();
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return UniqueFd();
  // Last, right before it changes: an open or mapping anywhere else keeps
  // the old file to its holder.
  if (!OnlyOpenHere(fd.get())) return UniqueFd();
  const bool renamed = as != name;
  auto give_back = [&] {
    if (renamed) ::renameat2(dir, as.c_str(), dir, name.c_str(), RENAME_NOREPLACE);
    return UniqueFd();
  };
  if (renamed) {
    if (::renameat2(dir, name.c_str(), dir, as.c_str(), RENAME_NOREPLACE) != 0) return UniqueFd();
    // The name may have been given to another file between the look and
    // the rename: then that one moved, not the file judged.
    struct stat moved;
    if (::fstatat(dir, as.c_str(), &moved, AT_SYMLINK_NOFOLLOW) != 0 ||
        moved.st_dev != opened.st_dev || moved.st_ino != opened.st_ino) {
      return give_back();
    }
  }
  if (((opened.st_mode & 07777) != bits && ::fchmod(fd.get(), bits) != 0) ||
      ::ftruncate(fd.get(), 0) != 0) {
    return give_back();
  }
  return fd;
}

}  // namespace lorvant
