#include "os/VersionUtil.h"

#include <cerrno>
#include <regex>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "settings/OfficeApps.h"
#include "settings/RegUtil.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

std::string Junk(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7) % 251);
  return s;
}

std::string FailedText(int err) {
  return "GetFileVersionInfo failed: (" + std::to_string(err) + ") " + SystemErrorText(err);
}

TEST(VersionUtilTest, VersionStringFromMarker) {
  const std::string dir = test::MakeTempDir("ver");
  // A decoy key without a usable value comes first; the real marker wins.
  const std::string key = VersionMarker("");
  struct Case {
    const char* name;
    std::string bytes;
    const char* version;
  } cases[] = {
      {"marked", Junk(1000) + VersionMarker("2.3.4.5") + Junk(1000), "2.3.4.5"},
      {"decoy", key + Junk(10) + VersionMarker("1.0.1.201208"), "1.0.1.201208"},
      {"at-end", Junk(70000) + VersionMarker("9.8.7.6"), "9.8.7.6"},
      {"unterminated", Junk(10) + key.substr(0, key.size() - 1) + "1.2.3.4", "x.x.x.x"},
      {"plain", "just text\r\n", "x.x.x.x"},
      {"empty", "", "x.x.x.x"},
  };
  for (const Case& c : cases) {
    test::WriteBytes(dir + "/" + c.name, c.bytes);
    EXPECT_EQ(GetFileVersionString(dir + "/" + c.name), c.version) << c.name;
  }
  EXPECT_EQ(GetFileVersionString(dir + "/missing"), "x.x.x.x");
  EXPECT_EQ(GetFileVersionString(dir), "x.x.x.x");
}

TEST(VersionUtilTest, MarkerSplitAcrossReads) {
  const std::string file = test::MakeTempDir("split") + "/bin";
  const std::string marker = VersionMarker("1.22.333.4444");
  // Every cut of the marker across the first 64 KiB read boundary.
  for (size_t cut = 0; cut <= marker.size(); ++cut) {
    test::WriteBytes(file, Junk(65536 - cut) + marker + Junk(100));
    ASSERT_EQ(GetFileVersionString(file), "1.22.333.4444") << cut;
  }
}

TEST(VersionUtilTest, OwnExecutableCarriesTheBuildVersion) {
  const std::string own = GetFileVersionString("/proc/self/exe");
  EXPECT_TRUE(std::regex_match(own, std::regex(R"(\d+\.\d+\.\d+\.\d+)"))) << own;
  EXPECT_EQ(GetAppVersionText(), own + " (" + GetAppArchitecture() + ")");
  VersionParts parts = SplitVersion(own);
  EXPECT_EQ(GetFileVersionMajorMinor("/proc/self/exe"), parts.major + "." + parts.minor);
#if defined(__x86_64__)
  EXPECT_EQ(GetAppArchitecture(), "x64");
#endif
}

TEST(VersionUtilTest, SplitVersion) {
  struct Case {
    const char *text, *major, *minor, *release, *build;
  } cases[] = {
      {"1.0.1.201208", "1", "0", "1", "201208"},
      {"x.x.x.x", "x", "x", "x", "x"},
      {"...", "x", "x", "x", ""},
      {"1.2", "1", "2", "x", "x"},
      {"", "x", "x", "x", "x"},
      {"1.2.3.4.5", "1", "2", "3", "4.5"},
  };
  for (const Case& c : cases) {
    VersionParts p = SplitVersion(c.text);
    EXPECT_EQ(p.major + "|" + p.minor + "|" + p.release + "|" + p.build,
              std::string(c.major) + "|" + c.minor + "|" + c.release + "|" + c.build)
        << c.text;
  }
}

