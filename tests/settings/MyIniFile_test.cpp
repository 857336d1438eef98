#include "settings/MyIniFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "base/Exception.h"
#include "base/Unicode.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

using namespace std::string_literals;

std::string NewFile(const std::string& bytes = "") {
  static int n = 0;
  std::string name = test::MakeTempDir("ini") + "/task" + std::to_string(n++) + ".sft";
  if (!bytes.empty()) test::WriteBytes(name, bytes);
  return name;
}

std::string Utf16(const std::string& text) { return "\xFF\xFE" + Utf8ToUtf16(text, false); }

TEST(MyIniFileTest, NewFileHasTheTaskLayout) {
  std::string name = NewFile();
  TMyIniFile ini(name);
  ini.WriteString("Split", "SourceFile", "/data/orders.csv");
  ini.WriteString("Split", "DestFolder", "/data/orders_split");
  ini.WriteInteger("Split", "MaxLines", 10000);
  EXPECT_EQ(test::ReadBytes(name),
            "[Split]\r\nSourceFile=/data/orders.csv\r\nDestFolder=/data/orders_split\r\n"
            "MaxLines=10000\r\n");
  ini.WriteInteger("Split", "MaxLines", -7);
  EXPECT_EQ(ini.ReadInteger("Split", "MaxLines", 0), -7);
}

TEST(MyIniFileTest, ValuesReadBackAsWritten) {
  const std::string values[] = {
      "plain",
      "/path with spaces/a b.txt",
      " leading",
      "trailing\t",
      "\"quoted\"",
      "'single'",
      "\"half",
      "a=b=c",
      "",
      "[not a section]",
      "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC",
      std::string("/raw\xE9\xFF", 6),
  };
  std::string name = NewFile();
  TMyIniFile ini(name);
  for (const std::string& v : values) {
    ini.WriteString("S", "Key", v);
    EXPECT_EQ(ini.ReadString("S", "Key", "default"), v) << v;
  }
}

TEST(MyIniFileTest, NamesMatchWithoutCase) {
  std::string name = NewFile("[split]\r\nsourcefile=/a\r\n");
  TMyIniFile ini(name);
  EXPECT_EQ(ini.ReadString("SPLIT", "SourceFile", ""), "/a");
  ini.WriteString("Split", "SOURCEFILE", "/b");
  EXPECT_EQ(test::ReadBytes(name), "[split]\r\nsourcefile=/b\r\n");
}

TEST(MyIniFileTest, WriteTouchesOnlyItsKey) {
  const std::string before =
      "\r\n"
      "; a comment\r\n"
      "orphan=1\r\n"
      "[Other]\r\n"
      "MaxLines=1\r\n"
      "[ Split ]\r\n"
      "junk line\n"
      "  MaxLines = 5  \r"
      "Extra=keep\r\n"
      "\r\n"
      "[Split]\r\n"
      "SourceFile=second section is never used\r\n"
      "[Last]\r\n"
      "k=v";
  std::string name = NewFile(before);
  TMyIniFile ini(name);
  EXPECT_EQ(ini.ReadInteger("Split", "MaxLines", 0), 5);
  EXPECT_EQ(ini.ReadString("Split", "SourceFile", "none"), "none");
  EXPECT_EQ(ini.ReadString("", "orphan", "none"), "none");
  ini.WriteInteger("Split", "MaxLines", 20);
  ini.WriteString("Split", "SourceFile", "/src");
  ini.WriteString("Last", "k2", "v2");
  ini.WriteString("New", "a", "b");
  EXPECT_EQ(test::ReadBytes(name),
            "\r\n"
            "; a comment\r\n"
            "orphan=1\r\n"
            "[Other]\r\n"
            "MaxLines=1\r\n"
            "[ Split ]\r\n"
            "junk line\n"
            "MaxLines=20\r"
            "Extra=keep\r\n"
            "SourceFile=/src\r\n"
            "\r\n"
            "[Split]\r\n"
            "SourceFile=second section is never used\r\n"
            "[Last]\r\n"
            "k=v\r\n"
            "k2=v2\r\n"
            "[New]\r\n"
            "a=b\r\n");
}

