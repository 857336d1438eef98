// The one door to the operating system for files, folders and clocks. Every
// unit reaches the file system through `Env::Default()`, so tests can swap in
// a wrapper that fails a write or a rename on purpose.
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
  bool is_symlink = false;  // only reported by LinkStat
  int64_t size = 0;
  int64_t mtime_ns = 0;  // last-write time, nanoseconds since the epoch
  uint64_t device = 0;
  uint64_t inode = 0;
  uint32_t mode = 0;  // permission bits
};

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
  // Creates or truncates; throws EFCreateError with the system's reason.
  virtual std::unique_ptr<WritableFile> CreateFile(const std::string& name) = 0;
  // Opens for appending, creating when missing; throws EFCreateError.
  virtual std::unique_ptr<WritableFile> OpenForAppend(const std::string& name) = 0;

  // Follows symbolic links; `exists` is false when the path names nothing.
  virtual FileInfo Stat(const std::string& name) = 0;
  // Does not follow a final symbolic link.
  virtual FileInfo LinkStat(const std::string& name) = 0;
  // Entries of a folder without "." and ".."; false when it cannot be listed.
  virtual bool ListDir(const std::string& name, std::vector<DirEntry>* entries) = 0;
  // Each returns 0 on success, else the system's error number.
  virtual int CreateDir(const std::string& name) = 0;
  virtual int DeleteFile(const std::string& name) = 0;
  virtual int RenameFile(const std::string& from, const std::string& to) = 0;

  // Milliseconds of a monotonic clock (never wraps).
  virtual int64_t MonotonicMs() = 0;
};

// Forwards every call to another Env; tests override what they need.
class EnvWrapper : public Env {
 public:
  explicit EnvWrapper(Env* target) : target_(target) {}
  Env* target() const { return target_; }

  std::unique_ptr<SequentialFile> OpenForRead(const std::string& n) override {
    return target_->OpenForRead(n);
  }
  std::unique_ptr<WritableFile> CreateFile(const std::string& n) override {
    return target_->CreateFile(n);
  }
  std::unique_ptr<WritableFile> OpenForAppend(const std::string& n) override {
    return target_->OpenForAppend(n);
  }
  FileInfo Stat(const std::string& n) override { return target_->Stat(n); }
  FileInfo LinkStat(const std::string& n) override { return target_->LinkStat(n); }
  bool ListDir(const std::string& n, std::vector<DirEntry>* e) override {
    return target_->ListDir(n, e);
  }
  int CreateDir(const std::string& n) override { return target_->CreateDir(n); }
  int DeleteFile(const std::string& n) override { return target_->DeleteFile(n); }
  int RenameFile(const std::string& f, const std::string& t) override {
    return target_->RenameFile(f, t);
  }
  int64_t MonotonicMs() override { return target_->MonotonicMs(); }

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

}  // namespace lorvant
