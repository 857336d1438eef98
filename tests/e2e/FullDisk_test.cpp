// A split onto a real file system that fills up: the pieces written before
// the disk was full are exact, the log's counts agree with what reached the
// disk, and the run ends with exit code 2.
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

// A 1 MiB tmpfs mounted for the test's lifetime; mounted() is false where
// this process may not mount one.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& path) : path_(path) {
    fs::create_directories(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=1m") == 0;
    if (!mounted_) error_ = std::strerror(errno);
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;

  bool mounted() const { return mounted_; }
  const std::string& error() const { return error_; }

 private:
  std::string path_;
  bool mounted_ = false;
  std::string error_;
};

// The number in the first log entry matching pattern's one group; -1 if none.
long long Figure(const std::vector<std::string>& entries, const std::string& pattern) {
  std::smatch m;
  for (const std::string& e : entries) {
    if (std::regex_search(e, m, std::regex(pattern))) return std::stoll(m[1]);
  }
  return -1;
}

TEST(FullDiskTest, PiecesBeforeTheDiskFilledAreExactAndTheCountsAgree) {
  const std::string dir = test::MakeTempDir("full");
  SmallFileSystem disk(dir + "/disk");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.error();

  // 3 MiB of numbered lines in pieces of about 48 KiB.
  constexpr int kLines = 60000, kPerPiece = 1000;
  std::vector<std::string> lines;
  std::string source;
  for (int i = 1; i <= kLines; ++i) {
    lines.push_back("line " + std::to_string(i) + " " + std::string(40, 'x'));
    source += lines.back() + "\n";
  }
  test::WriteBytes(dir + "/data.txt", source);
  test::WriteTask(dir + "/t.sft", dir + "/data.txt", dir + "/disk/out", std::to_string(kPerPiece));
  int exit_code = -1;
  test::RunLorvant({"task=" + dir + "/t.sft", "logfile=" + dir + "/run.log"}, &exit_code);
  EXPECT_EQ(exit_code, 2);

  const std::vector<std::string> entries = test::LogEntries(dir + "/run.log");
  const long long done = Figure(entries, R"(^(\d+) records    Elapsed: )");
  const long long failed = Figure(entries, R"(\.  (\d+) rows can not convert\.$)");
  EXPECT_EQ(done + failed, kLines);
  ASSERT_GT(done, 0);
  ASSERT_GT(failed, 0);

  // Every piece holds a prefix of its lines; the complete ones are exactly
  // the lines counted done, and every piece after the first incomplete one
  // is empty.
  long long complete_lines = 0;
  bool cut = false;
  for (int n = 1; n <= kLines / kPerPiece; ++n) {
    std::string expected;
    for (int i = (n - 1) * kPerPiece; i < n * kPerPiece; ++i) expected += lines[i] + "\r\n";
    const std::string piece = test::ReadBytes(dir + "/disk/out/" + std::to_string(n) + ".txt");
    SCOPED_TRACE("piece " + std::to_string(n));
    ASSERT_EQ(expected.compare(0, piece.size(), piece), 0) << "garbled";
    if (cut) {
      EXPECT_EQ(piece, "");
    } else if (piece == expected) {
      complete_lines += kPerPiece;
    } else {
      cut = true;
    }
  }
  EXPECT_TRUE(cut);
  EXPECT_EQ(complete_lines, done);
}

}  // namespace
}  // namespace lorvant
