#include "support/TestEnv.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace lorvant::test {

const std::string& TestRoot() {
  static const std::string root = [] {
    char tmpl[] = "/tmp/lorvant-test-XXXXXX";
    char* dir = ::mkdtemp(tmpl);
    if (dir == nullptr) std::abort();
    return std::string(dir);
  }();
  return root;
}

std::string MakeTempDir(const std::string& hint) {
  static std::atomic<int> counter{0};
  std::string dir = TestRoot() + "/" + hint + std::to_string(counter++);
  std::filesystem::create_directories(dir);
  return dir;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  ASSERT_TRUE(out.good()) << path;
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool Resident(const std::string& path, int64_t offset) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const long page = ::sysconf(_SC_PAGESIZE);
  void* map =
      ::mmap(nullptr, static_cast<size_t>(page), PROT_READ, MAP_SHARED, fd, offset / page * page);
  ::close(fd);
  if (map == MAP_FAILED) return false;
  unsigned char in = 0;
  const bool ok = ::mincore(map, static_cast<size_t>(page), &in) == 0;
  ::munmap(map, static_cast<size_t>(page));
  return ok && (in & 1) != 0;
}

bool DropFromCache(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  bool gone = ::fsync(fd) == 0 && ::fstat(fd, &st) == 0;
  // Pages just written may be held a moment after their write-back.
  for (int tries = 0; gone && tries < 200; ++tries) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    bool any = false;
    for (int64_t at = 0; at < st.st_size && !any; at += 1 << 20) any = Resident(path, at);
    if (!any) break;
    if (tries == 199) gone = false;
    ::usleep(10000);
  }
  ::close(fd);
  return gone;
}

PrivateEnvironment::PrivateEnvironment() {
  const std::string& root = TestRoot();
  ::setenv("HOME", root.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (root + "/config").c_str(), 1);
  ::setenv("XDG_DATA_HOME", (root + "/data").c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (root + "/cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", (root + "/state").c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", (root + "/etc-xdg").c_str(), 1);
  // A windowed run checks for updates at start: no test reaches the network
  // (port 1 on this machine refuses at once) unless it points this elsewhere.
  ::setenv("LORVANT_ENDPOINT", "http://127.0.0.1:1", 1);
  // No test reaches a real crontab unless it points this elsewhere itself.
  ::setenv("LORVANT_CRONTAB", (root + "/crontab").c_str(), 1);
  ::unsetenv("LORVANT_RUNNER");
  // A proxy from the environment would intercept the tests' local servers.
  for (const char* name :
       {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"}) {
    ::unsetenv(name);
  }
  ::setenv("NO_PROXY", "127.0.0.1,localhost", 1);
  ::setenv("no_proxy", "127.0.0.1,localhost", 1);
}

PrivateEnvironment::~PrivateEnvironment() {
  std::error_code ec;
  std::filesystem::remove_all(TestRoot(), ec);
}

}  // namespace lorvant::test
