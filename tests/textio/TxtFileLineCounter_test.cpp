#include "textio/TxtFileLineCounter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include <gtest/gtest.h>

#include "support/TestEnv.h"
#include "textio/BlockTextReader.h"
#include "textio/FileLineCountCache.h"

namespace lorvant {
namespace {

TEST(TxtFileLineCounterTest, CountTable) {
  const std::pair<std::string, int64_t> cases[] = {
      {"", 0},
      {"a\nb", 2},
      {"a\nb\n", 2},
      {"a\r\nb\r\n", 2},
      {"a\rb\r", 2},  // a lone CR ends a line, as the reader says
      {"a\n\r", 2},
      {std::string("a\n\0", 3), 2},  // a final NUL is a line, as the reader says
      {std::string("\0", 1), 1},
      {"\xEF\xBB\xBF", 1},
      {std::string("\xFF\xFE\x61\x00\x0A\x00\x62\x00", 8), 2},
      {std::string("\xFE\xFF\x00\x61\x00\x0D\x00\x0A", 8), 1},
      {std::string("\x61\x00\x0A\x00\x62\x00", 6), 2},      // UTF-16LE without mark
      {std::string("\xFF\xFE\x0A\x0A", 4), 1},              // U+0A0A is no line end
      {std::string("\xFF\xFE\x61\x00\x0A\x00\x62", 7), 2},  // odd length
  };
  std::string file = test::MakeTempDir() + "/c.txt";
  for (const auto& [bytes, expected] : cases) {
    test::WriteBytes(file, bytes);
    for (size_t chunk : {16, 1 << 20}) {
      EXPECT_EQ(TTxtFileLineCounter(file, chunk).Count(), expected) << bytes << " " << chunk;
    }
  }
  EXPECT_EQ(TTxtFileLineCounter::CountLines(file + ".missing"), 0);
  EXPECT_EQ(TTxtFileLineCounter::CountLines(test::MakeTempDir()), 0);
}

TEST(TxtFileLineCounterTest, ChunkMultipleWithoutFinalLineEnd) {
  std::string file = test::MakeTempDir() + "/m.txt";
  std::string text(64, 'x');
  text[10] = '\n';
  test::WriteBytes(file, text);
  EXPECT_EQ(TTxtFileLineCounter(file, 32).Count(), 2);
}

// Independent statement of what a line is: after the mark, a line ends at
// CR LF, lone CR or LF (in 2-byte units for UTF-16); a non-empty file whose
// last unit is no line end has one more line.
std::vector<std::string> ReferenceLines(const std::string& data, size_t* mark_len) {
  size_t unit = 1;
  bool be = false;
  *mark_len = 0;
  if (data.rfind("\xEF\xBB\xBF", 0) == 0) {
    *mark_len = 3;
  } else if (data.rfind("\xFE\xFF", 0) == 0) {
    *mark_len = 2, unit = 2, be = true;
  } else if (data.rfind("\xFF\xFE", 0) == 0) {
    *mark_len = 2, unit = 2;
  } else if (data.size() >= 4 && data[0] == 0 && data[2] == 0) {
    unit = 2, be = true;
  } else if (data.size() >= 4 && data[1] == 0 && data[3] == 0) {
    unit = 2;
  }
  auto code = [&](size_t i) -> int {
    if (i + unit > data.size()) return -1;
    if (unit == 1) return static_cast<unsigned char>(data[i]);
    auto a = static_cast<unsigned char>(data[i]), b = static_cast<unsigned char>(data[i + 1]);
    return be ? (a << 8 | b) : (b << 8 | a);
  };
  std::vector<std::string> lines;
  size_t start = *mark_len, i = start;
  while (i < data.size()) {
    int c = code(i);
    if (c == '\n' || c == '\r') {
      lines.push_back(data.substr(start, i - start));
      i += unit;
      if (c == '\r' && code(i) == '\n') i += unit;
      start = i;
    } else {
      i += unit;
    }
  }
  if (start < data.size() ||
      (!data.empty() && lines.empty() && start == data.size() && *mark_len == data.size())) {
    lines.push_back(data.substr(std::min(start, data.size())));
  }
  return lines;
}

std::string RandomText(std::mt19937& rng) {
  static const std::string byte_tokens[] = {
      "abc",          "x",        "\r",       "\n",   "\r\n",         std::string(1, '\0'),
      "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xC3", "\xE9t\xC3\xA9"};
  static const std::string unit_tokens[] = {
      std::string("a\0", 2),      std::string("\r\0", 2), std::string("\n\0", 2),
      std::string("\0\0", 2),     std::string("\n\n", 2), std::string("\xFF\xFE", 2),
      std::string("\xFE\xFF", 2), std::string("\0\r", 2), std::string("\0\n", 2)};
  std::string out;
  const int kind = static_cast<int>(rng() % 4);  // 0 bytes, 1 LE mark, 2 BE mark, 3 LE no mark
  if (kind == 1) out = "\xFF\xFE";
  if (kind == 2) out = "\xFE\xFF";
  if (kind == 0 && rng() % 3 == 0) out = "\xEF\xBB\xBF";
  // Some strings are long so that lines cross many blocks and vector lanes.
  const size_t tokens = rng() % 5 == 0 ? 2000 + rng() % 3000 : rng() % 60;
  for (size_t t = 0; t < tokens; ++t) {
    if (kind == 0) {
      out += byte_tokens[rng() % std::size(byte_tokens)];
    } else {
      out += unit_tokens[rng() % std::size(unit_tokens)];
    }
  }
  if (kind != 0 && rng() % 4 == 0) out += "Z";  // odd length
  return out;
}

// Property: for random texts, the counter's count equals the number of lines
// the reader delivers, the lines are exactly those of the reference, and
// joining them with their original line ends gives back the input.
TEST(LineAgreementTest, CounterAndReaderAgreeOnRandomTexts) {
  std::mt19937 rng(20261210);
  std::string file = test::MakeTempDir() + "/p.txt";
  for (int round = 0; round < 600; ++round) {
    const std::string data = RandomText(rng);
    test::WriteBytes(file, data);
    size_t mark_len;
    const std::vector<std::string> expected = ReferenceLines(data, &mark_len);
    const size_t block = 16 + rng() % 200;
    const size_t chunk = 16 + rng() % 300;

    TBlockTextReader reader(block);
    reader.Open(file);
    ASSERT_EQ(reader.Bom().size(), mark_len) << round;
    std::vector<std::string> lines;
    size_t pos = mark_len;
    while (reader.ReadLine()) {
      std::string_view line = reader.CurrentBytes();
      ASSERT_EQ(data.compare(pos, line.size(), line), 0) << "round " << round;
      lines.emplace_back(line);
      pos += line.size();
      // Skip the original line end that followed the line.
      size_t unit = reader.Layout().unit == LineUnit::kByte ? 1 : 2;
      auto is = [&](size_t at, char c) {
        if (at + unit > data.size()) return false;
        if (unit == 1) return data[at] == c;
        bool be = reader.Layout().unit == LineUnit::kUtf16BE;
        return be ? (data[at] == 0 && data[at + 1] == c) : (data[at] == c && data[at + 1] == 0);
      };
      if (is(pos, '\r')) {
        pos += unit;
        if (is(pos, '\n')) pos += unit;
      } else if (is(pos, '\n')) {
        pos += unit;
      }
    }
    EXPECT_EQ(pos, data.size()) << "round " << round;
    EXPECT_EQ(lines, expected) << "round " << round;
    EXPECT_EQ(TTxtFileLineCounter(file, chunk).Count(), static_cast<int64_t>(lines.size()))
        << "round " << round;
  }
}

TEST(FileLineCountCacheTest, CountsOnceUntilTimeOrSizeChanges) {
  std::string dir = test::MakeTempDir();
  std::string file = dir + "/c.txt";
  test::WriteBytes(file, "a\nb\n");
  const int64_t before = TFileLineCountCache::CountsMade();
  EXPECT_EQ(TFileLineCountCache::GetLineCount(file), 2);
  EXPECT_EQ(TFileLineCountCache::GetLineCount(file), 2);
  EXPECT_EQ(TFileLineCountCache::CountsMade(), before + 1);

  // Same size, same second, new content: the full-resolution time tells.
  struct stat st;
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  test::WriteBytes(file, "a\rb\r");
  struct timespec times[2] = {st.st_atim, st.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(TFileLineCountCache::GetLineCount(file), 2);
  EXPECT_EQ(TFileLineCountCache::CountsMade(), before + 2);

  // Same time, other size.
  test::WriteBytes(file, "a\nb\nc\n");
  times[1] = st.st_mtim;
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  EXPECT_EQ(TFileLineCountCache::GetLineCount(file), 3);

  // Another file whose name differs only in case is another file.
  test::WriteBytes(dir + "/C.txt", "x\n");
  EXPECT_EQ(TFileLineCountCache::GetLineCount(dir + "/C.txt"), 1);
  EXPECT_EQ(TFileLineCountCache::GetLineCount(dir + "/missing"), 0);
}

}  // namespace
}  // namespace lorvant

namespace lorvant {
namespace {

// A count that is no longer wanted (a newer file was picked) ends early,
// says it did not count the whole file, and leaves nothing in the cache.
TEST(FileLineCountCacheTest, ACancelledCountIsNeitherAnswerNorKept) {
  const std::string file = test::MakeTempDir("cancel") + "/big.txt";
  test::WriteBytes(file, std::string(3 << 20, 'x') + "\n");
  for (const char* text : {"bytes", "utf16"}) {
    if (std::string(text) == "utf16")
      test::WriteBytes(file, std::string("\xFF\xFE", 2) + std::string(3 << 20, 'x'));
    std::atomic<bool> cancel{true};
    int64_t lines = -1;
    EXPECT_FALSE(TFileLineCountCache::TryGetLineCount(file, &lines, &cancel)) << text;
    EXPECT_EQ(lines, -1) << text;
    cancel = false;
    EXPECT_TRUE(TFileLineCountCache::TryGetLineCount(file, &lines, &cancel)) << text;
    EXPECT_GE(lines, 1) << text;
  }
}

}  // namespace
}  // namespace lorvant
