#include "settings/RegUtil.h"

#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/Unicode.h"
#include "settings/AppSettings.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

using namespace std::string_literals;
using Values = std::vector<std::pair<std::string, std::string>>;

std::string ValuesFile(const std::string& key) { return RegKeyFolder(key) + "/values.txt"; }

Values ReadAll(const std::string& key) {
  Values values;
  EXPECT_TRUE(RegReadAll(key, &values));
  return values;
}

TEST(RegUtilTest, WrittenValuesReadBackExactly) {
  const std::string key = "Software\\RegTest\\RoundTrip";
  const Values cases = {
      {"Plain", "hello"},
      {"a=b", "x=y==z"},
      {"Lines", "one\r\ntwo\nthree\rfour\r\n"},
      {"Slashes", "C:\\Data\\x\\\\y\\"},
      {"Escapes", "\\n\\r\\x41\\="},
      {"NonAscii", "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"NotUtf8", std::string("/tmp/\xE9t\xE9\xFF\xC3", 10)},
      {"Controls", "a\0b\tc\x1b"s},
      {"Empty", ""},
      {"", "default value"},
  };
  for (const auto& [name, value] : cases) RegWriteString(key, name, value);
  for (const auto& [name, value] : cases) EXPECT_EQ(RegReadString(key, name), value) << name;
  EXPECT_EQ(ReadAll(key), cases);

  // The file stays one line per value, in UTF-8, whatever the values hold.
  std::string file = test::ReadBytes(ValuesFile(key));
  EXPECT_TRUE(IsValidUtf8(file));
  size_t lines = 0;
  for (size_t i = 0; i + 1 < file.size(); ++i) lines += file.compare(i, 2, "\r\n") == 0;
  EXPECT_EQ(lines, cases.size() + 1);
  EXPECT_EQ(file.find('\n'), file.find("\r\n") + 1);
}

TEST(RegUtilTest, NamesMatchWithoutCaseAndKeepTheirPlace) {
  const std::string key = "Software\\RegTest\\Case";
  RegWriteString(key, "First", "1");
  RegWriteString(key, "Second", "2");
  RegWriteString(key, "FIRST", "one");
  EXPECT_EQ(RegReadString(key, "first"), "one");
  EXPECT_EQ(ReadAll(key), (Values{{"First", "one"}, {"Second", "2"}}));
}

TEST(RegUtilTest, MissingValueIsCreatedEmpty) {
  const std::string key = "Software\\RegTest\\Fresh\\Deep";
  EXPECT_FALSE(test::PathExists(RegKeyFolder(key)));
  EXPECT_EQ(RegReadString(key, "NotThere"), "");
  EXPECT_EQ(ReadAll(key), (Values{{"NotThere", ""}}));
  RegWriteString(key, "Other", "x");
  EXPECT_EQ(RegReadString(key, "NotThere"), "");  // still there, still empty
  EXPECT_EQ(ReadAll(key), (Values{{"NotThere", ""}, {"Other", "x"}}));
}

// A values file is read as what it is, whoever wrote it: every value that
// can be read survives the next write, and a file with lines that cannot be
// parsed is kept beside as values.txt.corrupt before it is replaced.
TEST(RegUtilTest, ValuesFilesAreReadAsWhatTheyAreAndDamageIsKeptAside) {
  const std::string header = "# Lorvant settings 1\r\n";
  const std::string good = header + "A=1\r\nB=two\r\n";
  const Values both = {{"A", "1"}, {"B", "two"}};
  struct Case {
    std::string bytes;
    Values survives;
    bool damaged;
  } cases[] = {
      {"\xEF\xBB\xBF" + good, both, false},                 // a UTF-8 mark
      {"# Lorvant settings 1\nA=1\nB=two\n", both, false},  // LF line ends
      {good.substr(0, good.size() - 2), both, false},       // no final line end
      {"\xEF\xBB\xBF"
       "A=1\nB=two",
       both, false},                                   // written by a person
      {good.substr(0, good.size() - 1), both, false},  // cut between CR and LF
      {"\x00\xFF\xFE\x13garbage=1\r\n\x80\x81=\n"s, {}, true},
      {header.substr(0, 10), {}, true},  // cut inside the header
      {header + "A=1\r\nbad\\q=x\r\nno equals\r\n\xC3(=y\r\nB=\\\r\n", {{"A", "1"}}, true},
      {good + "\x00\x01\xFF"s, both, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    const std::string key = "Software\\RegTest\\Damaged" + std::to_string(n++);
    RegWriteString(key, "Seed", "s");  // creates the folder
    test::WriteBytes(ValuesFile(key), c.bytes);
    EXPECT_EQ(ReadAll(key), c.survives) << n;
    EXPECT_EQ(RegReadString(key, "B"), c.survives.size() == 2 ? "two" : "") << n;

    RegWriteString(key, "New", "v");
    Values expected = c.survives;
    if (expected.size() < 2) expected.emplace_back("B", "");
    expected.emplace_back("New", "v");
    EXPECT_EQ(ReadAll(key), expected) << n;
    std::string clean = header;
    for (const auto& [name, value] : expected) clean += name + "=" + value + "\r\n";
    EXPECT_EQ(test::ReadBytes(ValuesFile(key)), clean) << n;
    if (c.damaged) {
      EXPECT_EQ(test::ReadBytes(ValuesFile(key) + ".corrupt"), c.bytes) << n;
    } else {
      EXPECT_FALSE(test::PathExists(ValuesFile(key) + ".corrupt")) << n;
    }
  }
}

TEST(RegUtilTest, ReplaceAllKeepsTheGivenOrder) {
  const std::string key = "Software\\RegTest\\List";
  ASSERT_TRUE(RegReplaceAll(key, {{"2", "/b"}, {"1", "/a"}, {"3", "/c"}}));
  EXPECT_EQ(ReadAll(key), (Values{{"2", "/b"}, {"1", "/a"}, {"3", "/c"}}));
  ASSERT_TRUE(RegReplaceAll(key, {{"x", "/z"}, {"X", "/y"}}));  // one name, last text wins
  EXPECT_EQ(ReadAll(key), (Values{{"x", "/y"}}));
  ASSERT_TRUE(RegReplaceAll(key, {}));
  EXPECT_EQ(ReadAll(key), Values{});
}

TEST(RegUtilTest, KeyThatCannotBeOpenedIsQuietlyIgnored) {
  EXPECT_EQ(RegKeyFolder("Software\\..\\..\\Escape"), "");
  EXPECT_EQ(RegKeyFolder("\\\\"), "");
  EXPECT_EQ(RegReadString("Software\\..\\x", "v"), "");

  std::string blocker = test::MakeTempDir("reg") + "/file";
  test::WriteBytes(blocker, "not a folder");
  std::string saved = ::getenv("XDG_CONFIG_HOME");
  ::setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  RegWriteString("Software\\RegTest\\Blocked", "v", "x");
  EXPECT_EQ(RegReadString("Software\\RegTest\\Blocked", "v"), "");
  Values values;
  EXPECT_FALSE(RegReadAll("Software\\RegTest\\Blocked", &values));
  EXPECT_FALSE(RegReplaceAll("Software\\RegTest\\Blocked", {{"a", "b"}}));
  ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  EXPECT_EQ(test::ReadBytes(blocker), "not a folder");
}

TEST(RegUtilTest, TwoProcessesWritingAtOnceLoseNothing) {
  const std::string key = "Software\\RegTest\\Concurrent";
  const int kPerProcess = 500;
  RegWriteString(key, "Before", "kept");
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      for (int i = 0; i < kPerProcess; ++i) {
        std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
        RegWriteString(key, name, "value of " + name);
      }
      ::_exit(0);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Values values = ReadAll(key);
  EXPECT_EQ(values.size(), 1u + 2 * kPerProcess);
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kPerProcess; ++i) {
      std::string name = "p" + std::to_string(p) + "_" + std::to_string(i);
      EXPECT_EQ(RegReadString(key, name), "value of " + name);
    }
  }
  EXPECT_EQ(RegReadString(key, "Before"), "kept");
  // No temporary files are left beside the values.
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(RegKeyFolder(key))) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"values.lock", "values.txt"}));
}

