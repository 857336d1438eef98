#include "fs/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "os/Env.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st;
  EXPECT_EQ(::stat(path.c_str(), &st), 0);
  return st.st_mode & 07777;
}

TEST(WriteFileAtomicallyTest, KeepsLinksAndPermissions) {
  std::string dir = test::MakeTempDir();
  std::string real = dir + "/real.sft", link = dir + "/link.sft";
  test::WriteBytes(real, "old");
  ::chmod(real.c_str(), 0600);
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

  WriteFileAtomically(link, "new");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(test::ReadBytes(real), "new");
  EXPECT_EQ(ModeOf(real), 0600u);

  WriteFileAtomically(dir + "/fresh.txt", "x");
  EXPECT_EQ(ModeOf(dir + "/fresh.txt"), 0644u);
  WriteFileAtomically(dir + "/run.sh", "x", 0755);
  EXPECT_EQ(ModeOf(dir + "/run.sh"), 0755u);
}

TEST(WriteFileAtomicallyTest, FailedRenameLeavesTheOldFileAndNoTemp) {
  struct NoRename : EnvWrapper {
    NoRename() : EnvWrapper(Env::Default()) {}
    int RenameAt(int, const std::string&, int, const std::string&) override { return EXDEV; }
  } env;
  std::string dir = test::MakeTempDir();
  test::WriteBytes(dir + "/f", "old");
  {
    ScopedEnv scoped(&env);
    EXPECT_THROW(WriteFileAtomically(dir + "/f", "new"), EFCreateError);
  }
  EXPECT_EQ(test::ReadBytes(dir + "/f"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// The temporary name is unpredictable and created exclusively: a link
// planted at it is never written through (and a script's mode never lands
// on what it leads to); the write takes another name instead.
TEST(WriteFileAtomicallyTest, LinkPlantedAtTheTemporaryNameIsNeverFollowed) {
  struct FixedRandom : EnvWrapper {
    FixedRandom() : EnvWrapper(Env::Default()) {}
    void RandomBytes(void* buf, size_t n) override {
      std::memset(buf, calls++ == 0 ? 0 : 1, n);  // the first name is the planted one
    }
    int calls = 0;
  } env;
  const std::string dir = test::MakeTempDir("plant"), outside = test::MakeTempDir("victim");
  test::WriteBytes(outside + "/victim", "precious");
  ::chmod((outside + "/victim").c_str(), 0600);
  const std::string planted = dir + "/.lv000000000000.tmp";
  ASSERT_EQ(::symlink((outside + "/victim").c_str(), planted.c_str()), 0);
  {
    ScopedEnv scoped(&env);
    WriteFileAtomically(dir + "/run.sh", "#!/bin/sh\n", 0755);
  }
  EXPECT_EQ(env.calls, 2);
  EXPECT_EQ(test::ReadBytes(outside + "/victim"), "precious");
  EXPECT_EQ(ModeOf(outside + "/victim"), 0600u);
  EXPECT_EQ(test::ReadBytes(dir + "/run.sh"), "#!/bin/sh\n");
  EXPECT_EQ(ModeOf(dir + "/run.sh"), 0755u);
  EXPECT_TRUE(std::filesystem::is_symlink(planted));
}

// Every legal file name works: the temporary name does not grow with it.
TEST(WriteFileAtomicallyTest, LongestFileNamesCanBeReplaced) {
  const std::string dir = test::MakeTempDir("long");
  for (size_t length : {250u, 255u}) {
    const std::string name = dir + "/" + std::string(length - 4, 'n') + ".sft";
    WriteFileAtomically(name, "one");
    WriteFileAtomically(name, "two");
    EXPECT_EQ(test::ReadBytes(name), "two") << length;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

}  // namespace
}  // namespace lorvant
