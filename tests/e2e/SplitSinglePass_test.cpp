// End to end: a command-line run reads its source once, keeps its log and
// exit code as they always were, and holds a bounded amount of memory
// whatever the length of the source's lines.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
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

constexpr long kMemoryBoundKib = 64 * 1024;

std::string ReadAt(const std::string& file, off_t offset, size_t n) {
  std::string bytes(n, '\0');
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  EXPECT_GE(fd, 0) << file;
  const ssize_t got = ::pread(fd, bytes.data(), n, offset);
  ::close(fd);
  bytes.resize(got < 0 ? 0 : static_cast<size_t>(got));
  return bytes;
}

// A source whose second line is `long_size` zero bytes, mostly a hole so
// the test stays quick: head, the long line, then end.
void WriteSparseSource(const std::string& file, const std::string& head, off_t long_size,
                       const std::string& end) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), static_cast<ssize_t>(head.size()));
  const off_t at = static_cast<off_t>(head.size()) + long_size;
  ASSERT_EQ(::pwrite(fd, end.data(), end.size(), at), static_cast<ssize_t>(end.size()));
  ::close(fd);
}

TEST(SplitSinglePassTest, ALineOf300MiBStaysWithinTheMemoryBound) {
  const off_t kLong = off_t{300} << 20;
  struct Case {
    const char* name;
    std::string head, end;
  };
  // An LF line first turns the run to its buffers; CR LF lines stay ranges
  // the kernel copies.
  const Case cases[] = {{"buffers", "x\n", "\n"}, {"kernel copies", "x\r\n", "\r\n"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dir = test::MakeTempDir("longline");
    const std::string source = dir + "/big.txt", out = dir + "/out", task = dir + "/t.sft";
    WriteSparseSource(source, c.head, kLong, c.end);
    test::WriteTask(task, source, out, "10");
    int exit_code = -1;
    long peak_kib = 0;
    test::RunLorvantMeasured({"task=" + task, "logfile=" + dir + "/run.log"}, &exit_code,
                             &peak_kib);
    EXPECT_EQ(exit_code, 0);
    const std::string piece = out + "/1.txt";
    EXPECT_EQ(fs::file_size(piece), 3 + static_cast<uintmax_t>(kLong) + 2);
    EXPECT_EQ(ReadAt(piece, 0, 5), std::string("x\r\n\0\0", 5));
    EXPECT_EQ(ReadAt(piece, 3 + kLong - 2, 4), std::string("\0\0\r\n", 4));
    if (std::getenv("LORVANT_SANITIZED") == nullptr) {  // sanitizers add their own memory
      EXPECT_LT(peak_kib, kMemoryBoundKib);
    }
    fs::remove_all(dir);
  }
}

TEST(SplitSinglePassTest, CommandLineLogAndExitCodeAreAsEver) {
  const std::string dir = test::MakeTempDir("cmdline");
  const std::string source = dir + "/data.csv", out = dir + "/out", task = dir + "/t.sft",
                    log = dir + "/run.log";
  std::string text;
  for (int i = 1; i <= 25; ++i) text += "line " + std::to_string(i) + "\r\n";
  test::WriteBytes(source, text);
  const std::string header =
      "[info]\tFrom : " + source + "\r\nTo : " + out + "\r\nMax Lines per Split File: 10";

  // A clean run.
  test::WriteTask(task, source, out, "10");
  int exit_code = -1;
  test::RunLorvant({"task=" + task, "logfile=" + log}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  std::vector<std::string> entries = test::LogEntries(log);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "[info]\t" + task);
  EXPECT_EQ(entries[1], header);
  EXPECT_TRUE(
      std::regex_match(entries[2], std::regex(R"(25 records    Elapsed: \d\d:\d\d:\d\d\.\d{3})")))
      << entries[2];

  // Failed lines: the second piece would be the source itself.
  const std::string inside = out + "/2.csv";
  test::WriteBytes(inside, text);
  test::WriteTask(task, inside, out, "10");
  fs::remove(log);
  test::RunLorvant({"task=" + task, "logfile=" + log}, &exit_code);
  EXPECT_EQ(exit_code, 2);
  entries = test::LogEntries(log);
  ASSERT_EQ(entries.size(), 13u);
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(entries[2 + k], "Serial: " + std::to_string(11 + k) + "\r\nOutput file \"" + inside +
                                  "\" is the source file itself.");
  }
  EXPECT_TRUE(std::regex_match(
      entries[12], std::regex(R"(15 records    Elapsed: [0-9:.]+\.  10 rows can not convert\.)")))
      << entries[12];
}

}  // namespace
}  // namespace lorvant
