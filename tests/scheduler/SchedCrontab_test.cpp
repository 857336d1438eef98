#include "scheduler/CrontabBlock.h"

#include <gtest/gtest.h>

#include "scheduler/SchedulerErrors.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

// The command cron hands sh for a crontab line's command part, by cron's
// own rules: "\%" becomes "%", a bare '%' ends the command (what follows is
// standard input), and nothing else is changed; a backslash takes the
// character after it along, so "\\%" is a kept "\\" and a bare '%'. Crons
// differ on what a backslash before anything but '%' does, so a line may
// hold a backslash only before '%' or a quote, which they all keep.
std::string CronCommand(const std::string& command) {
  std::string out;
  for (size_t i = 0; i < command.size(); ++i) {
    if (command[i] == '\\' && i + 1 < command.size()) {
      char next = command[i + 1];
      EXPECT_TRUE(next == '%' || next == '\'') << "a backslash before " << next << ": " << command;
      if (next != '%') out += '\\';
      out += next;
      ++i;
    } else if (command[i] == '%') {
      break;
    } else {
      out += command[i];
    }
  }
  return out;
}

// The words sh starts the program with for that command.
std::vector<std::string> WordsThroughShell(const std::string& command) {
  std::string dir = test::MakeTempDir("cq");
  std::string out = dir + "/out";
  test::WriteBytes(dir + "/s.sh", "set -- " + command +
                                      "\nfor w; do printf '%s\\0' \"$w\"; done > '" + out + "'\n");
  EXPECT_EQ(std::system(("sh '" + dir + "/s.sh'").c_str()), 0);
  std::vector<std::string> words;
  std::string all = test::ReadBytes(out), word;
  for (char c : all) {
    if (c == '\0') {
      words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

// The words the runner gets from a line, its store and task decoded as the
// runner decodes them.
std::vector<std::string> RunnerWords(const std::string& line, const std::string& schedule,
                                     const std::string& mark) {
  std::string tag = " # lorvant-" + mark;
  EXPECT_EQ(line.compare(0, schedule.size() + 1, schedule + " "), 0) << line;
  EXPECT_EQ(line.compare(line.size() - tag.size(), tag.size(), tag), 0) << line;
  std::string command =
      line.substr(schedule.size() + 1, line.size() - tag.size() - schedule.size() - 1);
  std::vector<std::string> words = WordsThroughShell(CronCommand(command));
  if (words.size() == 5 && words[1] == "fire-hex") {
    std::string store, name;
    EXPECT_TRUE(FromCronHex(words[2], &store) && FromCronHex(words[3], &name)) << line;
    words[1] = "fire";
    words[2] = store;
    words[3] = name;
  }
  return words;
}

TEST(SchedCrontab, TheRunnerGetsExactlyTheNameAndPathsThroughCron) {
  struct Case {
    const char *runner, *store, *name;
  } cases[] = {
      {"/opt/lorvant-runner", "/home/a/store", "plain"},
      {"/opt/lorvant-runner", "/home/a/store", "two\\\\back"},
      {"/opt/lorvant-runner", "/home/a/store", "x\\%y"},
      {"/opt/lorvant-runner", "/home/a/store", "it's \"100%\" $HOME `id` \\ end\\"},
      {"/opt/run \\%x\\\\%/lorvant-runner", "/home/a\\b%c/st'ore", "#not a comment; rm -rf x"},
      {"/opt/trailing\\", "/s%", "%%\\\\%%"},
  };
  for (const Case& c : cases) {
    std::string line = RunnerCronLine("5 9,10 * * *", c.runner, c.store, c.name, 3, "abc");
    EXPECT_EQ(line.find('\n'), std::string::npos);
    EXPECT_EQ(RunnerWords(line, "5 9,10 * * *", "abc"),
              (std::vector<std::string>{c.runner, "fire", c.store, c.name, "3"}))
        << line;
  }
  // A readable line where cron's rules cannot touch the words.
  EXPECT_EQ(RunnerCronLine("@reboot", "/r", "/s", "it's 100", 0, "m"),
            "@reboot '/r' 'fire' '/s' 'it'\\''s 100' '0' # lorvant-m");
}

TEST(SchedCrontab, QuotedWordsReachTheProgramUnchanged) {
  const char* words[] = {
      "plain",  "it's",           "100% sure",      "$HOME `id` $(id)", "a\\b\\%c",
      "'\"'\"", "semi; rm -rf x", "#not a comment", "trailing\\",       "\\\\%",
      "%\\"};
  for (const char* w : words) {
    std::string quoted = CronQuote(w);
    EXPECT_EQ(quoted.find('\n'), std::string::npos);
    EXPECT_EQ(WordsThroughShell(CronCommand(quoted)), std::vector<std::string>{w}) << quoted;
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
