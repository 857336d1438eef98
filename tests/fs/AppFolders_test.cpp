#include "fs/AppFolders.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

class CountingEnv : public EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(Env::Default()) {}
  int CreateFolderAt(int dir, const std::string& name) override {
    ++created;
    return EnvWrapper::CreateFolderAt(dir, name);
  }
  int created = 0;
};

std::string AppDataFolderError(const std::string& name) {
  try {
    GetAppDataFolder(name);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "no error";
}

TEST(AppFoldersTest, AppDataFolderIsCreatedOnce) {
  // A fresh account may lack the data folder itself; it is made as needed.
  const std::string data = test::MakeTempDir("xdg") + "/fresh/data";
  test::ScopedEnvVar xdg("XDG_DATA_HOME", (data + "/").c_str());
  CountingEnv env;
  ScopedEnv scoped(&env);
  EXPECT_EQ(GetAppDataPath(), data);
  env.created = 0;
  EXPECT_EQ(GetAppDataFolder("Lorvant"), data + "/Lorvant/");
  EXPECT_TRUE(DirectoryExists(data + "/Lorvant"));
  EXPECT_EQ(env.created, 1);
  EXPECT_EQ(GetExceptionLogFile("Lorvant"), data + "/Lorvant/exception.log");
  EXPECT_EQ(env.created, 1);
}

TEST(AppFoldersTest, AppDataFolderThatCannotBeMadeRaises) {
  const std::string base = test::MakeTempDir("xdg");
  test::WriteBytes(base + "/file", "");
  test::ScopedEnvVar xdg("XDG_DATA_HOME", (base + "/file/data").c_str());
  EXPECT_EQ(AppDataFolderError("Lorvant"), "Cannot create \"" + base + "/file/data/Lorvant\"");
  test::WriteBytes(base + "/Lorvant", "");  // a file in the folder's place
  test::ScopedEnvVar xdg2("XDG_DATA_HOME", base.c_str());
  EXPECT_EQ(AppDataFolderError("Lorvant"), "Cannot create \"" + base + "/Lorvant\"");
}

TEST(AppFoldersTest, AppDataPathDefaultsBelowHome) {
  const std::string home = test::MakeTempDir("home");
  test::ScopedEnvVar home_var("HOME", home.c_str());
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/data"}) {
    test::ScopedEnvVar xdg_var("XDG_DATA_HOME", xdg);
    EXPECT_EQ(GetAppDataPath(), home + "/.local/share") << (xdg ? xdg : "unset");
  }
}

TEST(AppFoldersTest, DocumentsPathFromUserDirs) {
  const std::string home = test::MakeTempDir("home");
  const std::string config = home + "/cfg";
  const std::string elsewhere = test::MakeTempDir("papers") + "/mine";
  test::ScopedEnvVar home_var("HOME", home.c_str());
  test::ScopedEnvVar config_var("XDG_CONFIG_HOME", config.c_str());
  struct Case {
    const char* dirs;  // content of user-dirs.dirs; nullptr: no file
    std::string expected;
  } cases[] = {
      {nullptr, home + "/Documents"},
      {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n",
       home + "/Dokumente"},
      {"XDG_DOCUMENTS_DIR=\"$HOME/\"\n", home},
      {"XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", home + "/Documents"},
      {"XDG_DOCUMENTS_DIR=\"relative\"\n", home + "/Documents"},
  };
  for (const Case& c : cases) {
    ::unlink((config + "/user-dirs.dirs").c_str());
    if (c.dirs != nullptr) {
      ForceFolder(config);
      test::WriteBytes(config + "/user-dirs.dirs", c.dirs);
    }
    EXPECT_EQ(GetDocumentsPath(), c.expected) << (c.dirs ? c.dirs : "no file");
    EXPECT_TRUE(DirectoryExists(c.expected));
  }
  test::WriteBytes(config + "/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + elsewhere + "/\"\n");
  EXPECT_EQ(GetDocumentsPath(), elsewhere);
}

// Cron jobs and services often run without HOME and XDG_*: every folder
// then comes from the account's home, by the same rule.
TEST(AppFoldersTest, UnsetVariablesFallBackToTheAccountsHome) {
  test::AccountHomeEnv env;
  env.home = test::MakeTempDir("account") + "/";
  const std::string home = env.home.substr(0, env.home.size() - 1);
  ScopedEnv scoped(&env);
  test::ScopedEnvVar vars[] = {
      {"HOME", nullptr}, {"XDG_CONFIG_HOME", nullptr}, {"XDG_DATA_HOME", nullptr}};
  EXPECT_EQ(GetHomePath(), home);
  EXPECT_EQ(GetConfigPath(), home + "/.config");
  EXPECT_EQ(GetAppDataPath(), home + "/.local/share");
  EXPECT_EQ(GetDocumentsPath(), home + "/Documents");
  EXPECT_EQ(GetUserFolders().size(), 8u);
  ::setenv("HOME", "relative/home", 1);  // not a usable home either
  EXPECT_EQ(GetHomePath(), home);
  env.home = "";
  ::unsetenv("HOME");
  EXPECT_EQ(GetHomePath(), "");
  EXPECT_EQ(GetAppDataPath(), "");
  EXPECT_TRUE(GetUserFolders().empty());
}

}  // namespace
}  // namespace lorvant
