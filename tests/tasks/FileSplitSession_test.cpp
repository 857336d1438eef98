#include "tasks/FileSplitSession.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "base/Exception.h"
#include "base/Unicode.h"
#include "os/Env.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

std::string FrontOfSavedList() {
  TSavedTaskList list;
  list.SubKey = "Software\\Pelmora\\Lorvant\\Tasks";
  list.SetActive(true);
  return list.Items().empty() ? "" : list.Items().front();
}

std::set<std::string> FolderEntries(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(FileSplitSessionTest, NewSessionDefaults) {
  TFileSplitSession s;
  EXPECT_EQ(s.SourceFile, "");
  EXPECT_EQ(s.DestFolder, "");
  EXPECT_EQ(s.MaxLines, 0);
  EXPECT_EQ(s.FileName, "");
  EXPECT_EQ(s.FileFilter, "Split File Task (*.sft)|*.sft");
  EXPECT_EQ(s.DefaultExt, "sft");
  EXPECT_EQ(s.SavedTaskList().SubKey, "Software\\Pelmora\\Lorvant\\Tasks");
  std::unique_ptr<TTaskSession> other = s.NewSession();
  ASSERT_NE(dynamic_cast<TFileSplitSession*>(other.get()), nullptr);
}

TEST(FileSplitSessionTest, SaveWritesTaskFileListAndBackup) {
  std::string dir = test::MakeTempDir("save");
  std::string name = dir + "/a.sft";
  TFileSplitSession s;
  s.SourceFile = "/data/orders.csv";
  s.DestFolder = "/data/orders_split";
  s.MaxLines = 10000;
  s.SaveToFile(name);
  const std::string first =
      "[Split]\r\nSourceFile=/data/orders.csv\r\nDestFolder=/data/orders_split\r\n"
      "MaxLines=10000\r\n";
  EXPECT_EQ(test::ReadBytes(name), first);
  EXPECT_EQ(s.FileName, name);
  EXPECT_EQ(s.SavedTaskList().Items().front(), name);
  EXPECT_EQ(FrontOfSavedList(), name);
  EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"a.sft"}));

  s.MaxLines = -7;
  ::chmod(name.c_str(), 0600);  // the backup holds the same data: same permissions
  s.SaveToFile(name);
  EXPECT_EQ(test::ReadBytes(name + ".bak"), first);
  EXPECT_EQ(std::filesystem::status(name + ".bak").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  EXPECT_EQ(test::ReadBytes(name),
            "[Split]\r\nSourceFile=/data/orders.csv\r\nDestFolder=/data/orders_split\r\n"
            "MaxLines=-7\r\n");
  EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"a.sft", "a.sft.bak"}));
}

TEST(FileSplitSessionTest, SaveKeepsOtherContentOfTheFile) {
  struct Case {
    std::string before, after;
  } cases[] = {
      // The save dialog's empty first line, another section and another key
      // stay; keys are matched without regard to case and keep their place.
      {"\r\n[Other]\r\nX=1\r\n[split]\r\nmaxlines=3\r\nExtra=keep\r\n\r\n[Last]\r\n",
       "\r\n[Other]\r\nX=1\r\n[split]\r\nmaxlines=10\r\nExtra=keep\r\nSourceFile=/s.txt\r\n"
       "DestFolder=/out\r\n\r\n[Last]\r\n"},
      {"[Split]\r\nDestFolder=/old\r\nSourceFile=/old.txt\r\n",
       "[Split]\r\nDestFolder=/out\r\nSourceFile=/s.txt\r\nMaxLines=10\r\n"},
  };
  for (const Case& c : cases) {
    std::string name = test::MakeTempDir("keep") + "/k.sft";
    test::WriteBytes(name, c.before);
    TFileSplitSession s;
    s.SourceFile = "/s.txt";
    s.DestFolder = "/out";
    s.MaxLines = 10;
    s.SaveToFile(name);
    EXPECT_EQ(test::ReadBytes(name), c.after);
    EXPECT_EQ(test::ReadBytes(name + ".bak"), c.before);
  }
}

