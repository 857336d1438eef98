// Test support: every test process runs with HOME and the XDG folders in a
// temporary folder of its own, so no test touches the real user's files.
#pragma once

#include <stdlib.h>

#include <string>

#include "os/Env.h"

namespace lorvant::test {

// The per-process temporary root (HOME points here).
const std::string& TestRoot();

// For a test main: points HOME, the XDG folders and the crontab at
// TestRoot(), the vendor's endpoint at a closed local port, and unsets the
// runner override and any HTTP proxy;
// removes the root when it goes.
class PrivateEnvironment {
 public:
  PrivateEnvironment();
  ~PrivateEnvironment();
  PrivateEnvironment(const PrivateEnvironment&) = delete;
  PrivateEnvironment& operator=(const PrivateEnvironment&) = delete;
};

// A fresh, empty folder below TestRoot().
std::string MakeTempDir(const std::string& hint = "t");

// Writes bytes to a file, creating or replacing it; aborts the test on error.
void WriteBytes(const std::string& path, const std::string& bytes);
// Reads a whole file as bytes ("" when missing).
std::string ReadBytes(const std::string& path);
bool PathExists(const std::string& path);

// Whether the page at offset of a file is in the page cache; unlike a
// read, asking does not bring it in.
bool Resident(const std::string& path, int64_t offset);
// Drops a file's pages from the page cache, as if it had not been read
// since it reached storage; false when the system keeps them (tmpfs does).
bool DropFromCache(const std::string& path);

// Sets (or, for nullptr, unsets) an environment variable for one scope.
class ScopedEnvVar {
 public:
  ScopedEnvVar(const char* name, const char* value) : name_(name) {
    const char* old = ::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnvVar() {
    if (had_) {
      ::setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvVar(const ScopedEnvVar&) = delete;
  ScopedEnvVar& operator=(const ScopedEnvVar&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// The system as it is, but for the account's home folder in the password
// database, which tests point at a temporary folder (set `home`).
class AccountHomeEnv : public EnvWrapper {
 public:
  AccountHomeEnv() : EnvWrapper(Env::Default()) {}
  std::string AccountHome() override { return home; }
  std::string home;
};

}  // namespace lorvant::test
