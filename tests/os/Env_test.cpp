#include "os/Env.h"
#include "fs/AtomicFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "base/Exception.h"
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

}  // namespace
}  // namespace lorvant
