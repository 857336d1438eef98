#include "os/SystemInfo.h"
#include "fs/AppFolders.h"

#include <locale.h>
#include <stdlib.h>

#include <filesystem>
#include <regex>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

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

class CountingEnv : public EnvWrapper {
 public:
  CountingEnv() : EnvWrapper(Env::Default()) {}
  int CreateDir(const std::string& name) override {
    ++created;
    return EnvWrapper::CreateDir(name);
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

TEST(SystemUtilTest, AppDataFolderIsCreatedOnce) {
  // A fresh account may lack the data folder itself; it is made as needed.
  const std::string data = test::MakeTempDir("xdg") + "/fresh/data";
  ScopedEnvVar xdg("XDG_DATA_HOME", (data + "/").c_str());
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

TEST(SystemUtilTest, AppDataFolderThatCannotBeMadeRaises) {
  const std::string base = test::MakeTempDir("xdg");
  test::WriteBytes(base + "/file", "");
  ScopedEnvVar xdg("XDG_DATA_HOME", (base + "/file/data").c_str());
  EXPECT_EQ(AppDataFolderError("Lorvant"), "Cannot create \"" + base + "/file/data/Lorvant\"");
  test::WriteBytes(base + "/Lorvant", "");  // a file in the folder's place
  ScopedEnvVar xdg2("XDG_DATA_HOME", base.c_str());
  EXPECT_EQ(AppDataFolderError("Lorvant"), "Cannot create \"" + base + "/Lorvant\"");
}

TEST(SystemUtilTest, AppDataPathDefaultsBelowHome) {
  const std::string home = test::MakeTempDir("home");
  ScopedEnvVar home_var("HOME", home.c_str());
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/data"}) {
    ScopedEnvVar xdg_var("XDG_DATA_HOME", xdg);
    EXPECT_EQ(GetAppDataPath(), home + "/.local/share") << (xdg ? xdg : "unset");
  }
}

TEST(SystemUtilTest, DocumentsPathFromUserDirs) {
  const std::string home = test::MakeTempDir("home");
  const std::string config = home + "/cfg";
  const std::string elsewhere = test::MakeTempDir("papers") + "/mine";
  ScopedEnvVar home_var("HOME", home.c_str());
  ScopedEnvVar config_var("XDG_CONFIG_HOME", config.c_str());
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

TEST(SystemUtilTest, FormatOSVersionText) {
  struct Case {
    const char *name, *release, *machine, *text;
  } cases[] = {
      {"Debian GNU/Linux 12 (bookworm)", "6.1.0-18-amd64", "x86_64",
       "Debian GNU/Linux 12 (bookworm) (Version 6.1, Build 0, 64-bit Edition)"},
      {"Ubuntu 22.04.4 LTS", "5.15.153.1-microsoft-standard-WSL2", "aarch64",
       "Ubuntu 22.04.4 LTS (Version 5.15, Build 153, 64-bit Edition)"},
      {"Alpine Linux v3.19", "6.6", "i686",
       "Alpine Linux v3.19 (Version 6.6, Build 0, 32-bit Edition)"},
      {"Linux", "", "armv7l", "Linux (Version 0.0, Build 0, 32-bit Edition)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FormatOSVersionText(c.name, c.release, c.machine), c.text);
  }
}

TEST(SystemUtilTest, OSVersionTextFromOsRelease) {
  // Serves os-release from a test file, or fails to open it.
  class OsReleaseEnv : public EnvWrapper {
   public:
    explicit OsReleaseEnv(std::string file) : EnvWrapper(Env::Default()), file_(std::move(file)) {}
    std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
      if (name != "/etc/os-release" && name != "/usr/lib/os-release") {
        return EnvWrapper::OpenForRead(name);
      }
      if (file_.empty()) throw EFOpenError(name, "No such file or directory");
      return EnvWrapper::OpenForRead(file_);
    }

   private:
    std::string file_;
  };
  const std::regex shape(R"(^.+ \(Version \d+\.\d+, Build \d+, (32|64)-bit Edition\)$)");
  const std::string real = GetOSVersionText();
  EXPECT_TRUE(std::regex_match(real, shape)) << real;
  EXPECT_EQ(real.find("64-bit Edition") != std::string::npos, IsOS64Bit());

  const std::string file = test::MakeTempDir("osrel") + "/os-release";
  test::WriteBytes(file, "NAME=Plain\n# comment\nPRETTY_NAME=\"Test \\\"OS\\\" 7 (x)\"\nID=t\n");
  {
    OsReleaseEnv env(file);
    ScopedEnv scoped(&env);
    EXPECT_EQ(GetOSVersionText().rfind("Test \"OS\" 7 (x) (Version ", 0), 0u) << GetOSVersionText();
  }
  test::WriteBytes(file, "NAME=Plain\n");
  {
    OsReleaseEnv env(file);
    ScopedEnv scoped(&env);
    EXPECT_EQ(GetOSVersionText().rfind("Plain (Version ", 0), 0u) << GetOSVersionText();
  }
  {
    OsReleaseEnv env("");
    ScopedEnv scoped(&env);
    EXPECT_EQ(GetOSVersionText().rfind("Linux (Version ", 0), 0u) << GetOSVersionText();
  }
}

TEST(SystemUtilTest, LanguageNameFromLocale) {
  struct Case {
    const char *lc_all, *lc_messages, *lang, *name;
  } cases[] = {
      {nullptr, nullptr, "de_DE.UTF-8", "German"},     {nullptr, "fr_FR", "de_DE.UTF-8", "French"},
      {"pt_BR.UTF-8", "fr_FR", "de_DE", "Portuguese"}, {"", nullptr, "sr_RS@latin", "Serbian"},
      {nullptr, nullptr, "C.UTF-8", "English"},        {nullptr, nullptr, "POSIX", "English"},
      {nullptr, nullptr, nullptr, "English"},          {nullptr, nullptr, "xx_YY.UTF-8", "xx"},
  };
  for (const Case& c : cases) {
    ScopedEnvVar all("LC_ALL", c.lc_all), messages("LC_MESSAGES", c.lc_messages),
        lang("LANG", c.lang);
    EXPECT_EQ(GetSystemLanguageName(), c.name) << (c.lang ? c.lang : "no LANG");
  }
}

TEST(SystemUtilTest, DecimalSeparatorFromLocale) {
  {
    ScopedEnvVar all("LC_ALL", "C.UTF-8");
    EXPECT_EQ(GetDecimalSeparator(), '.');
  }
  // German uses a comma where that locale is installed; an unavailable
  // locale falls back to the process's own, here the C locale.
  locale_t german = ::newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  {
    ScopedEnvVar all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetDecimalSeparator(), german != static_cast<locale_t>(0) ? ',' : '.');
  }
  if (german != static_cast<locale_t>(0)) ::freelocale(german);
}

TEST(SystemUtilTest, ExeName) {
  const std::string exe = GetExeName();
  EXPECT_EQ(exe.front(), '/');
  EXPECT_EQ(ExtractFileName(exe), "lorvant_tests");
  EXPECT_TRUE(FileExists(exe));
}

}  // namespace
}  // namespace lorvant

namespace lorvant {
namespace {

// The guard that keeps a split from emptying the root or home folder; the
// splitter itself is never pointed at "/" in a test.
TEST(SystemUtilGuardTest, RootAndHomeFoldersAreRecognisedByAnyName) {
  const std::string home = GetHomePath();
  ASSERT_FALSE(home.empty());
  std::filesystem::create_directories(home + "/sub");
  const std::pair<std::string, bool> cases[] = {
      {"/", true},
      {"//", true},
      {"/.", true},
      {"/tmp/..", true},
      {home, true},
      {home + "/", true},
      {home + "/sub/..", true},
      {home + "/sub", false},
      {"/tmp", false},
      {"", false},
      {home + "/missing", false},
  };
  for (const auto& [folder, expected] : cases) {
    EXPECT_EQ(IsRootOrHomeFolder(folder), expected) << folder;
  }
}

}  // namespace
}  // namespace lorvant
