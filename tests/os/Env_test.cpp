#include "os/Env.h"

#include <string>

#include <gtest/gtest.h>

#include "support/TestEnv.h"

namespace lorvant {
namespace {

constexpr int64_t kMiB = 1 << 20;

// Asking whether a page is in memory tells the truth and leaves it as it was.
TEST(EnvTest, InMemoryAsksWithoutReading) {
  const std::string name = test::MakeTempDir("ask") + "/source.txt";
  test::WriteBytes(name, std::string(4 * kMiB, 'x'));
  if (!test::DropFromCache(name)) GTEST_SKIP() << "the page cache keeps this file";
  auto file = Env::Default()->OpenForRead(name);
  for (int asked = 0; asked < 2; ++asked) {
    EXPECT_FALSE(file->InMemory(0)) << asked;
    EXPECT_FALSE(file->InMemory(2 * kMiB)) << asked;
  }
  EXPECT_FALSE(test::Resident(name, 0));
  char byte;
  ASSERT_EQ(file->Read(&byte, 1), 1u);
  EXPECT_TRUE(file->InMemory(0));
}

// A file read with DropBehind leaves the page cache behind the reader and
// keeps what it read last; without it, everything read stays.
TEST(EnvTest, DropBehindLeavesOnlyTheLastBytesCached) {
  const std::string name = test::MakeTempDir("drop") + "/source.txt";
  const int64_t size = 24 * kMiB;
  test::WriteBytes(name, std::string(static_cast<size_t>(size), 'x'));
  // The source starts out of memory, as a file read from storage does.
  if (!test::DropFromCache(name)) GTEST_SKIP() << "the page cache keeps this file";
  std::string buf(kMiB, '\0');
  for (bool drop : {true, false}) {
    auto file = Env::Default()->OpenForRead(name);
    if (drop) file->DropBehind(4 * kMiB);
    int64_t total = 0;
    while (size_t n = file->Read(buf.data(), buf.size())) total += static_cast<int64_t>(n);
    ASSERT_EQ(total, size);
    EXPECT_EQ(test::Resident(name, 0), !drop) << drop;
    EXPECT_EQ(test::Resident(name, 16 * kMiB), !drop) << drop;
    EXPECT_TRUE(test::Resident(name, size - 1)) << drop;
  }
}

}  // namespace
}  // namespace lorvant