TEST(AppSettingsTest, ShowLaunchIsTheNegationOfNotShowLaunch) {
  struct Case {
    const char* stored;  // nullptr: the value is missing
    bool show;
  } cases[] = {
      {nullptr, true}, {"", true},      {"0", true},     {"1", false},    {"-1", false},
      {"True", false}, {"tRUE", false}, {"FALSE", true}, {"false", true}, {"2.5", false},
      {"0.0", true},   {"+0", true},    {"1e3", false},  {"yes", true},   {" 1", true},
      {"1x", true},    {"-", true},     {".", true},
  };
  for (const Case& c : cases) {
    ::unlink(ValuesFile(kProductKey).c_str());
    if (c.stored != nullptr) RegWriteString(kProductKey, "NotShowLaunch", c.stored);
    TAppSettings::ShowLaunch = !c.show;
    TAppSettings::Load();
    EXPECT_EQ(TAppSettings::ShowLaunch, c.show) << (c.stored ? c.stored : "(missing)");
  }
  // Reading the missing value left it behind, empty.
  ::unlink(ValuesFile(kProductKey).c_str());
  TAppSettings::Load();
  EXPECT_EQ(ReadAll(kProductKey), (Values{{"NotShowLaunch", ""}}));
}

}  // namespace
}  // namespace lorvant