TEST(FileSplitSessionTest, Utf16TaskFileStaysUtf16) {
  std::string name = test::MakeTempDir("u16") + "/w.sft";
  test::WriteBytes(name, "\xFF\xFE" + Utf8ToUtf16("[Split]\r\nMaxLines=1\r\n", false));
  TFileSplitSession s;
  s.SourceFile = "/d\xC3\xA4t\xC3\xA4.txt";
  s.DestFolder = "/out";
  s.MaxLines = 2;
  s.WriteToFile(name);
  EXPECT_EQ(
      test::ReadBytes(name),
      "\xFF\xFE" + Utf8ToUtf16("[Split]\r\nMaxLines=2\r\nSourceFile=/d\xC3\xA4t\xC3\xA4.txt\r\n"
                               "DestFolder=/out\r\n",
                               false));
  TFileSplitSession back;
  back.ReadFromFile(name);
  EXPECT_TRUE(back.SameAs(s));
}

TEST(FileSplitSessionTest, ValuesRoundTrip) {
  const std::string paths[] = {
      "/My Tasks/orders 2024.csv",
      "/q/\"quoted\" name.txt",
      "/d/$HOME and `cmd` and \\back.txt",
      "/\xC3\xBC\x62\x65r/gr\xC3\xBC\xC3\x9F\x65/\xE6\x97\xA5\xE6\x9C\xAC.txt",
      "/trailing blank /x ",
      "'/single quoted'",
      "/a=b/c;d|e#f[g].txt",
      "/" + std::string(300000, 'x'),
  };
  std::string name = test::MakeTempDir("rt") + "/r.sft";
  for (const std::string& path : paths) {
    TFileSplitSession s;
    s.SourceFile = path;
    s.DestFolder = path + "/out";
    s.MaxLines = 1000000000;
    s.WriteToFile(name);
    TFileSplitSession back;
    back.ReadFromFile(name);
    EXPECT_EQ(back.SourceFile, s.SourceFile) << path.substr(0, 40);
    EXPECT_EQ(back.DestFolder, s.DestFolder) << path.substr(0, 40);
    EXPECT_EQ(back.MaxLines, s.MaxLines);
    EXPECT_EQ(back.FileName, "");
  }
}

TEST(FileSplitSessionTest, OptionsAreWrittenOnlyWhenSetOrAlreadyThere) {
  const std::string name = test::MakeTempDir("opt") + "/t.sft";
  // A task file as saved before the options existed, with a key of its own.
  const std::string old =
      "; mine\r\n[Split]\r\nSourceFile=/d/a.csv\r\nDestFolder=/d/out\r\nMaxLines=500\r\n"
      "Note=kept\r\n";
  test::WriteBytes(name, old);
  TFileSplitSession task;
  task.ReadFromFile(name);
  EXPECT_FALSE(task.HasOptions());
  task.WriteToFile(name);
  EXPECT_EQ(test::ReadBytes(name), old);  // byte for byte

  task.HeaderLines = 1;
  task.MaxBytes = 10 << 20;
  task.CsvRecords = true;
  task.KeepLineEnds = true;
  task.WriteToFile(name);
  EXPECT_NE(test::ReadBytes(name).find("HeaderLines=1\r\nMaxBytes=10M\r\nCsvRecords=1\r\n"
                                       "KeepLineEnds=1\r\n"),
            std::string::npos);
  TFileSplitSession back;
  back.ReadFromFile(name);
  EXPECT_TRUE(back.SameAs(task));

  // Switched off again, a key the file holds is set back, not left on.
  back.HeaderLines = 0;
  back.MaxBytes = 0;
  back.CsvRecords = false;
  back.KeepLineEnds = false;
  back.WriteToFile(name);
  TFileSplitSession off;
  off.ReadFromFile(name);
  EXPECT_FALSE(off.HasOptions());

  // What a hand-written file holds; what does not read is kept unreadable.
  const std::pair<std::string, std::pair<int32_t, int64_t>> cases[] = {
      {"HeaderLines=2\r\nMaxBytes=512k", {2, 512 << 10}},
      {"HeaderLines=x\r\nMaxBytes=1.5M", {-1, -1}},
      {"HeaderLines=\r\nMaxBytes=", {0, 0}},
      {"MaxBytes=3g", {0, int64_t{3} << 30}},
  };
  for (const auto& [keys, expected] : cases) {
    test::WriteBytes(name, "[Split]\r\nMaxLines=5\r\n" + keys + "\r\n");
    TFileSplitSession read;
    read.ReadFromFile(name);
    EXPECT_EQ(read.HeaderLines, expected.first) << keys;
    EXPECT_EQ(read.MaxBytes, expected.second) << keys;
  }
}

