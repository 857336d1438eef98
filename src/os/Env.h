// The one door to the operating system: files, folders held open by
// descriptor, paths as the kernel resolves them, the process environment,
// the account and the clocks. Every unit reaches the system through
// `Env::Default()`, so tests can swap in a wrapper that fails or changes any
// step on purpose.
//
// Thread safety: every Env method may be called from any thread at once (the
// split's writer and counting threads use it beside the main one); a
// SequentialFile, WritableFile or UniqueFd belongs to one thread at a time.
// SetDefault is for tests and must not race with calls in flight.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace lorvant {

struct FileInfo {
  bool exists = false;
  bool is_dir = false;
  bool is_symlink = false;  // only reported when a final link is not followed
  int64_t size = 0;
  int64_t mtime_ns = 0;  // last-write time, nanoseconds since the epoch
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t mode = 0;  // permission bits
};

// A file descriptor owned by the holder; closed when it goes.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = other.Release();
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void Reset();

 private:
  int fd_ = -1;
};

// Stands for the current folder where a folder descriptor is expected.
inline constexpr int kCurrentFolder = -100;  // AT_FDCWD

struct DirEntry {
  std::string name;
  bool is_dir = false;  // a symbolic link is never reported as a folder
};

// A file opened for reading from its start.
class SequentialFile {
 public:
  virtual ~SequentialFile() = default;
  // Reads up to n bytes into buf; returns the count, 0 only at the end.
  // Throws EReadError with the system's reason when the read fails.
  virtual size_t Read(char* buf, size_t n) = 0;
  // Identity of the open file, for comparing it with other paths.
  virtual FileInfo Info() = 0;

  // ---- Positioned reads (the split engine copies byte ranges) ----
  // Whether ReadAt works on this file.
  virtual bool SupportsReadAt() const { return false; }
  // Reads up to n bytes at offset without moving the read position; returns
  // the count, 0 only at the end. Throws EReadError with the system's reason.
  virtual size_t ReadAt(char* buf, size_t n, int64_t offset);
  // The same open file (not a path) opened a second time, for reads that
  // must not disturb this one's read-ahead (it does none of its own);
  // nullptr when that is not possible.
  virtual std::unique_ptr<SequentialFile> Reopen() { return nullptr; }
  // Whether the byte at offset is in memory now (a read would not wait for
  // storage); true when that cannot be told.
  virtual bool InMemory(int64_t offset) {
    (void)offset;
    return true;
  }
  // From now on, what Read has read more than lag bytes ago leaves the
  // page cache: for a file read once that cannot stay cached anyway, so
  // its pages do not crowd out what is being written.
  virtual void DropBehind(int64_t lag) { (void)lag; }
};

// Writing a file's data out to storage, through a handle of its own: it
// may start on another thread, after the file itself is closed.
class WriteBack {
 public:
  virtual ~WriteBack() = default;
  // Asks the system to start writing the data out, without waiting for it;
  // a hint, so it never fails.
  virtual void Start() = 0;
};

// A file opened for writing. Writes go straight to the system; callers
// buffer. Any failure, a short write included, throws EWriteError.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual void Append(const char* data, size_t n) = 0;
  virtual void Sync() = 0;
  // Closes the file; throws when the close reports an error.
  virtual void Close() = 0;
  // The open file's identity; `exists` false when it is not known.
  virtual FileInfo Info() { return FileInfo(); }
  // Asks the system to start writing the file's data to storage now, without
  // waiting for it; a hint, so it never fails.
  virtual void StartWriteBack() {}
  // The same for later, through a handle of its own; nullptr when the
  // system offers none (StartWriteBack then does it now).
  virtual std::unique_ptr<WriteBack> WriteBackLater() { return nullptr; }

  // ---- In-kernel copies (the split engine's pieces of unchanged bytes) ----
  // Appends up to n bytes of source from offset, copied by the kernel;
  // returns the count, 0 when the kernel cannot copy between the two (the
  // caller then copies itself). Throws EWriteError as Append does.
  virtual size_t CopyFrom(SequentialFile& source, int64_t offset, size_t n) {
    (void)source, (void)offset, (void)n;
    return 0;
  }
};

class Env {
 public:
  Env() = default;
  Env(const Env&) = delete;
  Env& operator=(const Env&) = delete;
  virtual ~Env() = default;

