// The "split" command: how its words become a split session, and runs of
// the executable with it (pieces, exit codes, what standard error shows).
#include "app/SplitCommand.h"

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"

namespace lorvant {
namespace {

using test::RunLorvant;

namespace fs = std::filesystem;

std::set<std::string> Entries(const std::string& dir) {
  std::set<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

TEST(SplitCommandParseTest, GoodWords) {
  struct Case {
    std::vector<std::string> words;
    std::string source, dest;
    int32_t lines, header;
    int64_t max_bytes;
    bool csv, keep_ends;
  };
  const Case cases[] = {
      {{"in.txt", "out"}, "in.txt", "out", 10000, 0, 0, false, false},
      {{"in.txt", "out", "-l", "2"}, "in.txt", "out", 2, 0, 0, false, false},
      {{"-l", "7", "in.txt", "out"}, "in.txt", "out", 7, 0, 0, false, false},
      {{"in.txt", "--lines", "1", "out"}, "in.txt", "out", 1, 0, 0, false, false},
      {{"in.txt", "out", "--lines=1000000000"}, "in.txt", "out", 1000000000, 0, 0, false, false},
      {{"in.txt", "out", "-l", "5", "-l", "6"}, "in.txt", "out", 6, 0, 0, false, false},
      {{"in.txt", "out", "-l5"}, "in.txt", "out", 5, 0, 0, false, false},
      {{"-l250", "in.txt", "out"}, "in.txt", "out", 250, 0, 0, false, false},
      {{"a.csv", "/o", "--header", "1", "--max-bytes", "10M", "--csv", "--keep-line-ends"},
       "a.csv",
       "/o",
       10000,
       1,
       10 << 20,
       true,
       true},
      {{"a.csv", "/o", "--header=0", "--max-bytes=500k"},
       "a.csv",
       "/o",
       10000,
       0,
       500 << 10,
       false,
       false},
      {{"a.csv", "/o", "--max-bytes", "2G", "--header", "12"},
       "a.csv",
       "/o",
       10000,
       12,
       int64_t{2} << 30,
       false,
       false},
      {{"a.csv", "/o", "--max-bytes", "4096"}, "a.csv", "/o", 10000, 0, 4096, false, false},
      // "--" ends the options; a lone "-" is a name.
      {{"--csv", "--", "-in", "--out"}, "-in", "--out", 10000, 0, 0, true, false},
      {{"-", "out"}, "-", "out", 10000, 0, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.words));
    TFileSplitSession session;
    std::string error;
    ASSERT_TRUE(ParseSplitCommand(c.words, &session, &error)) << error;
    EXPECT_EQ(session.SourceFile, c.source);
    EXPECT_EQ(session.DestFolder, c.dest);
    EXPECT_EQ(session.MaxLines, c.lines);
    EXPECT_EQ(session.HeaderLines, c.header);
    EXPECT_EQ(session.MaxBytes, c.max_bytes);
    EXPECT_EQ(session.CsvRecords, c.csv);
    EXPECT_EQ(session.KeepLineEnds, c.keep_ends);
  }
}

TEST(SplitCommandParseTest, BadWords) {
  const std::string lines = " needs a number of lines from 1 to 1000000000, not ";
  const std::string header = "--header needs a number of lines from 0 up, not ";
  const std::string size = "--max-bytes needs a size such as 500K, 10M or 2G, not ";
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{}, "split needs a source file and an output folder."},
      {{"-l", "3"}, "split needs a source file and an output folder."},
      {{"", "out"}, "split needs a source file and an output folder."},
      {{"in.txt"}, "split needs an output folder after the source file."},
      {{"in.txt", ""}, "split needs an output folder after the source file."},
      {{"in.txt", "out", "more"}, "unexpected \"more\" after the output folder."},
      {{"in.txt", "out", "--lnies", "3"}, "unknown option \"--lnies\"."},
      {{"in.txt", "out", "-l=5"}, "-l" + lines + "\"=5\"."},
      {{"in.txt", "out", "-l0"}, "-l" + lines + "\"0\"."},
      {{"in.txt", "out", "-x5"}, "unknown option \"-x5\"."},
      {{"in.txt", "out", "-lines", "5"}, "-l" + lines + "\"ines\"."},
      {{"in.txt", "out", "-h"}, "unknown option \"-h\"."},
      {{"in.txt", "out", "-l"}, "-l needs a value."},
      {{"in.txt", "out", "--header"}, "--header needs a value."},
      {{"in.txt", "out", "--max-bytes"}, "--max-bytes needs a value."},
      {{"in.txt", "out", "-l", "0"}, "-l" + lines + "\"0\"."},
      {{"in.txt", "out", "-l", "1000000001"}, "-l" + lines + "\"1000000001\"."},
      {{"in.txt", "out", "-l", "99999999999999999999999"},
       "-l" + lines + "\"99999999999999999999999\"."},
      {{"in.txt", "out", "--lines", "-3"}, "--lines" + lines + "\"-3\"."},
      {{"in.txt", "out", "--lines=+3"}, "--lines" + lines + "\"+3\"."},
      {{"in.txt", "out", "--lines=ten"}, "--lines" + lines + "\"ten\"."},
      {{"in.txt", "out", "--lines=", "5"}, "--lines" + lines + "\"\"."},
      {{"in.txt", "out", "-l", "5 "}, "-l" + lines + "\"5 \"."},
      {{"in.txt", "out", "--header", "-1"}, header + "\"-1\"."},
      {{"in.txt", "out", "--header=2147483648"}, header + "\"2147483648\"."},
      {{"in.txt", "out", "--header", "1.5"}, header + "\"1.5\"."},
      {{"in.txt", "out", "--max-bytes", "10X"}, size + "\"10X\"."},
      {{"in.txt", "out", "--max-bytes=-1"}, size + "\"-1\"."},
      {{"in.txt", "out", "--max-bytes="}, size + "\"\"."},
      {{"in.txt", "out", "--max-bytes", "0"}, size + "\"0\"."},
      {{"in.txt", "out", "--max-bytes=0K"}, size + "\"0K\"."},
      {{"in.txt", "out", "--csv=1"}, "--csv takes no value."},
      {{"in.txt", "out", "--keep-line-ends=yes"}, "--keep-line-ends takes no value."},
  };
  for (const auto& [words, message] : cases) {
    SCOPED_TRACE(::testing::PrintToString(words));
    TFileSplitSession session;
    std::string error;
    EXPECT_FALSE(ParseSplitCommand(words, &session, &error));
    EXPECT_EQ(error, message);
  }
}