// The switches read as a profile's usual words, in any letter case; any
// other text is kept as a reason to refuse the run, never read as off.
TEST(FileSplitSessionTest, SwitchesReadAsOnOrOffOrAreRefused) {
  const std::string name = test::MakeTempDir("switch") + "/t.sft";
  const std::string refused = " must be 1 or 0 (yes or no, true or false, on or off), not ";
  struct Case {
    std::string keys;
    bool csv, keep_ends;
    std::string error;
  } cases[] = {
      {"CsvRecords=yes\r\nKeepLineEnds=on", true, true, ""},
      {"CsvRecords=TRUE\r\nKeepLineEnds=On", true, true, ""},
      {"CsvRecords=1\r\nKeepLineEnds=0x1", true, true, ""},
      {"CsvRecords= \"Yes\" \r\nKeepLineEnds=2", true, true, ""},
      {"CsvRecords=no\r\nKeepLineEnds=OFF", false, false, ""},
      {"CsvRecords=False\r\nKeepLineEnds=0", false, false, ""},
      {"CsvRecords=\r\nKeepLineEnds=", false, false, ""},
      {"CsvRecords=y\r\nKeepLineEnds=1", false, true, "CsvRecords" + refused + "\"y\"."},
      {"CsvRecords=1\r\nKeepLineEnds=enabled", true, false,
       "KeepLineEnds" + refused + "\"enabled\"."},
      {"CsvRecords=oui\r\nKeepLineEnds=nein", false, false, "CsvRecords" + refused + "\"oui\"."},
  };
  for (const Case& c : cases) {
    test::WriteBytes(name, "[Split]\r\nMaxLines=5\r\n" + c.keys + "\r\n");
    TFileSplitSession read;
    read.OptionError = "left from before";
    read.ReadFromFile(name);
    EXPECT_EQ(read.CsvRecords, c.csv) << c.keys;
    EXPECT_EQ(read.KeepLineEnds, c.keep_ends) << c.keys;
    EXPECT_EQ(read.OptionError, c.error) << c.keys;
  }
}

TEST(FileSplitSessionTest, SizeTexts) {
  const std::pair<std::string, int64_t> cases[] = {
      {"0", 0},
      {"1023", 1023},
      {"1K", 1024},
      {"10m", 10 << 20},
      {" 2G ", int64_t{2} << 30},
      {"", -1},
      {"K", -1},
      {"-1", -1},
      {"1.5M", -1},
      {"10MB", -1},
      {"4294967297G", -1},
      {"4294967296G", int64_t{1} << 62},
  };
  for (const auto& [text, bytes] : cases) EXPECT_EQ(ParseSizeText(text), bytes) << text;
  EXPECT_EQ(SizeText(10 << 20), "10M");
  EXPECT_EQ(SizeText(1536), "1536");
  EXPECT_EQ(SizeText(int64_t{3} << 30), "3G");
}

TEST(FileSplitSessionTest, ReadsWhatTheFileHolds) {
  struct Case {
    std::string bytes;
    std::string source, dest;
    int32_t max_lines;
  } cases[] = {
      {"[Split]\r\nMaxLines=0x10\r\n", "", "", 16},
      {"[Split]\r\nMaxLines=$1f\r\n", "", "", 31},
      {"[Split]\r\nMaxLines=ten\r\n", "", "", 0},
      {"[Split]\r\nMaxLines= -25 \r\n", "", "", -25},
      {"[Split]\r\nSourceFile=/a.txt\r\n", "/a.txt", "", 0},
      {"[Other]\r\nSourceFile=/a.txt\r\nMaxLines=5\r\n", "", "", 0},
      {"junk line\r\n[SPLIT]\nnot a key\n=\n  sourcefile  =  /a b/c.txt  \rDESTFOLDER=\"/q\"\n",
       "/a b/c.txt", "/q", 0},
      {"", "", "", 0},
  };
  std::string name = test::MakeTempDir("rd") + "/t.sft";
  for (const Case& c : cases) {
    test::WriteBytes(name, c.bytes);
    TFileSplitSession s;
    s.SourceFile = s.DestFolder = "stale";
    s.MaxLines = 99;
    s.ReadFromFile(name);
    EXPECT_EQ(s.SourceFile, c.source) << c.bytes;
    EXPECT_EQ(s.DestFolder, c.dest) << c.bytes;
    EXPECT_EQ(s.MaxLines, c.max_lines) << c.bytes;
  }
  TFileSplitSession missing;
  missing.MaxLines = 99;
  missing.ReadFromFile(name + ".missing");
  EXPECT_EQ(missing.MaxLines, 0);
}

