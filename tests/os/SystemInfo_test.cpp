#include "os/SystemInfo.h"

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

TEST(SystemInfoTest, FormatOSVersionText) {
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

TEST(SystemInfoTest, OSVersionTextFromOsRelease) {
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

TEST(SystemInfoTest, LanguageNameFromLocale) {
  struct Case {
    const char *lc_all, *lc_messages, *lang, *name;
  } cases[] = {
      {nullptr, nullptr, "de_DE.UTF-8", "German"},     {nullptr, "fr_FR", "de_DE.UTF-8", "French"},
      {"pt_BR.UTF-8", "fr_FR", "de_DE", "Portuguese"}, {"", nullptr, "sr_RS@latin", "Serbian"},
      {nullptr, nullptr, "C.UTF-8", "English"},        {nullptr, nullptr, "POSIX", "English"},
      {nullptr, nullptr, nullptr, "English"},          {nullptr, nullptr, "xx_YY.UTF-8", "xx"},
  };
  for (const Case& c : cases) {
    test::ScopedEnvVar all("LC_ALL", c.lc_all), messages("LC_MESSAGES", c.lc_messages),
        lang("LANG", c.lang);
    EXPECT_EQ(GetSystemLanguageName(), c.name) << (c.lang ? c.lang : "no LANG");
  }
}

TEST(SystemInfoTest, DecimalSeparatorFromLocale) {
  {
    test::ScopedEnvVar all("LC_ALL", "C.UTF-8");
    EXPECT_EQ(GetDecimalSeparator(), '.');
  }
  // German uses a comma where that locale is installed; an unavailable
  // locale falls back to the process's own, here the C locale.
  locale_t german = ::newlocale(LC_NUMERIC_MASK, "de_DE.UTF-8", static_cast<locale_t>(0));
  {
    test::ScopedEnvVar all("LC_ALL", "de_DE.UTF-8");
    EXPECT_EQ(GetDecimalSeparator(), german != static_cast<locale_t>(0) ? ',' : '.');
  }
  if (german != static_cast<locale_t>(0)) ::freelocale(german);
}

TEST(SystemInfoTest, ExeName) {
  const std::string exe = GetExeName();
  EXPECT_EQ(exe.front(), '/');
  EXPECT_EQ(ExtractFileName(exe), "lorvant_tests");
  EXPECT_TRUE(FileExists(exe));
}

}  // namespace
}  // namespace lorvant
