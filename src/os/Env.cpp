#include "os/Env.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <random>

#include "base/Exception.h"

namespace lorvant {

static_assert(kCurrentFolder == AT_FDCWD);

void UniqueFd::Reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

namespace {

int ErrorOf(int result) { return result == 0 ? 0 : errno; }

// The process's umask as the kernel reports it (umask(2) would change it,
// for a moment, under every thread); -1 where it is not reported.
int ProcessUmask() {
  static const int mask = [] {
    UniqueFd status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    std::string text(4096, '\0');
    const ssize_t n = status.valid() ? ::read(status.get(), text.data(), text.size()) : -1;
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    const size_t at = text.find("\nUmask:");
    if (at == std::string::npos) return -1;
    return static_cast<int>(std::strtol(text.c_str() + at + 7, nullptr, 8));
  }();
  return mask;
}

FileInfo FromStat(const struct stat& st) {
  FileInfo info;
  info.exists = true;
  info.is_dir = S_ISDIR(st.st_mode);
  info.is_symlink = S_ISLNK(st.st_mode);
  info.size = st.st_size;
  info.mtime_ns = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  info.device = st.st_dev;
  info.inode = st.st_ino;
  info.mode = st.st_mode & 07777;
  return info;
}

// The file open at fd opened once more for reading, through the descriptor
// so it is the same file whatever its name is now; -1 when it cannot be.
int ReopenForReading(int fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int again = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
  if (again < 0) return -1;
  struct stat a, b;
  if (::fstat(again, &a) != 0 || ::fstat(fd, &b) != 0 || a.st_dev != b.st_dev ||
      a.st_ino != b.st_ino) {
    ::close(again);
    return -1;
  }
  return again;
}

class PosixSequentialFile final : public SequentialFile {
 public:
  PosixSequentialFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixSequentialFile() override { ::close(fd_); }
  PosixSequentialFile(const PosixSequentialFile&) = delete;
  PosixSequentialFile& operator=(const PosixSequentialFile&) = delete;

  size_t Read(char* buf, size_t n) override {
    while (true) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) {
        read_ += r;
        if (drop_lag_ >= 0 && read_ - dropped_ >= drop_lag_ + kDropStep) {
          // Whole steps only: a large page that straddles the end of one
          // range would never lie wholly within either and would stay.
          const int64_t from = dropped_;
          dropped_ = (read_ - drop_lag_) / kDropStep * kDropStep;
          ::posix_fadvise(fd_, from, dropped_ - from, POSIX_FADV_DONTNEED);
        }
        return static_cast<size_t>(r);
      }
      if (errno != EINTR) throw EReadError(name_, errno);
    }
  }

  FileInfo Info() override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) return FileInfo();
    return FromStat(st);
  }

  bool SupportsReadAt() const override { return true; }
  size_t ReadAt(char* buf, size_t n, int64_t offset) override {
    while (true) {
      ssize_t r = ::pread(fd_, buf, n, offset);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR) throw EReadError(name_, errno);
    }
  }
  std::unique_ptr<SequentialFile> Reopen() override;
  bool InMemory(int64_t offset) override {
    // Asked of the page cache itself: a read that may not wait would still
    // start reading the page in, and a cold file would seem warm.
    static const long page = ::sysconf(_SC_PAGESIZE);
    void* map = ::mmap(nullptr, static_cast<size_t>(page), PROT_READ, MAP_SHARED, fd_,
                       offset / page * page);
    if (map == MAP_FAILED) return true;
    unsigned char in = 1;
    if (::mincore(map, static_cast<size_t>(page), &in) != 0) in = 1;
    ::munmap(map, static_cast<size_t>(page));
    return (in & 1) != 0;
  }
  void DropBehind(int64_t lag) override { drop_lag_ = std::max<int64_t>(0, lag); }
  int fd() const { return fd_; }

 private:
  // Pages are dropped in steps, not after every read.
  static constexpr int64_t kDropStep = 4 << 20;

  int fd_;
  std::string name_;
  int64_t read_ = 0;       // bytes Read has read
  int64_t dropped_ = 0;    // the page cache was told to drop [0, dropped_)
  int64_t drop_lag_ = -1;  // none are dropped
};

