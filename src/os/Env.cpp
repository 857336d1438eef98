#include "os/Env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "base/Exception.h"

namespace lorvant {
namespace {

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

class PosixSequentialFile final : public SequentialFile {
 public:
  explicit PosixSequentialFile(int fd) : fd_(fd) {}
  ~PosixSequentialFile() override { ::close(fd_); }
  PosixSequentialFile(const PosixSequentialFile&) = delete;
  PosixSequentialFile& operator=(const PosixSequentialFile&) = delete;

  size_t Read(char* buf, size_t n) override {
    while (true) {
      ssize_t r = ::read(fd_, buf, n);
      if (r >= 0) return static_cast<size_t>(r);
      if (errno != EINTR) throw EReadError("Stream read error: " + SystemErrorText(errno));
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
      if (errno != EINTR) throw EReadError("Stream read error: " + SystemErrorText(errno));
    }
  }
  std::unique_ptr<SequentialFile> Reopen() override;
  bool InMemory(int64_t offset) override {
    char byte;
    struct iovec v = {&byte, 1};
    return ::preadv2(fd_, &v, 1, offset, RWF_NOWAIT) >= 0 || errno != EAGAIN;
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

class PosixWritableFile final : public WritableFile {
 public:
  PosixWritableFile(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  ~PosixWritableFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixWritableFile(const PosixWritableFile&) = delete;
  PosixWritableFile& operator=(const PosixWritableFile&) = delete;

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
    throw EWriteError("Cannot write to file \"" + name_ + "\". " + SystemErrorText(err));
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
    if (fd < 0) throw EFOpenError(name, SystemErrorText(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
      int err = errno;
      ::close(fd);
      throw EFOpenError(name, SystemErrorText(err));
    }
    if (!S_ISREG(st.st_mode)) {
      ::close(fd);
      throw EFOpenError(name, S_ISDIR(st.st_mode) ? SystemErrorText(EISDIR) : "Not a regular file");
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return std::make_unique<PosixSequentialFile>(fd);
  }

  std::unique_ptr<WritableFile> CreateFile(const std::string& name) override {
    return OpenWrite(name, O_TRUNC);
  }

  std::unique_ptr<WritableFile> OpenForAppend(const std::string& name) override {
    return OpenWrite(name, O_APPEND);
  }

  FileInfo Stat(const std::string& name) override {
    struct stat st;
    if (::stat(name.c_str(), &st) != 0) return FileInfo();
    return FromStat(st);
  }

  FileInfo LinkStat(const std::string& name) override {
    struct stat st;
    if (::lstat(name.c_str(), &st) != 0) return FileInfo();
    return FromStat(st);
  }

  bool ListDir(const std::string& name, std::vector<DirEntry>* entries) override {
    entries->clear();
    DIR* dir = ::opendir(name.c_str());
    if (dir == nullptr) return false;
    while (struct dirent* e = ::readdir(dir)) {
      std::string entry = e->d_name;
      if (entry == "." || entry == "..") continue;
      bool is_dir = e->d_type == DT_DIR;
      if (e->d_type == DT_UNKNOWN) {
        struct stat st;
        is_dir = ::lstat((name + "/" + entry).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
      }
      entries->push_back({entry, is_dir});
    }
    ::closedir(dir);
    return true;
  }

  int CreateDir(const std::string& name) override {
    return ::mkdir(name.c_str(), 0755) == 0 ? 0 : errno;
  }
  int DeleteFile(const std::string& name) override {
    return ::unlink(name.c_str()) == 0 ? 0 : errno;
  }
  int RenameFile(const std::string& from, const std::string& to) override {
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
  }

  int64_t MonotonicMs() override {
    struct timespec ts;
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
  }

 private:
  std::unique_ptr<WritableFile> OpenWrite(const std::string& name, int mode) {
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | mode, 0644);
    if (fd < 0) throw EFCreateError(name, SystemErrorText(errno));
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
  // Through the descriptor, so it is the same file whatever its name is now.
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  int fd = ::open(self.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat a, b;
  if (::fstat(fd, &a) != 0 || ::fstat(fd_, &b) != 0 || a.st_dev != b.st_dev ||
      a.st_ino != b.st_ino) {
    ::close(fd);
    return nullptr;
  }
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  return std::make_unique<PosixSequentialFile>(fd);
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

}  // namespace lorvant