TEST(MyIniFileTest, MarkedFilesKeepTheirEncoding) {
  const std::string text = "\r\n[Split]\r\nMaxLines=5\r\n[\xC3\x84]\r\n\xC3\xA4=\xE2\x82\xAC\r\n";
  struct Case {
    std::string bytes, after;
  } cases[] = {
      {Utf16(text), Utf16("\r\n[Split]\r\nMaxLines=5\r\nSourceFile=/d\xC3\xA9j\xC3\xA0\r\n"
                          "[\xC3\x84]\r\n\xC3\xA4=\xE2\x82\xAC\r\n")},
      {"\xEF\xBB\xBF" + text,
       "\xEF\xBB\xBF\r\n[Split]\r\nMaxLines=5\r\nSourceFile=/d\xC3\xA9j\xC3\xA0\r\n"
       "[\xC3\x84]\r\n\xC3\xA4=\xE2\x82\xAC\r\n"},
  };
  for (const Case& c : cases) {
    std::string name = NewFile(c.bytes);
    TMyIniFile ini(name);
    EXPECT_EQ(ini.ReadInteger("split", "maxlines", 0), 5);
    EXPECT_EQ(ini.ReadString("\xC3\x84", "\xC3\xA4", ""), "\xE2\x82\xAC");
    ini.WriteString("Split", "SourceFile", "/d\xC3\xA9j\xC3\xA0");
    EXPECT_EQ(test::ReadBytes(name), c.after);
    EXPECT_EQ(ini.ReadString("Split", "SourceFile", ""), "/d\xC3\xA9j\xC3\xA0");
  }
}

TEST(MyIniFileTest, LongValuesAreCutAtTheLimit) {
  const std::string e_acute = "\xC3\xA9";
  struct Case {
    std::string value, expected;
  } cases[] = {
      {std::string(5000, 'x'), std::string(5000, 'x')},
      {std::string(TMyIniFile::kMaxValueLength, 'y'),
       std::string(TMyIniFile::kMaxValueLength, 'y')},
      {std::string(TMyIniFile::kMaxValueLength + 1, 'z'),
       std::string(TMyIniFile::kMaxValueLength, 'z')},
  };
  for (const Case& c : cases) {
    TMyIniFile ini(NewFile("[S]\r\nk=" + c.value + "\r\n"));
    EXPECT_EQ(ini.ReadString("S", "k", ""), c.expected);
  }
  std::string wide;  // characters, not bytes, are counted
  for (size_t i = 0; i <= TMyIniFile::kMaxValueLength; ++i) wide += e_acute;
  TMyIniFile ini(NewFile("[S]\r\nk=" + wide + "\r\n"));
  EXPECT_EQ(ini.ReadString("S", "k", ""), wide.substr(2));
}

TEST(MyIniFileTest, ReadIntegerConversions) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"0x10", 16},
      {"$1F", 31},
      {"0X1a", 26},
      {"-5", -5},
      {"+12", 12},
      {"  42  ", 42},
      {"\"7\"", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"$7FFFFFFF", INT32_MAX},
      {"ten", -1},
      {"", -1},
      {"0x", -1},
      {"$", -1},
      {"-", -1},
      {"99999999999", -1},
      {"2147483648", -1},
      {"$80000000", -1},
      {"-0x10", -1},
      {"1 2", -1},
      {"0x1G", -1},
      {"12abc", -1},
      {"1.5", -1},
  };
  for (const Case& c : cases) {
    TMyIniFile ini(NewFile(std::string("[Split]\r\nMaxLines=") + c.text + "\r\n"));
    EXPECT_EQ(ini.ReadInteger("Split", "MaxLines", -1), c.expected) << c.text;
  }
}