class PosixWriteBack final : public WriteBack {
 public:
  explicit PosixWriteBack(UniqueFd fd) : fd_(std::move(fd)) {}
  void Start() override { ::sync_file_range(fd_.get(), 0, 0, SYNC_FILE_RANGE_WRITE); }

 private:
  UniqueFd fd_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;

  FileInfo Info() override {
    struct stat st;
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return FileInfo();
    return FromStat(st);
  }

  void StartWriteBack() override {
    if (fd_ >= 0) ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
  }

  std::unique_ptr<WriteBack> WriteBackLater() override {
    if (fd_ < 0) return nullptr;
    // The same file opened anew, not a duplicate: a write error still
    // reaches this file's own close, whichever handle is closed first.
    int fd = ReopenForReading(fd_);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixWriteBack>(UniqueFd(fd));
  }

  void Append(const char* data, size_t n) override {
    while (n > 0) {
      ssize_t w = ::write(fd_, data, n);
      if (w < 0) {
        if (errno == EINTR) continue;
        Fail(errno);
      }
      if (w == 0) Fail(ENOSPC);
      data += w;
      n -= static_cast<size_t>(w);
    }
  }

  void Sync() override {
    if (::fsync(fd_) != 0) Fail(errno);
  }

  void Close() override {
    if (fd_ < 0) return;
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(errno);
  }

  size_t CopyFrom(SequentialFile& source, int64_t offset, size_t n) override {
    auto* from = dynamic_cast<PosixSequentialFile*>(&source);
    if (from == nullptr || n == 0) return 0;
    while (true) {
      loff_t in = offset;
      ssize_t r = ::copy_file_range(from->fd(), &in, fd_, nullptr, n, 0);
      if (r >= 0) return static_cast<size_t>(r);  // 0: the source ends early
      if (errno == EINTR) continue;
      // Another file system, or one that cannot copy: the caller copies.
      if (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
          errno == EBADF) {
        return 0;
      }
      Fail(errno);
    }
  }

 private:
  [[noreturn]] void Fail(int err) {
    throw EWriteError("Cannot write to file \"" + name_ + "\". " + SystemErrorText(err), err);
  }

  int fd_;
  std::string name_;
};