TEST(VersionUtilTest, VersionInfoText) {
  const std::string dir = test::MakeTempDir("info");
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  } cases[] = {
      {"marked", Junk(50) + VersionMarker("2.3.4.5"), "v2.3.4 build 5"},
      {"wide", VersionMarker("65535.0.0.65535"), "v65535.0.0 build 65535"},
      {"too-big", VersionMarker("65536.0.0.1"), ""},
      {"words", VersionMarker("1.0.beta.x"), ""},
      {"three", VersionMarker("1.2.3"), ""},
      {"none", "no version here", FailedText(ENODATA)},
  };
  for (const Case& c : cases) {
    test::WriteBytes(dir + "/" + c.name, c.bytes);
    EXPECT_EQ(GetFileVersionInfoText(dir + "/" + c.name), c.text) << c.name;
  }
  EXPECT_EQ(GetFileVersionMajorMinor(dir + "/marked"), "2.3");
  EXPECT_EQ(GetFileVersionMajorMinor(dir + "/none"), "x.x");
  EXPECT_EQ(GetFileVersionInfoText(dir + "/missing"), FailedText(ENOENT));
  EXPECT_EQ(GetFileVersionInfoText(dir), FailedText(EISDIR));
}

TEST(VersionUtilTest, Architectures) {
  const std::string dir = test::MakeTempDir("arch");
  std::string elf64 = std::string(
                          "\x7f"
                          "ELF\x02\x01\x01",
                          7) +
                      std::string(9, '\0');
  std::string x86_64_exec = elf64 + std::string("\x02\x00\x3e\x00", 4);    // ET_EXEC, EM_X86_64
  std::string arm64_exec = elf64 + std::string("\x03\x00\xb7\x00", 4);     // ET_DYN, EM_AARCH64
  std::string x86_64_object = elf64 + std::string("\x01\x00\x3e\x00", 4);  // ET_REL
  struct Case {
    const char* name;
    std::string bytes;
    const char* arch;
  } cases[] = {
      {"x64", x86_64_exec + Junk(100), "x64"},
      {"arm64", arm64_exec + Junk(100), "x86"},
      {"object", x86_64_object + Junk(100), "x86"},
      {"truncated", x86_64_exec.substr(0, 19), "x86"},
      {"text", "hello world, this is plain text\n", "x86"},
  };
  for (const Case& c : cases) {
    test::WriteBytes(dir + "/" + c.name, c.bytes);
    EXPECT_EQ(GetBinaryArchitecture(dir + "/" + c.name), c.arch) << c.name;
  }
  EXPECT_EQ(GetBinaryArchitecture(dir + "/missing"), "x86");
  EXPECT_EQ(GetBinaryArchitecture(dir), "x86");
#if defined(__x86_64__)
  EXPECT_EQ(GetBinaryArchitecture("/proc/self/exe"), "x64");
#endif
  EXPECT_EQ(GetOSArchitecture(), IsOS64Bit() ? "x64" : "x86");
}

TEST(VersionUtilOfficeTest, PathsFromTheSettingsStore) {
  const std::string file = test::MakeTempDir("office") + "/office";
  test::WriteBytes(file, VersionMarker("16.0.1.2"));
  struct Case {
    const char* value;
    std::string (*path)();
    std::string (*version)();
    std::string (*arch)();
  } cases[] = {
      {"AccessPath", GetAccessPath, GetAccessVersionText, GetAccessArchitecture},
      {"ExcelPath", GetExcelPath, GetExcelVersionText, GetExcelArchitecture},
  };
  for (const Case& c : cases) {
    RegWriteString(kProductKey, c.value, "");
    EXPECT_EQ(c.path(), "") << c.value;
    EXPECT_EQ(c.version(), "");
    EXPECT_EQ(c.arch(), "x86");
    RegWriteString(kProductKey, c.value, file);
    EXPECT_EQ(c.path(), file);
    EXPECT_EQ(c.version(), "v16.0.1 build 2");
    EXPECT_EQ(c.arch(), "x86");
  }
}

}  // namespace
}  // namespace lorvant