// Five LF lines into pieces of two, with paths relative to the working
// folder: CR LF pieces, exit 0, the summary on standard error and, with a
// file there instead of a terminal, no progress line.
TEST(SplitCommandTest, SplitsIntoPiecesAndPrintsTheSummary) {
  const std::string dir = test::MakeTempDir("split-cmd");
  test::WriteBytes(dir + "/data.txt", "a\nb\nc\nd\ne\n");
  int exit_code = -1;
  const std::string output = RunLorvant({"split", "data.txt", "out", "-l", "2"}, &exit_code, dir);
  EXPECT_EQ(exit_code, 0) << output;
  EXPECT_EQ(Entries(dir + "/out"), (std::set<std::string>{"1.txt", "2.txt", "3.txt"}));
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.txt"), "a\r\nb\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/2.txt"), "c\r\nd\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/3.txt"), "e\r\n");
  EXPECT_EQ(output.find('\r'), std::string::npos) << output;
  EXPECT_TRUE(std::regex_match(
      output, std::regex(R"(Lorvant: 5 records    Elapsed: \d{2}:\d{2}:\d{2}\.\d{3}\n)")))
      << output;
}

// The options reach the split; a record that fails (a quote left open)
// ends the run with 2, its bytes still written.
TEST(SplitCommandTest, OptionsReachTheSplitAndAFailedRecordExitsWithTwo) {
  const std::string dir = test::MakeTempDir("split-opt");
  test::WriteBytes(dir + "/data.csv", "id,note\r\n1,\"a\nb\"\r\n2,x\r\n3,y\n");
  const std::vector<std::string> args = {"split",       "data.csv",   "out",   "-l",
                                         "1",           "--header=1", "--csv", "--keep-line-ends",
                                         "--max-bytes", "1K"};
  int exit_code = -1;
  std::string output = RunLorvant(args, &exit_code, dir);
  EXPECT_EQ(exit_code, 0) << output;
  EXPECT_EQ(Entries(dir + "/out"), (std::set<std::string>{"1.csv", "2.csv", "3.csv"}));
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.csv"), "id,note\r\n1,\"a\nb\"\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/3.csv"), "id,note\r\n3,y\n");

  test::WriteBytes(dir + "/data.csv", "id,note\n1,x\n2,\"open\nto the end\n");
  output = RunLorvant(args, &exit_code, dir);
  EXPECT_EQ(exit_code, 2) << output;
  // The failed record as the log names it, on a line of its own.
  EXPECT_EQ(output.rfind("Lorvant: Serial: 2: A quoted field opened in the record on line 3 is not "
                         "closed at the end of the file.\nLorvant: 2 records ",
                         0),
            0u)
      << output;
  EXPECT_EQ(test::ReadBytes(dir + "/out/2.csv"), "id,note\n2,\"open\nto the end\n");
}