class PosixEnv final : public Env {
 public:
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    // Non-blocking, so a FIFO cannot hang the open; only regular files are
    // read (a device or pipe has no size and may never end).
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) throw EFOpenError(name, errno);
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      int err = errno;
      ::close(fd);
      throw EFOpenError(name, err);
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      if (S_ISDIR(st.st_mode)) throw EFOpenError(name, EISDIR);
      throw EFOpenError(name, "Not a regular file", EINVAL);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixSequentialFile>(fd, name);
  }

  std::unique_ptr<WritableFile> OpenForAppend(const std::string& name) override {
    return OpenWrite(name, O_APPEND);
  }

  FileInfo Stat(const std::string& name) override {
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) return FileInfo();
    return FromStat(st);
  }

  int64_t MonotonicMs() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

  int64_t WallClockNs() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
  }

  int OpenFolder(int dir, const std::string& name, bool follow, UniqueFd* folder) override {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW);
    int fd = ::openat(dir, name.c_str(), flags);
    if (fd < 0) return errno;
    *folder = UniqueFd(fd);
    return 0;
  }

  FileInfo StatAt(int dir, const std::string& name, bool follow) override {
    struct stat st;
    if (::fstatat(dir, name.c_str(), &st, follow ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
      return FileInfo();
    }
    return FromStat(st);
  }

  FileInfo StatFd(int fd) override {
    struct stat st;
    if (::fstat(fd, &st) != 0) return FileInfo();
    return FromStat(st);
  }

  int ListFolder(int dir, std::vector<DirEntry>* entries) override {
    entries->clear();
    // fdopendir takes the descriptor over: give it a copy positioned at the
    // folder's start so the caller's stays open.
    int copy = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (copy < 0) return errno;
    DIR* d = ::fdopendir(copy);
    if (d == nullptr) {
      int err = errno;
      ::close(copy);
      return err;
    }
    errno = 0;
    while (struct dirent* e = ::readdir(d)) {
      std::string entry = e->d_name;
      if (entry == "." || entry == "..") continue;
      bool is_dir = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st;
        is_dir = ::fstatat(copy, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
      }
      entries->push_back({entry, is_dir});
    }
    int err = errno;
    ::closedir(d);
    return err;
  }

  int RemoveAt(int dir, const std::string& name, bool folder) override {
    return ErrorOf(::unlinkat(dir, name.c_str(), folder ? AT_REMOVEDIR : 0));
  }

  int CreateFolderAt(int dir, const std::string& name) override {
    return ErrorOf(::mkdirat(dir, name.c_str(), 0755));
  }

  std::unique_ptr<WritableFile> CreateFileAt(int dir, const std::string& name, bool exclusive,
                                             unsigned mode, const std::string& shown) override {
    return OpenRegularAt(dir, name, O_CREAT | (exclusive ? O_EXCL : O_TRUNC), mode, shown);
  }

  std::unique_ptr<WritableFile> AppendFileAt(int dir, const std::string& name, unsigned mode,
                                             const std::string& shown) override {
    return OpenRegularAt(dir, name, O_CREAT | O_APPEND, mode, shown);
  }

  // Opens name in dir for writing with the extra flags, never through a
  // link; anything but a regular file is refused.
  std::unique_ptr<WritableFile> OpenRegularAt(int dir, const std::string& name, int extra,
                                              unsigned mode, const std::string& shown) {
    int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | extra;
    int fd = ::openat(dir, name.c_str(), flags, mode);
    if (fd < 0) throw EFCreateError(shown, errno);
    struct stat st;
    // Truncating anything but a regular file (a FIFO, a device) is no write.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      throw EFCreateError(shown, "Not a regular file", EINVAL);
    }
    return std::make_unique<PosixWritableFile>(fd, shown);
  }

  std::unique_ptr<WritableFile> ReuseFileAt(int dir, const std::string& name, const std::string& as,
                                            unsigned mode, const std::vector<FileInfo>& keep,
                                            const std::string& shown) override {
    // Given the permission bits a new file would get, or not reused.
    const int mask = ProcessUmask();
    if (mask < 0) return nullptr;
    const mode_t bits = static_cast<mode_t>(mode & ~static_cast<unsigned>(mask) & 07777);
    // Non-blocking, so a FIFO in its place cannot hold the open up.
    UniqueFd fd(
        ::openat(dir, name.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return nullptr;
    // Judged on the open file, so what is emptied is what was judged.
    if (!S_ISREG(st.st_mode) || st.st_nlink != 1 || st.st_uid != ::geteuid() ||
        (st.st_mode & S_IWUSR) == 0) {
      return nullptr;
    }
    for (const FileInfo& k : keep) {
      if (k.exists && k.device == st.st_dev && k.inode == st.st_ino) return nullptr;
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return nullptr;
    const bool renamed = as != name;
    auto give_back = [&] {
      if (renamed) ::renameat2(dir, as.c_str(), dir, name.c_str(), RENAME_NOREPLACE);
      return nullptr;
    };
    if (renamed) {
      if (::renameat2(dir, name.c_str(), dir, as.c_str(), RENAME_NOREPLACE) != 0) return nullptr;
      // The name may have been given to another file between the open and
      // the rename: then that one moved, not the file judged.
      struct stat moved;
      if (::fstatat(dir, as.c_str(), &moved, AT_SYMLINK_NOFOLLOW) != 0 ||
          moved.st_dev != st.st_dev || moved.st_ino != st.st_ino) {
        return give_back();
      }
    }
    if (((st.st_mode & 07777) != bits && ::fchmod(fd.get(), bits) != 0) ||
        ::ftruncate(fd.get(), 0) != 0) {
      return give_back();
    }
    // ext4 flushes a file emptied by truncation when it is next closed (a
    // safeguard for files rewritten in place without fsync), which would
    // write each piece out as it is closed. A brief open and close here
    // takes that flush while the file is still empty; a piece made anew
    // has no such flush either.
    const UniqueFd flushed(ReopenForReading(fd.get()));
    return std::make_unique<PosixWritableFile>(fd.Release(), shown);
  }

  int RenameAt(int from_dir, const std::string& from, int to_dir, const std::string& to) override {
    return ErrorOf(::renameat(from_dir, from.c_str(), to_dir, to.c_str()));
  }

  int ChangeModeAt(int dir, const std::string& name, unsigned mode) override {
    return ErrorOf(::fchmodat(dir, name.c_str(), mode, 0));
  }

  int SyncFolder(int dir) override { return ErrorOf(::fsync(dir)); }

  int LockFile(const std::string& name, UniqueFd* lock) override {
    UniqueFd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
    if (!fd.valid()) return errno;
    while (::flock(fd.get(), LOCK_EX) != 0) {
      if (errno != EINTR) return errno;
    }
    *lock = std::move(fd);
    return 0;
  }

  int RealPath(const std::string& name, std::string* resolved) override {
    char* path = ::realpath(name.c_str(), nullptr);
    if (path == nullptr) return errno;
    *resolved = path;
    ::free(path);
    return 0;
  }

  std::string CurrentFolder() override {
    std::string cwd(256, '\0');
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return "";
      cwd.resize(cwd.size() * 2);
    }
    cwd.resize(cwd.find('\0'));
    return cwd;
  }

  std::string GetVar(const std::string& name) override {
    const char* value = std::getenv(name.c_str());
    return value != nullptr ? value : "";
  }

  std::string AccountHome() override {
    struct passwd pw;
    struct passwd* found = nullptr;
    std::vector<char> buf(16384);
    if (::getpwuid_r(::geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr) {
      return found->pw_dir;
    }
    return "";
  }

  unsigned EffectiveUserId() override { return ::geteuid(); }

  std::string ExecutablePath() override {
    std::string buf(4096, '\0');
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || static_cast<size_t>(n) >= buf.size()) return "";
    buf.resize(static_cast<size_t>(n));
    return buf;
  }

  bool KernelInfo(std::string* sysname, std::string* release, std::string* machine) override {
    struct utsname uts;
    if (::uname(&uts) != 0) return false;
    *sysname = uts.sysname;
    *release = uts.release;
    *machine = uts.machine;
    return true;
  }

  void RandomBytes(void* buf, size_t n) override {
    auto* p = static_cast<unsigned char*>(buf);
    while (n > 0) {
      ssize_t got = ::getrandom(p, n, 0);
      if (got <= 0) break;
      p += got;
      n -= static_cast<size_t>(got);
    }
    if (n > 0) {  // no entropy source: still unique enough for temporary names
      static std::atomic<uint64_t> counter{0};
      std::mt19937_64 gen(static_cast<uint64_t>(MonotonicMs()) ^ (counter++ << 32) ^ ::getpid());
      while (n-- > 0) *p++ = static_cast<unsigned char>(gen());
    }
  }

 private:
  std::unique_ptr<WritableFile> OpenWrite(const std::string& name, int mode) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0644);
    if (fd < 0) throw EFCreateError(name, errno);
    return std::make_unique<PosixWritableFile>(fd, name);
  }
};