  // The environment in use; tests may replace it with SetDefault.
  static Env* Default();
  // Installs env (or the real one for nullptr); returns the previous one.
  static Env* SetDefault(Env* env);

  // Throws EFOpenError when the file cannot be opened or is a folder.
  virtual std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) = 0;
  // Opens for appending, creating when missing; throws EFCreateError.
  virtual std::unique_ptr<WritableFile> OpenForAppend(const std::string& name) = 0;

  // Follows symbolic links; `exists` is false when the path names nothing.
  virtual FileInfo Stat(const std::string& name) = 0;

  // Milliseconds of a monotonic clock (never wraps).
  virtual int64_t MonotonicMs() = 0;
  // Wall-clock time, nanoseconds since the epoch.
  virtual int64_t WallClockNs() = 0;

  // --- Folders held open, and files relative to them. `dir` is an open
  // folder's descriptor or kCurrentFolder; `name` is relative to it (or
  // absolute). Each returns 0 or fills its result, else the error number.

  // Opens a folder; with follow false a final symbolic link is refused
  // (ELOOP or ENOTDIR) instead of followed.
  virtual int OpenFolder(int dir, const std::string& name, bool follow, UniqueFd* folder) = 0;
  // Identity of name in dir (exists false when missing); follow as above.
  virtual FileInfo StatAt(int dir, const std::string& name, bool follow) = 0;
  // Identity of an open descriptor.
  virtual FileInfo StatFd(int fd) = 0;
  // Entries of an open folder without "." and ".."; an error number on
  // failure. The descriptor stays open and usable.
  virtual int ListFolder(int dir, std::vector<DirEntry>* entries) = 0;
  // Removes the entry name of dir: a file or link (as an entry), or with
  // folder true an empty folder.
  virtual int RemoveAt(int dir, const std::string& name, bool folder) = 0;
  // Creates a folder in dir with mode 0755 (less the umask).
  virtual int CreateFolderAt(int dir, const std::string& name) = 0;
  // Opens name in dir for writing, never through a symbolic link. With
  // exclusive the file must not exist yet; else it is created or truncated.
  // mode applies to a new file (less the umask). display_name is the name
  // errors show. Throws EFCreateError with the system's reason.
  virtual std::unique_ptr<WritableFile> CreateFileAt(int dir, const std::string& name,
                                                     bool exclusive, unsigned mode,
                                                     const std::string& display_name) = 0;
  // Opens name in dir for appending (created with mode when missing), never
  // through a symbolic link and only when it is a regular file. Throws
  // EFCreateError naming display_name with the system's reason.
  virtual std::unique_ptr<WritableFile> AppendFileAt(int dir, const std::string& name,
                                                     unsigned mode,
                                                     const std::string& display_name) = 0;
  // Opens the existing file name in dir to be written over from its start
  // as the file `as` (renamed to it when the names differ, never over an
  // entry already there), never through a symbolic link, so its inode
  // serves again: cheaper than deleting one file and creating another. Only
  // a regular file of this user that it may write, with no other name and
  // none of keep, is emptied, given the permission bits a new file of mode
  // would get, and returned; else nullptr, and the file stays at its name,
  // its bytes as they were. Wrappers reuse nothing.
  virtual std::unique_ptr<WritableFile> ReuseFileAt(int dir, const std::string& name,
                                                    const std::string& as, unsigned mode,
                                                    const std::vector<FileInfo>& keep,
                                                    const std::string& display_name) {
    (void)dir, (void)name, (void)as, (void)mode, (void)keep, (void)display_name;
    return nullptr;
  }
  // Renames within or across open folders (replacing the target).
  virtual int RenameAt(int from_dir, const std::string& from, int to_dir,
                       const std::string& to) = 0;
  // Sets the permission bits of name in dir (following no final link).
  virtual int ChangeModeAt(int dir, const std::string& name, unsigned mode) = 0;
  // Flushes an open folder's entries to storage.
  virtual int SyncFolder(int dir) = 0;
  // Takes an exclusive advisory lock on the file name (created when
  // missing), waiting for it; released when *lock goes.
  virtual int LockFile(const std::string& name, UniqueFd* lock) = 0;

  // --- Paths, process and account.

  // The kernel's absolute path for name with every link resolved; the
  // path must exist.
  virtual int RealPath(const std::string& name, std::string* resolved) = 0;
  // The current folder; "" when it cannot be told.
  virtual std::string CurrentFolder() = 0;
  // An environment variable's value; "" when unset.
  virtual std::string GetVar(const std::string& name) = 0;
  // The running account's home folder from the password database; "" if none.
  virtual std::string AccountHome() = 0;
  // The effective user id.
  virtual unsigned EffectiveUserId() = 0;
  // The running executable's path; "" when it cannot be read.
  virtual std::string ExecutablePath() = 0;
  // The kernel's name, release and machine (uname); false on failure.
  virtual bool KernelInfo(std::string* sysname, std::string* release, std::string* machine) = 0;
  // Fills buf with unpredictable bytes.
  virtual void RandomBytes(void* buf, size_t n) = 0;
};

