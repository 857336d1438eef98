#include "fs/FolderGuard.h"

#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "fs/OutputFolder.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

// A home folder two levels below a temporary base, with user folders (one
// renamed by user-dirs.dirs) and links that lead into them.
class FolderGuardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = test::MakeTempDir("guard");
    home_ = base_ + "/a/b/home";
    fs::create_directories(home_ + "/.config");
    for (const char* sub : {"/Docs/sub", "/Music", "/work", "/Documents"}) {
      fs::create_directories(home_ + sub);
    }
    test::WriteBytes(home_ + "/.config/user-dirs.dirs",
                     "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\nXDG_MUSIC_DIR=\"$HOME/Music/\"\n");
    fs::create_directory_symlink(home_, base_ + "/to-home");
    fs::create_directory_symlink(home_ + "/Docs", base_ + "/to-docs");
    fs::create_directory_symlink(home_ + "/Docs/sub", base_ + "/to-sub");
  }

  std::string base_, home_;
  test::ScopedEnvVar home_var_{"HOME", nullptr};
  test::ScopedEnvVar config_var_{"XDG_CONFIG_HOME", nullptr};

  void UseHome() {
    ::setenv("HOME", home_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (home_ + "/.config").c_str(), 1);
  }
};

// Every spelling that reaches a protected folder is refused before anything
// in it is deleted; subfolders of the same folders stay allowed.
TEST_F(FolderGuardTest, ProtectedFoldersAreRefusedByIdentityWithNothingDeleted) {
  UseHome();
  const struct {
    std::string path;
    std::string reason;  // "" when the folder may be emptied
  } cases[] = {
      {home_, "the root or home folder"},
      {home_ + "/", "the root or home folder"},
      {base_ + "/a/b//home/./", "the root or home folder"},
      {base_ + "/to-home", "the root or home folder"},
      {home_ + "/Docs/sub/../..", "the root or home folder"},
      {base_ + "/to-sub/../..", "the root or home folder"},  // ".." after a link
      {base_ + "/to-docs/..", "the root or home folder"},
      {base_ + "/a/b", "an ancestor of the home folder"},
      {base_ + "/a/", "an ancestor of the home folder"},
      {base_ + "/to-home/..", "an ancestor of the home folder"},
      {home_ + "/Docs", "the user's Documents folder"},
      {base_ + "/to-docs/", "the user's Documents folder"},
      {base_ + "/to-sub/..", "the user's Documents folder"},
      {home_ + "/Music", "the user's Music folder"},
      {home_ + "/Docs/sub", ""},
      {base_ + "/to-sub", ""},
      {home_ + "/work", ""},
      {home_ + "/Documents", ""},  // renamed away by user-dirs.dirs
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ProtectedFolderReason(c.path), c.reason) << c.path;
    if (c.reason.empty()) continue;
    const std::string marker = fs::canonical(c.path).string() + "/keep.txt";
    test::WriteBytes(marker, "data");
    try {
      TOutputFolder folder(c.path);
      folder.Prepare({});
      ADD_FAILURE() << c.path << " was emptied";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message(),
                "The output folder \"" + c.path + "\" is " + c.reason + "; it is not emptied.");
    }
    EXPECT_EQ(test::ReadBytes(marker), "data") << c.path;
  }
}

// The root and the folders directly under it, however spelled. Only the
// guard's answer is checked: a split is never pointed at them in a test.
TEST_F(FolderGuardTest, RootLevelFoldersAreRecognisedByAnySpelling) {
  fs::create_directory_symlink("/usr", base_ + "/to-usr");
  const std::pair<std::string, std::string> cases[] = {
      {"/", "the root or home folder"},
      {"//", "the root or home folder"},
      {"/./", "the root or home folder"},
      {"/usr/..", "the root or home folder"},
      {base_ + "/to-usr/..", "the root or home folder"},
      {"/usr", "a folder directly under the root"},
      {"/usr/", "a folder directly under the root"},
      {"//usr/.", "a folder directly under the root"},
      {"/usr/share/..", "a folder directly under the root"},
      {base_ + "/to-usr", "a folder directly under the root"},
      {"/usr/share", ""},
      {base_ + "/missing", ""},
      {"", ""},
  };
  for (const auto& [path, reason] : cases) EXPECT_EQ(ProtectedFolderReason(path), reason) << path;
}

}  // namespace
}  // namespace lorvant
