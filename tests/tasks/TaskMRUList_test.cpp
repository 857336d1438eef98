#include "tasks/TaskMRUList.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Unicode.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

std::string NewListFile(const std::string& bytes = "") {
  std::string name = test::MakeTempDir("mru") + "/recent_tasks.txt";
  if (!bytes.empty()) test::WriteBytes(name, bytes);
  return name;
}

TTaskDesc Desc(int n) {
  TTaskDesc d;
  d.Time = "2024-05-0" + std::to_string(n) + " 10:00:00";
  d.TaskFile = "/data/Lorvant/2024_05_0" + std::to_string(n) + "_10_00_00.sft";
  d.SourceName = "orders" + std::to_string(n) + ".csv";
  return d;
}

TEST(TaskMRUListTest, AddKeepsFiveNewestFirst) {
  std::string name = NewListFile();
  {
    TTaskMRUList list(name);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(test::PathExists(name));  // nothing written by loading
  }
  for (int n = 1; n <= 6; ++n) {
    TTaskMRUList list(name);  // a fresh list per run, as the splitter opens it
    list.Add(Desc(n));
  }
  std::string expected;
  for (int n = 6; n >= 2; --n) expected += Desc(n).ToText() + "\r\n";
  EXPECT_EQ(test::ReadBytes(name), expected);

  TTaskMRUList list(name);
  ASSERT_EQ(list.Count(), 5);
  TTaskDesc d;
  list.GetItem(4, &d);
  EXPECT_EQ(d.Time, "2024-05-02 10:00:00");
  EXPECT_EQ(d.TaskFile, "/data/Lorvant/2024_05_02_10_00_00.sft");
  EXPECT_EQ(d.SourceName, "orders2.csv");
  EXPECT_THROW(list.GetItem(5, &d), EListError);
  EXPECT_THROW(list.GetItem(-1, &d), EListError);
}

TEST(TaskMRUListTest, HandEditedFileIsLoadedWholeAndLosesOneLine) {
  std::string bytes;
  for (int n = 1; n <= 8; ++n) bytes += "t" + std::to_string(n) + "|/f|s\r\n";
  std::string name = NewListFile(bytes);
  TTaskMRUList list(name);
  EXPECT_EQ(list.Count(), 8);
  list.Add(Desc(9));
  std::string expected = Desc(9).ToText() + "\r\n";
  for (int n = 1; n <= 7; ++n) expected += "t" + std::to_string(n) + "|/f|s\r\n";
  EXPECT_EQ(test::ReadBytes(name), expected);
}

TEST(TaskMRUListTest, LinesEndAtCrLfLfOrCr) {
  TTaskMRUList list(NewListFile("a|b|c\nd|e|f\rg|h|i\r\n\r\nj|k|l"));
  EXPECT_EQ(list.Items, (std::vector<std::string>{"a|b|c", "d|e|f", "g|h|i", "", "j|k|l"}));
}

TEST(TaskMRUListTest, FileWithMarkIsWrittenBackInItsEncoding) {
  const std::string old_line = "t|/f/\xC3\xA4.sft|\xE6\x97\xA5.txt";
  struct Case {
    std::string mark;
    bool utf16, big_endian;
  } cases[] = {
      {"", false, false},
      {"\xEF\xBB\xBF", false, false},
      {"\xFF\xFE", true, false},
      {"\xFE\xFF", true, true},
  };
  for (const Case& c : cases) {
    auto encode = [&](const std::string& text) {
      return c.mark + (c.utf16 ? Utf8ToUtf16(text, c.big_endian) : text);
    };
    std::string name = NewListFile(encode(old_line + "\r\n"));
    TTaskMRUList list(name);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Items[0], old_line);
    list.Add(Desc(1));
    EXPECT_EQ(test::ReadBytes(name), encode(Desc(1).ToText() + "\r\n" + old_line + "\r\n"))
        << c.mark.size();
  }
}

TEST(TaskMRUListTest, LineBreakInNameCannotSplitARecord) {
  std::string name = NewListFile();
  TTaskMRUList list(name);
  TTaskDesc d = Desc(1);
  d.SourceName = "two\r\nlines\n.csv";
  list.Add(d);
  TTaskMRUList back(name);
  ASSERT_EQ(back.Count(), 1);
  TTaskDesc read;
  back.GetItem(0, &read);
  EXPECT_EQ(read.SourceName, "two  lines .csv");
}

TEST(TaskMRUListTest, UnwritableFileRaisesTheFileError) {
  TTaskMRUList list(test::MakeTempDir("mru") + "/missing/recent_tasks.txt");
  EXPECT_THROW(list.Add(Desc(1)), EFCreateError);
}

TEST(TaskMRUListTest, ListFileLivesInTheApplicationDataFolder) {
  EXPECT_EQ(RecentTaskListFile(),
            std::string(::getenv("XDG_DATA_HOME")) + "/Lorvant/recent_tasks.txt");
}

TEST(TaskDescTest, FromText) {
  struct Case {
    std::string line;
    std::string time, task_file, source_name;
  } cases[] = {
      {"2024-05-01 10:00:00|/d/a.sft|a.csv", "2024-05-01 10:00:00", "/d/a.sft", "a.csv"},
      {" \t2024-05-01 10:00:00|/d/a b.sft|a.csv \r", "2024-05-01 10:00:00", "/d/a b.sft", "a.csv"},
      {"t|/d/a.sft|or|ders.csv", "t", "/d/a.sft", "or"},  // a "|" in the name cuts it
      {"||", "", "", ""},
  };
  for (const Case& c : cases) {
    TTaskDesc d;
    d.FromText(c.line);
    EXPECT_EQ(d.Time, c.time) << c.line;
    EXPECT_EQ(d.TaskFile, c.task_file) << c.line;
    EXPECT_EQ(d.SourceName, c.source_name) << c.line;
  }
}

TEST(TaskDescTest, SourceNameWithBarReadsBackCut) {
  std::string name = NewListFile();
  TTaskDesc d = Desc(1);
  d.SourceName = "left|right.csv";
  TTaskMRUList(name).Add(d);
  TTaskDesc back;
  TTaskMRUList(name).GetItem(0, &back);
  EXPECT_EQ(back.TaskFile, d.TaskFile);
  EXPECT_EQ(back.SourceName, "left");
}

TEST(TaskDescTest, FewerThanThreePiecesIsAListError) {
  struct Case {
    std::string line;
    std::string time, task_file;  // what is set before the error
  } cases[] = {
      {"", "", ""},
      {"2024-05-01 10:00:00", "2024-05-01 10:00:00", ""},
      {"t|/d/a.sft", "t", "/d/a.sft"},
  };
  for (const Case& c : cases) {
    TTaskDesc d;
    EXPECT_THROW(d.FromText(c.line), EListError) << c.line;
    EXPECT_EQ(d.Time, c.time) << c.line;
    EXPECT_EQ(d.TaskFile, c.task_file) << c.line;
  }
}

}  // namespace
}  // namespace lorvant