PosixEnv* RealEnv() {
  static PosixEnv env;
  return &env;
}

std::atomic<Env*> current_env{nullptr};

}  // namespace

std::unique_ptr<SequentialFile> PosixSequentialFile::Reopen() {
  int fd = ReopenForReading(fd_);
  if (fd < 0) return nullptr;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  return std::make_unique<PosixSequentialFile>(fd, name_);
}

size_t SequentialFile::ReadAt(char*, size_t, int64_t) {
  throw EReadError("Stream read error: positioned reads are not supported");
}

Env* Env::Default() {
  Env* env = current_env.load(std::memory_order_acquire);
  return env != nullptr ? env : RealEnv();
}

Env* Env::SetDefault(Env* env) {
  Env* previous = current_env.exchange(env, std::memory_order_acq_rel);
  return previous != nullptr ? previous : RealEnv();
}

std::string ReadWholeFile(const std::string& name) {
  auto file = Env::Default()->OpenForRead(name);
  std::string data;
  char buf[65536];
  while (size_t n = file->Read(buf, sizeof(buf))) data.append(buf, n);
  return data;
}

size_t ReadFully(SequentialFile& file, char* buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    size_t r = file.Read(buf + got, n - got);
    if (r == 0) break;
    got += r;
  }
  return got;
}

}  // namespace lorvant