TEST(SplitCommandTest, MissingSourceFailsBeforeTouchingTheFolder) {
  const std::string dir = test::MakeTempDir("split-missing");
  int exit_code = -1;
  const std::string output =
      RunLorvant({"split", dir + "/none.txt", dir + "/out", "-l", "2"}, &exit_code);
  EXPECT_EQ(exit_code, 1);
  // In the user's words, without the developer's context.
  EXPECT_EQ(output,
            "Lorvant: Cannot open file \"" + dir + "/none.txt\". No such file or directory\n");
  EXPECT_FALSE(fs::exists(dir + "/out"));
}

TEST(SplitCommandTest, OutputFolderThatIsAFileSaysSo) {
  const std::string dir = test::MakeTempDir("split-file-dest");
  test::WriteBytes(dir + "/data.txt", "a\nb\n");
  test::WriteBytes(dir + "/out", "mine\n");
  int exit_code = -1;
  const std::string output = RunLorvant({"split", "data.txt", "out"}, &exit_code, dir);
  EXPECT_EQ(exit_code, 1);
  EXPECT_EQ(output, "Lorvant: Cannot create folder \"out\". A file of that name exists.\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out"), "mine\n");
}

// -h or --help anywhere before "--" prints the split's usage, exit 0,
// nothing touched; after "--" it is a name like any other.
TEST(SplitCommandTest, HelpAfterSplitPrintsItsUsage) {
  const std::string dir = test::MakeTempDir("split-help");
  test::WriteBytes(dir + "/data.txt", "a\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"split", "--help"},
                                               {"split", "-h"},
                                               {"split", "data.txt", "out", "-l", "2", "--help"},
                                               {"split", "-h", "data.txt", "out"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    int exit_code = -1;
    const std::string output = RunLorvant(args, &exit_code, dir);
    EXPECT_EQ(exit_code, 0);
    EXPECT_EQ(output, "Usage:\n" + SplitCommandUsage("Lorvant"));
    EXPECT_EQ(Entries(dir), std::set<std::string>{"data.txt"});
  }
  int exit_code = -1;
  const std::string output = RunLorvant({"split", "data.txt", "--", "-h"}, &exit_code, dir);
  EXPECT_EQ(exit_code, 0) << output;
  EXPECT_EQ(test::ReadBytes(dir + "/-h/1.txt"), "a\r\n");
}

TEST(SplitCommandTest, BadWordsGiveTheReasonAndAUsageHint) {
  const std::string dir = test::MakeTempDir("split-bad");
  test::WriteBytes(dir + "/data.txt", "a\n");
  for (const std::vector<std::string>& args : {std::vector<std::string>{"split"},
                                               {"split", "data.txt", "out", "-l", "0"},
                                               {"split", "data.txt", "out", "--verbose"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    int exit_code = -1;
    const std::string output = RunLorvant(args, &exit_code, dir);
    EXPECT_EQ(exit_code, 1);
    EXPECT_TRUE(std::regex_match(
        output, std::regex("Lorvant: [^\n]+\nUsage: Lorvant split SOURCE DEST \\[-l N\\] "
                           "\\[--header N\\] \\[--max-bytes SIZE\\] \\[--csv\\] "
                           "\\[--keep-line-ends\\] \\(see Lorvant --help\\)\n")))
        << output;
    EXPECT_EQ(Entries(dir), std::set<std::string>{"data.txt"});
  }
}

TEST(SplitCommandTest, HelpListsTheCommandAndItsOptions) {
  int exit_code = -1;
  const std::string output = RunLorvant({"--help"}, &exit_code, test::MakeTempDir("cwd"));
  EXPECT_EQ(exit_code, 0);
  for (const char* text : {"Lorvant split SOURCE DEST", "-l, --lines N", "--header N",
                           "--max-bytes SIZE", "--csv", "--keep-line-ends"}) {
    EXPECT_NE(output.find(text), std::string::npos) << text << "\n" << output;
  }
}

}  // namespace
}  // namespace lorvant