// Forwards every call to another Env; tests override what they need.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<SequentialFile> OpenForRead(const std::string& n) override {
    return target_->OpenForRead(n);
  }
  std::unique_ptr<WritableFile> OpenForAppend(const std::string& n) override {
    return target_->OpenForAppend(n);
  }
  FileInfo Stat(const std::string& n) override { return target_->Stat(n); }
  int64_t MonotonicMs() override { return target_->MonotonicMs(); }
  int64_t WallClockNs() override { return target_->WallClockNs(); }

  int OpenFolder(int d, const std::string& n, bool f, UniqueFd* out) override {
    return target_->OpenFolder(d, n, f, out);
  }
  FileInfo StatAt(int d, const std::string& n, bool f) override { return target_->StatAt(d, n, f); }
  FileInfo StatFd(int fd) override { return target_->StatFd(fd); }
  int ListFolder(int d, std::vector<DirEntry>* e) override { return target_->ListFolder(d, e); }
  int RemoveAt(int d, const std::string& n, bool folder) override {
    return target_->RemoveAt(d, n, folder);
  }
  int CreateFolderAt(int d, const std::string& n) override { return target_->CreateFolderAt(d, n); }
  std::unique_ptr<WritableFile> CreateFileAt(int d, const std::string& n, bool exclusive,
                                             unsigned mode, const std::string& shown) override {
    return target_->CreateFileAt(d, n, exclusive, mode, shown);
  }
  std::unique_ptr<WritableFile> AppendFileAt(int d, const std::string& n, unsigned mode,
                                             const std::string& shown) override {
    return target_->AppendFileAt(d, n, mode, shown);
  }
  int RenameAt(int fd, const std::string& f, int td, const std::string& t) override {
    return target_->RenameAt(fd, f, td, t);
  }
  int ChangeModeAt(int d, const std::string& n, unsigned mode) override {
    return target_->ChangeModeAt(d, n, mode);
  }
  int SyncFolder(int d) override { return target_->SyncFolder(d); }
  int LockFile(const std::string& n, UniqueFd* lock) override { return target_->LockFile(n, lock); }

  int RealPath(const std::string& n, std::string* r) override { return target_->RealPath(n, r); }
  std::string CurrentFolder() override { return target_->CurrentFolder(); }
  std::string GetVar(const std::string& n) override { return target_->GetVar(n); }
  std::string AccountHome() override { return target_->AccountHome(); }
  unsigned EffectiveUserId() override { return target_->EffectiveUserId(); }
  std::string ExecutablePath() override { return target_->ExecutablePath(); }
  bool KernelInfo(std::string* s, std::string* r, std::string* m) override {
    return target_->KernelInfo(s, r, m);
  }
  void RandomBytes(void* buf, size_t n) override { target_->RandomBytes(buf, n); }

 private:
  Env* target_;
};

// Installs an Env for the lifetime of the object (tests).
class ScopedEnv {
 public:
  explicit ScopedEnv(Env* env) : previous_(Env::SetDefault(env)) {}
  ~ScopedEnv() { Env::SetDefault(previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  Env* previous_;
};

// Reads a whole file; throws EFOpenError or EReadError.
std::string ReadWholeFile(const std::string& name);

// Reads until buf holds n bytes or the file ends; returns the count.
// Throws EReadError.
size_t ReadFully(SequentialFile& file, char* buf, size_t n);

}  // namespace lorvant