TEST(FileSplitSessionTest, RelativeNameReadsFromCurrentFolder) {
  std::string dir = test::MakeTempDir("cwd");
  std::filesystem::create_directory(dir + "/sub");
  test::WriteBytes(dir + "/rel.sft", "[Split]\r\nSourceFile=/rel.txt\r\nMaxLines=3\r\n");
  std::string old = std::filesystem::current_path().string();
  ASSERT_EQ(::chdir(dir.c_str()), 0);
  TFileSplitSession a, b;
  a.ReadFromFile("rel.sft");
  b.ReadFromFile("sub/../rel.sft");
  ASSERT_EQ(::chdir(old.c_str()), 0);
  for (const TFileSplitSession* s : {&a, &b}) {
    EXPECT_EQ(s->SourceFile, "/rel.txt");
    EXPECT_EQ(s->MaxLines, 3);
  }
}

TEST(FileSplitSessionTest, LoadSetsNameAndMovesToFrontOfSavedList) {
  std::string dir = test::MakeTempDir("load");
  std::string first = dir + "/first.sft", second = dir + "/second.sft";
  test::WriteBytes(first, "[Split]\r\nSourceFile=/one.txt\r\nDestFolder=/o\r\nMaxLines=4\r\n");
  TFileSplitSession s;
  s.SaveToFile(second);
  EXPECT_EQ(FrontOfSavedList(), second);

  s.ReadFromFile(first);  // neither the name nor the list changes
  EXPECT_EQ(s.FileName, second);
  EXPECT_EQ(FrontOfSavedList(), second);
  EXPECT_EQ(s.SourceFile, "/one.txt");

  TFileSplitSession loaded;
  loaded.LoadFromFile(first);
  EXPECT_EQ(loaded.FileName, first);
  EXPECT_EQ(loaded.SourceFile, "/one.txt");
  EXPECT_EQ(loaded.DestFolder, "/o");
  EXPECT_EQ(loaded.MaxLines, 4);
  EXPECT_EQ(FrontOfSavedList(), first);
  EXPECT_FALSE(test::PathExists(first + ".bak"));
}

TEST(FileSplitSessionTest, WriteFailureNamesTheFile) {
  std::string name = test::MakeTempDir("fail") + "/missing/a.sft";
  TFileSplitSession s;
  s.SourceFile = "/a.txt";
  try {
    s.SaveToFile(name);
    FAIL() << "no error";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + name);
  }
  // By then the name is taken and the list updated.
  EXPECT_EQ(s.FileName, name);
  EXPECT_EQ(FrontOfSavedList(), name);
}

// Counts the replacements of one file, and can make them fail.
class RenameWatchEnv : public EnvWrapper {
 public:
  RenameWatchEnv(Env* target, std::string victim)
      : EnvWrapper(target), victim_(std::move(victim)) {}
  int RenameAt(int from_dir, const std::string& from, int to_dir, const std::string& to) override {
    if (to != victim_) return EnvWrapper::RenameAt(from_dir, from, to_dir, to);
    ++replacements;
    return fail ? EIO : EnvWrapper::RenameAt(from_dir, from, to_dir, to);
  }

  int replacements = 0;
  bool fail = false;

 private:
  std::string victim_;
};

