#include "textio/BlockTextReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "log/Log.h"
#include "support/TestEnv.h"
#include "textio/TxtFileLineCounter.h"

namespace lorvant {
namespace {

std::vector<std::string> ReadAllBytes(const std::string& file, size_t block = 16) {
  TBlockTextReader reader(block);
  reader.Open(file);
  std::vector<std::string> lines;
  while (reader.ReadLine()) lines.emplace_back(reader.CurrentBytes());
  EXPECT_EQ(reader.CurrentBytes(), "");
  EXPECT_FALSE(reader.ReadLine());  // and again: still nothing
  return lines;
}

std::string U16LE(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out;
}
std::string U16BE(const std::string& ascii) {
  std::string out;
  for (char c : ascii) out += std::string{'\0', c};
  return out;
}

struct LinesCase {
  const char* name;
  std::string bytes;
  std::vector<std::string> lines;
};

TEST(BlockTextReaderTest, LineBytesTable) {
  const std::string long_line(100, 'x');  // spans several 16-byte blocks
  const LinesCase cases[] = {
      {"empty", "", {}},
      {"no final end", "a\nb", {"a", "b"}},
      {"crlf end", "a\r\nb\r\n", {"a", "b"}},
      {"lone cr", "a\rb\r", {"a", "b"}},
      {"lf cr", "a\n\rb", {"a", "", "b"}},
      {"empty lines", "\n\n\r\n", {"", "", ""}},
      {"nul is text", std::string("a\0b\n\0", 5), {std::string("a\0b", 3), std::string("\0", 1)}},
      {"utf8 mark", "\xEF\xBB\xBFx\ny", {"x", "y"}},
      {"mark only", "\xEF\xBB\xBF", {""}},
      {"inner mark kept",
       "a\xEF\xBB\xBF"
       "b\n",
       {"a\xEF\xBB\xBF"
        "b"}},
      {"long line", "s\n" + long_line + "\r\nt", {"s", long_line, "t"}},
      {"cr lf across blocks", std::string(15, 'q') + "\r\nz", {std::string(15, 'q'), "z"}},
      {"invalid utf8 kept", "\xC3\x28\xFF\n", {"\xC3\x28\xFF"}},
      {"utf16le mark", "\xFF\xFE" + U16LE("ab\r\ncd\re"), {U16LE("ab"), U16LE("cd"), U16LE("e")}},
      {"utf16be mark", "\xFE\xFF" + U16BE("ab\ncd\r\n"), {U16BE("ab"), U16BE("cd")}},
      {"utf16le no mark", U16LE("ab\ncd"), {U16LE("ab"), U16LE("cd")}},
      {"utf16 odd length", "\xFF\xFE" + U16LE("a\n") + "X", {U16LE("a"), "X"}},
      {"utf16 unit 0x0A0A is text", "\xFF\xFE\x0A\x0A" + U16LE("\n"), {"\x0A\x0A"}},
  };
  std::string dir = test::MakeTempDir();
  for (const LinesCase& c : cases) {
    std::string file = dir + "/f";
    test::WriteBytes(file, c.bytes);
    for (size_t block : {16, 17, 4096}) {
      EXPECT_EQ(ReadAllBytes(file, block), c.lines) << c.name << " block " << block;
    }
  }
}

TEST(BlockTextReaderTest, EncodingNameAndDecodedLines) {
  std::string dir = test::MakeTempDir();
  struct Case {
    std::string bytes, encoding, first_line;
  } cases[] = {
      {"h\xC3\xA9llo\n", "Ansi", "h\xC3\xA9llo"},
      {"\xEF\xBB\xBFh\xC3\xA9\n", "UTF-8", "h\xC3\xA9"},
      {"\xEF\xBB\xBFh\xE9\n", "UTF-8", "h\xEF\xBF\xBD"},  // invalid: falls back, never fails
      {"\xFF\xFE" + U16LE("hi\n"), "Unicode", "hi"},
      {"\xFE\xFF" + U16BE("hi\n"), "Unicode Big Endian", "hi"},
  };
  for (const Case& c : cases) {
    std::string file = dir + "/f";
    test::WriteBytes(file, c.bytes);
    TLog::DebugLog()->Clear();
    TBlockTextReader reader;
    reader.Open(file);
    EXPECT_EQ(reader.EncodingName(), c.encoding);
    ASSERT_TRUE(reader.ReadLine());
    EXPECT_EQ(reader.CurrentLine(), c.first_line);
    ASSERT_FALSE(TLog::DebugLog()->Lines().empty());
    EXPECT_EQ(TextAfter(TLog::DebugLog()->Lines().back(), "[debug]\t"),
              "BlockTextReader EncodingName " + c.encoding);
  }
}

TEST(BlockTextReaderTest, BadFiles) {
  std::string dir = test::MakeTempDir();
  TBlockTextReader reader;
  EXPECT_THROW(reader.Open(dir + "/missing.txt"), EFOpenError);
  EXPECT_THROW(reader.Open(dir), EFOpenError);
  // A pipe or a device has no size and may never end: refused at once.
  ASSERT_EQ(::mkfifo((dir + "/fifo").c_str(), 0600), 0);
  EXPECT_THROW(reader.Open(dir + "/fifo"), EFOpenError);
  EXPECT_THROW(reader.Open("/dev/zero"), EFOpenError);
  if (::geteuid() != 0) {  // root reads everything
    std::string locked = dir + "/locked.txt";
    test::WriteBytes(locked, "x\n");
    ::chmod(locked.c_str(), 0);
    EXPECT_THROW(reader.Open(locked), EFOpenError);
  }
}

TEST(BlockTextReaderTest, FileThatShrinksWhileReadRaisesReadError) {
  std::string file = test::MakeTempDir() + "/shrink.txt";
  std::string text;
  for (int i = 0; i < 100; ++i) text += "line " + std::to_string(i) + "\n";
  test::WriteBytes(file, text);
  TBlockTextReader reader(64);
  reader.Open(file);
  ASSERT_TRUE(reader.ReadLine());
  ASSERT_EQ(::truncate(file.c_str(), 100), 0);
  EXPECT_THROW(
      {
        while (reader.ReadLine()) {
        }
      },
      EReadError);
}

// Files that report size 0 whatever they hold, as the kernel's own files
// (/proc/cpuinfo) do.
class SizeZeroEnv : public EnvWrapper {
 public:
  SizeZeroEnv() : EnvWrapper(Env::Default()) {}
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    struct File : SequentialFile {
      std::unique_ptr<SequentialFile> real;
      size_t Read(char* buf, size_t n) override {
        return real->Read(buf, std::min<size_t>(n, 7));  // a few bytes a read, as such files give
      }
      FileInfo Info() override {
        FileInfo info = real->Info();
        info.size = 0;
        return info;
      }
    };
    auto file = std::make_unique<File>();
    file->real = target()->OpenForRead(name);
    return file;
  }
};

// The size is a hint: the reader and the line counter read to the end and
// see the same lines (and layout) as for the file's true size.
TEST(BlockTextReaderTest, AFileThatReportsSizeZeroIsReadToItsEnd) {
  const std::string file = test::MakeTempDir() + "/proc-like";
  const std::string long_line(100, 'x');
  const LinesCase cases[] = {
      {"lines", "processor\t: 0\nvendor_id\t: x\n\nprocessor\t: 1\n", {}},
      {"no final end", "a\r\nb\rc", {}},
      {"cr at a block's end", std::string(15, 'q') + "\r\nz\r", {}},
      {"long line", "s\n" + long_line + "\r\nt\n", {}},
      {"utf8 mark", "\xEF\xBB\xBFx\ny", {}},
      {"mark only", "\xEF\xBB\xBF", {}},
      {"utf16le mark", "\xFF\xFE" + U16LE("a\r\nb\nc"), {}},
      {"utf16be unmarked", U16BE("ab\rcd\r\n"), {}},
      {"empty", "", {}},
  };
  for (const LinesCase& c : cases) {
    SCOPED_TRACE(c.name);
    test::WriteBytes(file, c.bytes);
    const std::vector<std::string> expected = ReadAllBytes(file);
    const int64_t count = TTxtFileLineCounter::CountLines(file);
    ASSERT_EQ(static_cast<int64_t>(expected.size()), count);
    TBlockTextReader sized(16);
    sized.Open(file);
    SizeZeroEnv zero;
    ScopedEnv scoped(&zero);
    EXPECT_EQ(ReadAllBytes(file), expected);
    EXPECT_EQ(TTxtFileLineCounter::CountLines(file), count);
    TBlockTextReader reader(16);
    reader.Open(file);
    EXPECT_EQ(reader.FileSize(), 0);
    EXPECT_EQ(reader.EncodingName(), sized.EncodingName());
  }
}

TEST(BlockTextReaderTest, LinesAcrossRealBlockBoundaries) {
  // A CR LF pair split exactly at 4 MiB, and a line of more than 8 MiB.
  const size_t block = TBlockTextReader::kBlockSize;
  std::string first(block - 1, 'a');
  std::string huge(9 << 20, 'h');
  std::string file = test::MakeTempDir() + "/big.txt";
  test::WriteBytes(file, first + "\r\n" + huge + "\nend");
  TBlockTextReader reader;
  reader.Open(file);
  ASSERT_TRUE(reader.ReadLine());
  EXPECT_EQ(reader.CurrentBytes().size(), first.size());
  ASSERT_TRUE(reader.ReadLine());
  EXPECT_EQ(reader.CurrentBytes(), huge);
  ASSERT_TRUE(reader.ReadLine());
  EXPECT_EQ(reader.CurrentBytes(), "end");
  EXPECT_FALSE(reader.ReadLine());
}

}  // namespace
}  // namespace lorvant
