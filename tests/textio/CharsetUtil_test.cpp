#include "textio/CharsetUtil.h"

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

struct BomCase {
  std::string bytes, bom, reader_name, counter_name;
};

TEST(CharsetUtilTest, MarksAndEncodingNames) {
  const BomCase cases[] = {
      {"", "", "Ansi", "UTF-8"},
      {"\xFF\xFE", "\xFF\xFE", "Unicode", "Unicode"},
      {"\xEF\xBB", "", "Ansi", "UTF-8"},
      {"\xEF\xBB\xBF\x00\x41\x00\x42", "\xEF\xBB\xBF", "UTF-8", "UTF-8"},
      {std::string("\xFE\xFF\x00\x41", 4), "\xFE\xFF", "Unicode Big Endian", "Unicode Big Endian"},
      {"abc", "", "Ansi", "UTF-8"},
      {std::string("\x00\x41\x00\x42", 4), "", "Ansi", "Unicode Big Endian"},
      {std::string("\x41\x00\x42\x00", 4), "", "Ansi", "Unicode"},
      {"ABCD", "", "Ansi", "UTF-8"},
  };
  std::string dir = test::MakeTempDir();
  for (const BomCase& c : cases) {
    std::string file = dir + "/f";
    test::WriteBytes(file, c.bytes);
    EXPECT_EQ(GetFileBOM(file), c.bom) << c.bytes;
    EXPECT_EQ(BOMToEncodingName(GetFileBOM(file)), c.reader_name) << c.bytes;
    EXPECT_EQ(GetFileEncodingName(file), c.counter_name) << c.bytes;
  }
  EXPECT_THROW(GetFileBOM(dir + "/missing"), EFOpenError);
  EXPECT_THROW(GetFileBOM(dir), EFOpenError);
}

TEST(CharsetUtilTest, Decoders) {
  EXPECT_EQ(DecodeBytes("h\xC3\xA9", "UTF-8"), "h\xC3\xA9");
  EXPECT_EQ(DecodeBytes("h\xE9", "UTF-8"), "");  // strict
  EXPECT_EQ(DecodeBytes("h\xE9", "Ansi"), "h\xEF\xBF\xBD");
  EXPECT_EQ(DecodeBytes(std::string("a\0\xE9\0", 4), "Unicode"), "a\xC3\xA9");
  EXPECT_EQ(DecodeBytes(std::string("\0a\xD8\x3D\xDE\x00", 6), "Unicode Big Endian"),
            "a\xF0\x9F\x98\x80");
  EXPECT_EQ(DecodeBytes(std::string("a\0b", 3), "Unicode"), "a\xEF\xBF\xBD");  // odd length
}

TEST(CharsetUtilTest, StringHelpers) {
  std::vector<std::string> parts;
  SplitString("a\\b\\c", '\\', &parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"a", "b", "c"}));
  SplitString("", '|', &parts);
  EXPECT_EQ(parts, (std::vector<std::string>{""}));
  SplitString("  x|y|\r\n", '|', &parts);
  EXPECT_EQ(parts, (std::vector<std::string>{"x", "y", ""}));
  EXPECT_EQ(TextAfter("key=value=2", "="), "value=2");
  EXPECT_EQ(TextAfter("abc", "="), "");
  EXPECT_EQ(TextBefore("key=value", "="), "key");
  EXPECT_EQ(TextBefore("abc", "="), "");
}

TEST(CharsetUtilTest, ReadTextFileNormalisesLineEnds) {
  std::string file = test::MakeTempDir() + "/t.txt";
  test::WriteBytes(file, "a\nb\r\nc\rd");
  EXPECT_EQ(ReadTextFile(file), "a\r\nb\r\nc\r\nd\r\n");
  test::WriteBytes(file, std::string("\xFF\xFE"
                                     "a\0\n\0",
                                     6));
  EXPECT_EQ(ReadTextFile(file), "a\r\n");
  EXPECT_THROW(ReadTextFile(file + ".missing"), EFOpenError);
}

}  // namespace
}  // namespace lorvant