TEST(FileSplitSessionTest, TaskFileIsReplacedWholeOrNotAtAll) {
  std::string dir = test::MakeTempDir("whole");
  std::string name = dir + "/w.sft";
  const std::string old = "[Split]\r\nSourceFile=/old.txt\r\nDestFolder=/old\r\nMaxLines=1\r\n";
  test::WriteBytes(name, old);
  RenameWatchEnv env(Env::Default(), "w.sft");
  ScopedEnv scoped(&env);
  TFileSplitSession s;
  s.SourceFile = "/new.txt";
  s.DestFolder = "/new";

  env.fail = true;
  EXPECT_THROW(s.WriteToFile(name), EIniFileException);
  EXPECT_EQ(test::ReadBytes(name), old);
  EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"w.sft"}));

  // One replacement carries all three keys: a crash never leaves a mix.
  env.fail = false;
  env.replacements = 0;
  s.WriteToFile(name);
  EXPECT_EQ(env.replacements, 1);
  EXPECT_EQ(test::ReadBytes(name),
            "[Split]\r\nSourceFile=/new.txt\r\nDestFolder=/new\r\nMaxLines=0\r\n");
  EXPECT_EQ(FolderEntries(dir), (std::set<std::string>{"w.sft"}));
}

// A save that lands between two reads of a task (a scheduled run while the
// window saves) never mixes versions: the keys come from one snapshot.
TEST(FileSplitSessionTest, KeysAreReadFromOneVersionOfTheFile) {
  const std::string dir = test::MakeTempDir("torn");
  const std::string name = dir + "/t.sft";
  test::WriteBytes(name, "[Split]\r\nSourceFile=/a.csv\r\nDestFolder=/out-a\r\nMaxLines=1\r\n");
  struct ReplacingEnv : EnvWrapper {
    ReplacingEnv() : EnvWrapper(Env::Default()) {}
    std::unique_ptr<SequentialFile> OpenForRead(const std::string& n) override {
      auto file = EnvWrapper::OpenForRead(n);
      if (++reads == 1) {  // saved anew, as a save does: the next read would see it
        test::WriteBytes(n + ".new", replacement);
        std::filesystem::rename(n + ".new", n);
      }
      return file;
    }
    std::string replacement;
    int reads = 0;
  } env;
  env.replacement = "[Split]\r\nSourceFile=/b.csv\r\nDestFolder=/out-b\r\nMaxLines=2\r\n";
  TFileSplitSession s;
  {
    ScopedEnv scoped(&env);
    s.ReadFromFile(name);
  }
  EXPECT_EQ(env.reads, 1);
  EXPECT_EQ(s.SourceFile, "/a.csv");
  EXPECT_EQ(s.DestFolder, "/out-a");
  EXPECT_EQ(s.MaxLines, 1);
}

TEST(FileSplitSessionTest, DescriptionAndDisplayName) {
  TFileSplitSession s;
  s.SourceFile = "/a.txt";
  s.DestFolder = "/out";
  s.MaxLines = 500;
  const std::string description = "From : /a.txt\r\nTo : /out\r\nMax Lines per Split File: 500";
  EXPECT_EQ(s.GetDescription(), description);
  EXPECT_EQ(s.GetDisplayName(), description);
  s.FileName = "/t/a.sft";
  EXPECT_EQ(s.GetDisplayName(), "/t/a.sft");
}

class OtherSession : public TTaskSession {
 public:
  bool SameAs(const TTaskSession&) const override { return false; }
  void WriteToFile(const std::string&) override {}
  void ReadFromFile(const std::string&) override {}
  std::unique_ptr<TTaskSession> NewSession() const override {
    return std::make_unique<OtherSession>();
  }
  std::string GetDescription() const override { return ""; }
};

TEST(FileSplitSessionTest, SameAsComparesTheThreeSettingsExactly) {
  struct Case {
    std::string source, dest;
    int32_t max_lines;
    bool same;
  } cases[] = {
      {"/a.txt", "/out", 10, true},
      {"/A.txt", "/out", 10, false},
      {"/a.txt", "/Out", 10, false},
      {"/a.txt", "/out", 11, false},
  };
  TFileSplitSession s;
  s.SourceFile = "/a.txt";
  s.DestFolder = "/out";
  s.MaxLines = 10;
  s.FileName = "/ignored.sft";
  for (const Case& c : cases) {
    TFileSplitSession other;
    other.SourceFile = c.source;
    other.DestFolder = c.dest;
    other.MaxLines = c.max_lines;
    EXPECT_EQ(s.SameAs(other), c.same) << c.source << " " << c.dest << " " << c.max_lines;
  }
  OtherSession other_kind;
  EXPECT_THROW(s.SameAs(other_kind), EInvalidCast);
}

}  // namespace
}  // namespace lorvant