TEST(MyIniFileTest, QuotesAndBlanksAreDropped) {
  struct Case {
    const char* line;
    const char* expected;
  } cases[] = {
      {"k=\"abc\"", "abc"},
      {"k='abc'", "abc"},
      {"k=\"abc'", "\"abc'"},
      {"k=  \"a b\"  ", "a b"},
      {"k=\"\"", ""},
      {"k=\"", "\""},
      {"k=\"\"x\"\"", "\"x\""},
      {" k \t= \t v w \t", "v w"},
      {"k=", ""},
  };
  for (const Case& c : cases) {
    TMyIniFile ini(NewFile(std::string("[S]\r\n") + c.line + "\r\n"));
    EXPECT_EQ(ini.ReadString("S", "k", "default"), c.expected) << c.line;
  }
}

TEST(MyIniFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  std::string name = NewFile("[S]\r\nk=v\r\n");
  const std::string missing_file = test::MakeTempDir("ini") + "/none.sft";
  struct Case {
    std::string file, section, key;
  } cases[] = {{missing_file, "S", "k"}, {name, "T", "k"}, {name, "S", "j"}};
  for (const Case& c : cases) {
    TMyIniFile ini(c.file);
    EXPECT_EQ(ini.ReadString(c.section, c.key, "def"), "def");
    EXPECT_EQ(ini.ReadInteger(c.section, c.key, 3), 3);
  }
  EXPECT_FALSE(test::PathExists(missing_file));
}

TEST(MyIniFileTest, FailedWritesRaiseAndLeaveTheFile) {
  const std::string dir = test::MakeTempDir("ini");
  const std::string no_folder = dir + "/missing/a.sft";
  TMyIniFile ini(no_folder);
  try {
    ini.WriteString("Split", "SourceFile", "/x");
    FAIL() << "no exception";
  } catch (const EIniFileException& e) {
    EXPECT_EQ(e.Message(), "Unable to write to " + no_folder);
  }
  EXPECT_THROW(ini.WriteInteger("Split", "MaxLines", 1), EIniFileException);

  // Refused values and names: line breaks would add lines of their own.
  std::string name = NewFile("[S]\r\nk=v\r\n");
  TMyIniFile existing(name);
  const std::string bad[][3] = {
      {"S", "k", "a\r\n[Evil]"}, {"S", "k", "a\nb"}, {"S", "k", "a\rb"}, {"S\r\nx", "k", "v"},
      {"S", "k=1", "v"},         {"S]", "k", "v"},   {"", "k", "v"},     {"S", "", "v"}};
  for (const auto& b : bad) {
    EXPECT_THROW(existing.WriteString(b[0], b[1], b[2]), EIniFileException) << b[2];
  }
  EXPECT_EQ(test::ReadBytes(name), "[S]\r\nk=v\r\n");

  if (::geteuid() != 0) {  // root writes read-only files
    ::chmod(name.c_str(), 0444);
    EXPECT_THROW(existing.WriteString("S", "k", "w"), EIniFileException);
    EXPECT_EQ(test::ReadBytes(name), "[S]\r\nk=v\r\n");
  }
}

TEST(MyIniFileTest, DamagedFilesReadWithoutHarm) {
  const std::string cases[] = {
      "\x00\x01\xFF\xFE[S]\x00k=\x80\x81\r\n\x1b["s,
      "[S]\r\nk=v",                  // no final line end
      "[S]\r\nk=\"abc",              // cut inside a quoted value
      "[S",                          // cut inside the header
      "\xFF\xFE",                    // a mark and nothing else
      "\xFF\xFE[\0S\0]\0\r"s,        // UTF-16 cut inside a code unit
      "\xEF\xBB",                    // half a UTF-8 mark
      "\xFF\xFE\x00\xD8k\0=\0v\0"s,  // unpaired surrogate
  };
  for (const std::string& bytes : cases) {
    std::string name = NewFile(bytes);
    TMyIniFile ini(name);
    (void)ini.ReadString("S", "k", "d");
    EXPECT_EQ(ini.ReadInteger("S", "x", 9), 9);
    ini.WriteString("S", "k2", "v2");
    EXPECT_EQ(ini.ReadString("S", "k2", ""), "v2") << bytes;
    ini.WriteString("S", "k2", "v3");
    EXPECT_EQ(ini.ReadString("S", "k2", ""), "v3") << bytes;
  }
}

}  // namespace
}  // namespace lorvant
