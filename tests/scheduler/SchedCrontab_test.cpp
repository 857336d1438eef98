#include "scheduler/CrontabBlock.h"

#include <gtest/gtest.h>

#include "scheduler/SchedulerErrors.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

// What sh makes of a word after cron has taken its '\%' escapes out: the
// word must come back unchanged.
std::string ThroughCronAndShell(const std::string& quoted) {
  std::string for_shell;
  for (size_t i = 0; i < quoted.size(); ++i) {
    if (quoted[i] == '\\' && i + 1 < quoted.size() && quoted[i + 1] == '%') continue;
    for_shell += quoted[i];
  }
  std::string dir = test::MakeTempDir("cq");
  std::string out = dir + "/out";
  std::string script = "printf '%s' " + for_shell + " > '" + out + "'";
  test::WriteBytes(dir + "/s.sh", script);
  EXPECT_EQ(std::system(("sh '" + dir + "/s.sh'").c_str()), 0);
  return test::ReadBytes(out);
}

TEST(SchedCrontab, QuotedWordsReachTheProgramUnchanged) {
  const char* words[] = {"plain",     "it's",   "100% sure",      "$HOME `id` $(id)",
                         "a\\b\\%c",  "'\"'\"", "semi; rm -rf x", "#not a comment",
                         "trailing\\"};
  for (const char* w : words) {
    std::string quoted = CronQuote(w);
    EXPECT_EQ(quoted.find('\n'), std::string::npos);
    EXPECT_EQ(ThroughCronAndShell(quoted), w) << quoted;
  }
}

TEST(SchedCrontab, ControlCharactersCannotReachALine) {
  for (const char* w : {"a\nb", "a\rb", "tab\tx", "\x1b[2J"}) {
    EXPECT_THROW(CronQuote(w), ESchedulerError) << w;
  }
  EXPECT_THROW(CronLine("* * * * *", {std::string(1000, 'x')}, "m"), ESchedulerError);
}

TEST(SchedCrontab, TheBlockLeavesEverythingElseByteForByte) {
  const std::string mine = "SHELL=/bin/sh\r\n# my job\n0 1 * * * backup --all\n\n*/5 * * * * x";
  std::string line = CronLine("5 9,10 * * *", {"/r", "fire", "/s", "T", "0"}, "abc");
  EXPECT_EQ(line, "5 9,10 * * * '/r' 'fire' '/s' 'T' '0' # lorvant-abc");
  std::string with = MergeCrontabBlock(mine, "abc", {line});
  EXPECT_EQ(with.substr(0, mine.size()), mine);
  EXPECT_EQ(CrontabBlockLines(with, "abc"), std::vector<std::string>{line});
  // Replacing keeps the place; removing gives back the user's text (with
  // the line end the block needed before it).
  std::string other = MergeCrontabBlock(with, "abc", {line + "x"});
  EXPECT_EQ(CrontabBlockLines(other, "abc").size(), 0u);  // not tagged any more
  EXPECT_EQ(MergeCrontabBlock(with, "abc", {}), mine + "\n");
  EXPECT_EQ(MergeCrontabBlock(mine + "\n", "abc", {}), mine + "\n");
  EXPECT_EQ(MergeCrontabBlock("", "abc", {}), "");
}

TEST(SchedCrontab, OtherStoresBlocksAreNotTouched) {
  std::string a = CronLine("@reboot", {"/r"}, "aaaa");
  std::string b = CronLine("@reboot", {"/r"}, "bbbb");
  std::string both = MergeCrontabBlock(MergeCrontabBlock("", "aaaa", {a}), "bbbb", {b});
  std::string without_a = MergeCrontabBlock(both, "aaaa", {});
  EXPECT_EQ(CrontabBlockLines(without_a, "bbbb"), std::vector<std::string>{b});
  EXPECT_TRUE(CrontabBlockLines(without_a, "aaaa").empty());
  EXPECT_NE(StoreMark("/home/a/.local/share/Lorvant/scheduler"), StoreMark("/tmp/x"));
}

TEST(SchedCrontab, AHalfWrittenBlockIsRepaired) {
  std::string line = CronLine("@reboot", {"/r"}, "abc");
  const std::string begin =
      "# >>> Lorvant scheduled tasks abc (managed by Lorvant, do not edit) >>>\n";
  const std::string end = "# <<< Lorvant scheduled tasks abc <<<\n";
  const std::string cases[] = {
      "0 1 * * * a\n" + begin + line + "\n0 2 * * * b\n",     // begin without end
      "0 1 * * * a\n" + line + "\n" + end + "0 2 * * * b\n",  // end without begin
      "0 1 * * * a\n" + begin + begin + line + "\n" + end + "0 2 * * * b\n",
  };
  for (const std::string& broken : cases) {
    std::string repaired = MergeCrontabBlock(broken, "abc", {});
    EXPECT_EQ(repaired, "0 1 * * * a\n0 2 * * * b\n") << broken;
    std::string renewed = MergeCrontabBlock(broken, "abc", {line});
    EXPECT_EQ(CrontabBlockLines(renewed, "abc"), std::vector<std::string>{line});
    EXPECT_NE(renewed.find("0 2 * * * b\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace lorvant
