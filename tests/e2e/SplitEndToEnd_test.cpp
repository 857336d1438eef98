// End to end: the Lorvant executable splits generated sources, and the
// pieces are checked against a reference splitter of the test's own; bad
// input must end with a clear exit code and never lose data.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/RunLorvant.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

using test::LogEntries;
using test::RunLorvant;
using test::TaskText;
using test::WriteTask;

using namespace std::string_literals;
namespace fs = std::filesystem;

constexpr size_t kBlock = 4194304;  // the reader's block size

bool HasEntryStartingWith(const std::vector<std::string>& entries, const std::string& prefix) {
  return std::any_of(entries.begin(), entries.end(),
                     [&](const std::string& e) { return e.starts_with(prefix); });
}

// Entries below `dir`, relative, folders with a trailing "/"; links are not
// followed.
std::set<std::string> Tree(const std::string& dir) {
  std::set<std::string> names;
  if (!fs::exists(dir)) return names;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    std::string rel = fs::relative(e.path(), dir).string();
    names.insert(e.is_directory() && !e.is_symlink() ? rel + "/" : rel);
  }
  return names;
}

// "" when equal; else where the two first differ (without dumping megabytes).
std::string Mismatch(const std::string& actual, const std::string& expected) {
  if (actual == expected) return "";
  size_t i = 0;
  while (i < actual.size() && i < expected.size() && actual[i] == expected[i]) ++i;
  char buf[160];
  std::snprintf(buf, sizeof(buf), "size %zu, expected %zu; first difference at byte %zu",
                actual.size(), expected.size(), i);
  return buf;
}

std::string Utf16(std::u16string_view text, bool big_endian) {
  std::string bytes;
  for (char16_t u : text) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    bytes += big_endian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

// ---- The reference splitter: what a source's lines are, from its bytes ----

struct Layout {
  std::string mark;
  size_t unit = 1;  // bytes per code unit
  bool big_endian = false;
  std::string LineEnd() const {
    if (unit == 1) return "\r\n";
    return big_endian ? "\0\r\0\n"s : "\r\0\n\0"s;
  }
};

Layout LayoutOf(const std::string& b) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
  if (b.size() >= 3 && b.starts_with("\xEF\xBB\xBF")) return {b.substr(0, 3), 1, false};
  if (b.size() >= 2 && at(0) == 0xFE && at(1) == 0xFF) return {b.substr(0, 2), 2, true};
  if (b.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) return {b.substr(0, 2), 2, false};
  if (b.size() >= 4 && at(0) == 0 && at(2) == 0) return {"", 2, true};
  if (b.size() >= 4 && at(1) == 0 && at(3) == 0) return {"", 2, false};
  return {"", 1, false};
}

// Lines end at CR LF, a lone CR or LF (in code units); a last line without
// line end counts; a file holding only its mark has one empty line.
std::vector<std::string> ReferenceLines(const std::string& bytes, const Layout& layout) {
  std::vector<std::string> lines;
  if (bytes.empty()) return lines;
  const std::string body = bytes.substr(layout.mark.size());
  const size_t u = layout.unit;
  auto unit_at = [&](size_t i) -> unsigned {
    const auto b = [&](size_t k) { return static_cast<unsigned char>(body[k]); };
    if (u == 1) return b(i);
    return layout.big_endian ? (b(i) << 8 | b(i + 1)) : (b(i + 1) << 8 | b(i));
  };
  size_t start = 0, i = 0;
  while (i + u <= body.size()) {
    const unsigned c = unit_at(i);
    i += u;
    if (c != '\r' && c != '\n') continue;
    lines.push_back(body.substr(start, i - u - start));
    if (c == '\r' && i + u <= body.size() && unit_at(i) == '\n') i += u;
    start = i;
  }
  if (start < body.size() || lines.empty()) lines.push_back(body.substr(start));
  return lines;
}

std::string PieceName(int64_t n, const std::string& ext) { return std::to_string(n) + ext; }

// The pieces in `out` are exactly what the reference makes of `source`;
// `others` are entries of `out` that are no pieces.
void ExpectPieces(const std::string& source, const std::string& out, const std::string& ext,
                  int64_t max_lines, std::set<std::string> others = {}) {
  const Layout layout = LayoutOf(source);
  const std::vector<std::string> lines = ReferenceLines(source, layout);
  const int64_t count = static_cast<int64_t>(lines.size());
  const int64_t pieces = (count + max_lines - 1) / max_lines;
  std::set<std::string> expected_tree = std::move(others);
  for (int64_t n = 1; n <= pieces; ++n) expected_tree.insert(PieceName(n, ext));
  ASSERT_EQ(Tree(out), expected_tree) << count << " lines, " << max_lines << " per file";

  std::string joined, expected_joined;
  for (int64_t n = 1; n <= pieces; ++n) {
    SCOPED_TRACE("piece " + PieceName(n, ext));
    const std::string piece = test::ReadBytes(out + "/" + PieceName(n, ext));
    ASSERT_TRUE(piece.starts_with(layout.mark));
    std::string expected;
    for (int64_t k = (n - 1) * max_lines; k < std::min(count, n * max_lines); ++k) {
      expected += lines[k] + layout.LineEnd();
    }
    EXPECT_EQ(Mismatch(piece.substr(layout.mark.size()), expected), "");
    joined += piece.substr(layout.mark.size());
    expected_joined += expected;
  }
  EXPECT_EQ(Mismatch(joined, expected_joined), "");
}

// 1, a divisor and a non-divisor of the line count.
std::vector<int64_t> LinesPerFileFor(int64_t lines) {
  if (lines == 0) return {1, 3};
  std::set<int64_t> sizes = {1};
  for (int64_t d = 2; d < lines; ++d) {
    if (lines % d == 0) {
      sizes.insert(d);
      break;
    }
  }
  for (int64_t k = 2;; ++k) {
    if (lines % k != 0) {
      sizes.insert(k);
      break;
    }
  }
  return {sizes.begin(), sizes.end()};
}

struct Paths {
  std::string dir, source, out, task, log;
};

Paths MakeCase(const std::string& hint, const std::string& source_name,
               const std::string& source_bytes) {
  Paths p;
  p.dir = test::MakeTempDir(hint);
  p.source = p.dir + "/src/" + source_name;
  p.out = p.dir + "/out";
  p.task = p.dir + "/task.sft";
  p.log = p.dir + "/run.log";
  fs::create_directories(fs::path(p.source).parent_path());
  test::WriteBytes(p.source, source_bytes);
  return p;
}

// Splits p.source with max_lines per file and checks the result.
void SplitAndCheck(const Paths& p, const std::string& source_bytes, const std::string& ext,
                   int64_t max_lines) {
  SCOPED_TRACE(std::to_string(max_lines) + " lines per file");
  WriteTask(p.task, p.source, p.out, std::to_string(max_lines));
  int exit_code = -1;
  RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  const int64_t lines =
      static_cast<int64_t>(ReferenceLines(source_bytes, LayoutOf(source_bytes)).size());
  const std::vector<std::string> entries = LogEntries(p.log);
  ASSERT_FALSE(entries.empty());
  EXPECT_TRUE(std::regex_match(
      entries.back(),
      std::regex(std::to_string(lines) + R"( records    Elapsed: \d{2}:\d{2}:\d{2}\.\d{3})")))
      << entries.back();
  ExpectPieces(source_bytes, p.out, ext, max_lines);
  EXPECT_EQ(Mismatch(test::ReadBytes(p.source), source_bytes), "") << "source changed";
}

// ---- The corpus ----

struct SourceCase {
  const char* name;
  std::string file_name;  // below the case's source folder
  std::string ext;        // of the pieces
  std::string bytes;
};

// Test names already say which case it is; keep the bytes out of the output.
void PrintTo(const SourceCase& c, std::ostream* os) { *os << c.name; }

std::vector<SourceCase> SmallCorpus() {
  const std::string kUtf8 = "\xEF\xBB\xBF";
  return {
      {"NoMarkLF", "data.csv", ".csv", "alpha\nbeta\n\ngamma\n"},
      {"NoMarkCRLF", "data.csv", ".csv", "a,b\r\nc,d\r\n\r\ne\r\n"},
      {"NoMarkLoneCR", "data.txt", ".txt", "one\rtwo\r\rthree"},
      {"NoMarkMixed", "data.csv", ".csv", "a\r\nb\nc\rd\n\re\r\n\nf\r"},
      {"EmptyFile", "data.csv", ".csv", ""},
      {"OnlyEmptyLines", "data.csv", ".csv", "\n\n\n\n\n\n"},
      {"NulAndInvalidUtf8", "data.bin", ".bin",
       "abcd\0ef\n\xC3(\xA0\n\xFF\xFE\xFD\n\n\0"s},  // ends in LF, then a lone 00
      {"SingleNul", "data.csv", ".csv", "\0"s},
      {"SingleByteNoEnd", "data.csv", ".csv", "x"},
      {"NoExtension", "data", "", "x\ny\nz\n"},
      {"DotInFolderOnly", "v1.2/data", "", "x\r\ny\r\n"},
      {"Utf8MarkOnly", "data.csv", ".csv", kUtf8},
      {"Utf8Mark", "data.csv", ".csv",
       kUtf8 + "h\xC3\xA9llo\r\nbad \xFF\xC3\x28 bytes\r\nnul\0in\0line\n\nlast"s},
      {"Utf8MarkLooksLikeUtf16", "data.txt", ".txt", kUtf8 + "a\0b\0\n\0"s},
      {"Utf16LEMarkOnly", "data.txt", ".txt", "\xFF\xFE"},
      // U+0A0D is the byte pair 0D 0A in little-endian order: no line end.
      {"Utf16LEMark", "data.txt", ".txt",
       "\xFF\xFE" + Utf16(u"a\r\nb\rc\n\nd\u0A0De\u0D0Af\U0001F600\0g\r", false)},
      // A lone byte after the last code unit stays with the last line.
      {"Utf16LEMarkOddLength", "data.txt", ".txt", "\xFF\xFE" + Utf16(u"a\nb", false) + "c"},
      {"Utf16LEMarkEmptyLines", "data.txt", ".txt", "\xFF\xFE" + Utf16(u"\r\n\r\n\n\r", false)},
      {"Utf16BEMark", "data.txt", ".txt",
       "\xFE\xFF" + Utf16(u"a\r\nb\rc\n\nd\u0D0Ae\u0A0Df\U0001F600\n\rg", true)},
      {"Utf16LENoMark", "data.txt", ".txt", Utf16(u"ab\r\ncd\ne\u0D00f\rg", false)},
      {"Utf16BENoMark", "data.txt", ".txt", Utf16(u"ab\ncd\r\n\r\n\u0A00", true)},
  };
}

class SplitCorpusTest : public ::testing::TestWithParam<SourceCase> {};

TEST_P(SplitCorpusTest, PiecesHoldEveryLineInTheSourcesEncoding) {
  const SourceCase& c = GetParam();
  const Paths p = MakeCase(c.name, c.file_name, c.bytes);
  const int64_t lines = static_cast<int64_t>(ReferenceLines(c.bytes, LayoutOf(c.bytes)).size());
  // The same output folder serves every size in turn: each run starts from
  // the previous run's pieces.
  for (int64_t max_lines : LinesPerFileFor(lines)) SplitAndCheck(p, c.bytes, c.ext, max_lines);
}

INSTANTIATE_TEST_SUITE_P(Corpus, SplitCorpusTest, ::testing::ValuesIn(SmallCorpus()),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Big sources: lines across the reader's 4 MiB blocks ----

// Printable filler of a given length, varied by a seed.
std::string Filler(size_t length, uint32_t seed) {
  std::string s(length, ' ');
  for (size_t i = 0; i < length; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>('!' + (seed >> 16) % 90);
  }
  return s;
}

// No mark, about 8 MiB: a CR LF pair split exactly at the first block
// boundary, a line across the second, varied line ends, no final line end.
std::string CrLfAcrossFirstBlock() {
  std::string s;
  const char* ends[] = {"\r\n", "\n", "\r", "\r\n"};
  uint32_t seed = 7;
  while (s.size() < kBlock - 400) {
    seed = seed * 1103515245u + 12345u;
    s += Filler((seed >> 16) % 200, seed) + ends[(seed >> 8) % 4];
  }
  s += Filler(kBlock - 1 - s.size(), 99) + "\r\n";  // CR at 4194303, LF at 4194304
  while (s.size() < 2 * kBlock - 100) {
    seed = seed * 1103515245u + 12345u;
    s += Filler((seed >> 16) % 200, seed) + ends[(seed >> 8) % 4];
  }
  s += Filler(300, 5) + "\r\n" + Filler(1000, 6);  // across 8 MiB, then no line end
  return s;
}

// UTF-8 mark, one line over 8 MiB (three blocks), with a multi-byte
// character across the first block boundary.
std::string Utf8LineOverEightMiB() {
  std::string s =
      "\xEF\xBB\xBF"
      "first\r\nsecond\n";
  std::string line = "x";
  while (line.size() < 2 * kBlock + 1000) line += "\xC3\xA9\xE2\x82\xAC";  // é €
  s += line + "\r\nafter\r\n\r\nend";
  return s;
}

// UTF-16LE with mark: the units CR and LF on either side of 4 MiB.
std::string Utf16LECrLfAcrossBlock() {
  std::string s = "\xFF\xFE";
  uint32_t seed = 11;
  while (s.size() < kBlock - 800) {
    seed = seed * 1103515245u + 12345u;
    s += Utf16(std::u16string((seed >> 16) % 150, u'\u00E9'), false) + Utf16(u"q\r\n", false);
  }
  s += Utf16(std::u16string((kBlock - 2 - s.size()) / 2, u'k'), false);
  s += Utf16(u"\r", false);  // bytes 4194302..4194303
  s += Utf16(u"\nnext\r\nlast line\u0A0D\r\n", false);
  return s;
}

// UTF-16BE without mark: a lone CR as the last unit of the first block.
std::string Utf16BELoneCrAtBlockEnd() {
  std::string s;
  uint32_t seed = 13;
  while (s.size() < kBlock - 800) {
    seed = seed * 1103515245u + 12345u;
    s += Utf16(u"ab" + std::u16string((seed >> 16) % 150, u'\u0D0A'), true) + Utf16(u"\n", true);
  }
  s += Utf16(std::u16string((kBlock - 2 - s.size()) / 2, u'z'), true);
  s += Utf16(u"\rx\r\ny", true);
  return s;
}

TEST(SplitEndToEndTest, BigSourcesAcrossBlockBoundaries) {
  struct Big {
    const char* name;
    std::string bytes;
    int64_t pieces;  // about how many pieces to ask for
  };
  const Big cases[] = {
      {"CrLfAcrossFirstBlock", CrLfAcrossFirstBlock(), 3},
      {"Utf8LineOverEightMiB", Utf8LineOverEightMiB(), 2},
      {"Utf16LECrLfAcrossBlock", Utf16LECrLfAcrossBlock(), 3},
      {"Utf16BELoneCrAtBlockEnd", Utf16BELoneCrAtBlockEnd(), 2},
  };
  ASSERT_EQ(cases[0].bytes.substr(kBlock - 1, 2), "\r\n");
  ASSERT_EQ(static_cast<unsigned char>(cases[1].bytes[kBlock]) & 0xC0, 0x80);  // inside a character
  ASSERT_EQ(cases[2].bytes.substr(kBlock - 2, 4), "\r\0\n\0"s);
  ASSERT_EQ(cases[3].bytes.substr(kBlock - 2, 4), "\0\r\0x"s);
  for (const Big& c : cases) {
    SCOPED_TRACE(c.name);
    const int64_t lines = static_cast<int64_t>(ReferenceLines(c.bytes, LayoutOf(c.bytes)).size());
    const int64_t max_lines = lines / c.pieces + 1;
    const Paths p = MakeCase(c.name, "big.dat", c.bytes);
    SplitAndCheck(p, c.bytes, ".dat", max_lines);
  }
}

// ---- Bad input ----

std::string Lines(int n) {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "line " + std::to_string(i) + "\r\n";
  return s;
}

// The kernel's own files report size 0 and hold lines all the same: the
// size is a hint, the source is read to its end.
TEST(SplitEndToEndTest, SourceThatReportsSizeZeroIsSplitWhole) {
  const std::string source = "/proc/filesystems";  // several stable lines
  struct stat st {};
  if (::stat(source.c_str(), &st) != 0 || st.st_size != 0) {
    GTEST_SKIP() << source << " is missing or reports its size here";
  }
  const std::string text = test::ReadBytes(source);
  ASSERT_GT(std::count(text.begin(), text.end(), '\n'), 3) << text;
  std::string expected;  // each line ended by CR LF
  for (size_t i = 0, j; i < text.size(); i = j + 1) {
    j = text.find('\n', i);
    expected += text.substr(i, j - i) + "\r\n";
  }
  const std::string dir = test::MakeTempDir("proc");
  int exit_code = -1;
  const std::string output = RunLorvant({"split", source, dir + "/out", "-l", "2"}, &exit_code);
  EXPECT_EQ(exit_code, 0) << output;
  std::string joined;
  for (int n = 1; fs::exists(dir + "/out/" + std::to_string(n)); ++n) {
    joined += test::ReadBytes(dir + "/out/" + std::to_string(n));
  }
  EXPECT_EQ(joined, expected);
}

TEST(SplitEndToEndTest, MissingOrUnreadableSourceFailsWithoutTouchingTheOutputFolder) {
  const Paths p = MakeCase("nosrc", "data.csv", Lines(3));
  fs::create_directories(p.out);
  test::WriteBytes(p.out + "/keep.txt", "sentinel");
  struct Case {
    const char* name;
    std::string source;
    std::string message;  // the start of the run's error line
  };
  const Case cases[] = {
      {"missing", p.dir + "/missing.csv", "Cannot open file \"" + p.dir + "/missing.csv\". "},
      {"folder", p.dir + "/src", "Cannot open file \"" + p.dir + "/src\". "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(p.log);
    WriteTask(p.task, c.source, p.out, "10");
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 1);
    const std::vector<std::string> entries = LogEntries(p.log);
    EXPECT_TRUE(HasEntryStartingWith(entries, c.message)) << c.message;
    EXPECT_FALSE(HasEntryStartingWith(entries, "0 records"));
    EXPECT_EQ(Tree(p.out), std::set<std::string>{"keep.txt"});
  }
}

TEST(SplitEndToEndTest, OutputFolderThatCannotBeMadeFailsAndKeepsTheFileInTheWay) {
  const Paths p = MakeCase("blocked", "data.csv", Lines(5));
  const std::string in_the_way = p.dir + "/occupied";
  test::WriteBytes(in_the_way, "precious\r\n");
  const std::pair<std::string, std::string> cases[] = {
      {in_the_way, "A file of that name exists."},
      {in_the_way + "/sub", "Not a directory"},
  };
  for (const auto& [dest, reason] : cases) {
    SCOPED_TRACE(dest);
    fs::remove(p.log);
    WriteTask(p.task, p.source, dest, "2");
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 1);
    const std::vector<std::string> entries = LogEntries(p.log);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(), "Cannot create folder \"" + dest + "\". " + reason);
    EXPECT_TRUE(fs::is_regular_file(in_the_way));
    EXPECT_EQ(test::ReadBytes(in_the_way), "precious\r\n");
    EXPECT_EQ(test::ReadBytes(p.source), Lines(5));
  }
}

TEST(SplitEndToEndTest, UnusableTaskValuesAreRefusedBeforeAnythingIsTouched) {
  const Paths p = MakeCase("refused", "data.csv", Lines(5));
  struct Case {
    const char* name;
    std::string dest;  // under p.dir unless empty
    std::string max_lines;
    std::string message;  // the run's error line
  };
  const Case cases[] = {
      {"zero", "/out", "0", "Max lines per split file must be from 1 to 1000000000, not 0."},
      {"negative", "/out", "-5", "Max lines per split file must be from 1 to 1000000000, not -5."},
      {"too many", "/out", "1000000001",
       "Max lines per split file must be from 1 to 1000000000, not 1000000001."},
      {"not a number", "/out", "ten",
       "Max lines per split file must be from 1 to 1000000000, not 0."},
      {"300000 digits", "/out", std::string(300000, '7'),
       "Max lines per split file must be from 1 to 1000000000, not 0."},
      {"home folder", "HOME", "10",
       "The output folder \"" + std::string(getenv("HOME")) + "\" is the root or home folder"},
      {"no output folder", "", "10", "The output folder is not set."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string dest = c.dest.empty()     ? ""
                             : c.dest == "HOME" ? std::string(getenv("HOME"))
                                                : p.dir + c.dest;
    fs::remove_all(p.out);
    fs::remove(p.log);
    const std::string home_file = std::string(getenv("HOME")) + "/keep-home.txt";
    test::WriteBytes(home_file, "home");
    WriteTask(p.task, p.source, dest, c.max_lines);
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 1);
    EXPECT_TRUE(HasEntryStartingWith(LogEntries(p.log), c.message)) << c.message;
    EXPECT_FALSE(fs::exists(p.out)) << "output folder created";
    EXPECT_FALSE(test::PathExists("/1.csv"));
    EXPECT_EQ(test::ReadBytes(home_file), "home");
    if (c.dest == "HOME") continue;

    // An existing output folder is not emptied either.
    if (dest.empty()) continue;
    fs::create_directories(p.out);
    test::WriteBytes(p.out + "/keep.txt", "sentinel");
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 1);
    EXPECT_EQ(test::ReadBytes(p.out + "/keep.txt"), "sentinel");
    EXPECT_EQ(Tree(p.out), std::set<std::string>{"keep.txt"});
  }
}

TEST(SplitEndToEndTest, MalformedTaskFiles) {
  const Paths p = MakeCase("junk", "data.csv", Lines(5));
  const std::string huge(300000, 'b');
  struct Case {
    const char* name;
    std::string task_text;
    int exit_code;
  };
  const Case cases[] = {
      {"junk lines, no keys",
       "garbage\r\n;comment\r\n[Other]\r\nSourceFile=" + p.source + "\r\n[Split\r\n=\r\n\r\n", 1},
      {"junk lines around the keys",
       "junk\r\n\r\n[split]\r\nwhatever\r\n  sourcefile = " + p.source + "  \r\n=x\r\nDESTFOLDER=" +
           p.out + "\r\nno equals sign\r\nmaxlines=2\r\n[Other]\r\nMaxLines=1\r\n",
       0},
      {"300000-character source", TaskText(p.dir + "/" + huge + ".csv", p.out, "2"), 1},
      {"300000-character output folder", TaskText(p.source, p.dir + "/" + huge, "2"), 1},
      {"300000-character junk line", huge + "\r\n" + TaskText(p.source, p.out, "2"), 0},
      {"binary garbage", "\0\xFF\xFE\r\n[\0]\r\n\x80\x81=\xC3"s, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(p.out);
    test::WriteBytes(p.task, c.task_text);
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, c.exit_code);
    EXPECT_EQ(test::ReadBytes(p.source), Lines(5));
    if (c.exit_code == 0) {
      ExpectPieces(Lines(5), p.out, ".csv", 2);
    } else {
      EXPECT_FALSE(fs::exists(p.out));
    }
  }
}

TEST(SplitEndToEndTest, PathsWithBlanksQuotesDollarsBackslashesAndNonAsciiLetters) {
  const std::string base =
      test::MakeTempDir("odd") + "/dir with blanks \"q\" $HOME \\back \xC3\xB1\xE6\x97\xA5";
  fs::create_directories(base);
  const std::string source = base + "/src \"x\" $PATH `id` \\ \xC3\xA9.csv";
  const std::string out = base + "/out $ \"o\" \\ \xC3\xBC";
  const std::string task = base + "/task \"t\" $1 \\ \xC3\xA4.sft";
  const std::string log = base + "/log 'l' $ \\ \xC3\xB6.log";
  test::WriteBytes(source, Lines(7));
  WriteTask(task, source, out, "3");
  int exit_code = -1;
  RunLorvant({"task=" + task, "logfile=" + log}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  ExpectPieces(Lines(7), out, ".csv", 3);
  const std::vector<std::string> entries = LogEntries(log);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0], "[info]\t" + task);
  EXPECT_EQ(entries[1],
            "[info]\tFrom : " + source + "\r\nTo : " + out + "\r\nMax Lines per Split File: 3");
  EXPECT_TRUE(entries[2].starts_with("7 records    Elapsed: ")) << entries[2];
}

TEST(SplitEndToEndTest, SourceInsideTheOutputFolderSurvives) {
  const Paths p = MakeCase("inside", "unused.csv", "");
  const std::string source = p.out + "/data.csv";
  fs::create_directories(p.out);
  test::WriteBytes(source, Lines(25));
  WriteTask(p.task, source, p.out, "10");
  int exit_code = -1;
  RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(test::ReadBytes(source), Lines(25));
  ExpectPieces(Lines(25), p.out, ".csv", 10, {"data.csv"});
}

TEST(SplitEndToEndTest, SourceNamedLikeAPieceSurvivesAndItsPieceFails) {
  const Paths p = MakeCase("aspiece", "unused.csv", "");
  const std::string source = p.out + "/2.csv";
  fs::create_directories(p.out);
  fs::create_directory_symlink(p.out, p.dir + "/via");
  std::string first, third;
  for (int i = 1; i <= 25; ++i) {
    const std::string line = "line " + std::to_string(i) + "\r\n";
    if (i <= 10) first += line;
    if (i > 20) third += line;
  }
  // Whatever name leads to it, the source is never overwritten.
  for (const std::string& name : {source, p.out + "/./2.csv", p.dir + "/via/2.csv"}) {
    SCOPED_TRACE(name);
    test::WriteBytes(source, Lines(25));
    fs::remove(p.log);
    WriteTask(p.task, name, p.out, "10");
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 2);
    EXPECT_EQ(test::ReadBytes(source), Lines(25));
    EXPECT_EQ(Tree(p.out), (std::set<std::string>{"1.csv", "2.csv", "3.csv"}));
    EXPECT_EQ(test::ReadBytes(p.out + "/1.csv"), first);
    EXPECT_EQ(test::ReadBytes(p.out + "/3.csv"), third);

    std::vector<int> failed;
    const std::vector<std::string> entries = LogEntries(p.log);
    for (const std::string& e : entries) {
      std::smatch m;
      if (std::regex_match(e, m, std::regex("Serial: (\\d+)\r\n(.+)"))) {
        failed.push_back(std::stoi(m[1]));
      }
    }
    EXPECT_EQ(failed, (std::vector<int>{11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    ASSERT_FALSE(entries.empty());
    EXPECT_TRUE(std::regex_match(
        entries.back(),
        std::regex(R"(15 records    Elapsed: [0-9:.]+\.  10 rows can not convert\.)")))
        << entries.back();
  }
}

TEST(SplitEndToEndTest, OutputFolderIsEmptiedWithoutFollowingLinks) {
  const Paths p = MakeCase("clear", "data.csv", Lines(25));
  const std::string outside = p.dir + "/outside";
  fs::create_directories(outside);
  test::WriteBytes(outside + "/keep.txt", "outside file");
  test::WriteBytes(outside + "/linked.txt", "linked file");
  fs::create_directories(p.out + "/sub/deeper");
  fs::create_directories(p.out + "/empty");
  test::WriteBytes(p.out + "/1.csv", "old piece");
  test::WriteBytes(p.out + "/notes.txt", "unrelated");
  test::WriteBytes(p.out + "/sub/x.csv", "nested");
  test::WriteBytes(p.out + "/sub/deeper/old.dat", "deeper");
  fs::create_directory_symlink(outside, p.out + "/link_to_folder");
  fs::create_symlink(outside + "/linked.txt", p.out + "/sub/link_to_file");
  fs::create_symlink(p.dir + "/nowhere", p.out + "/dangling");

  // A first run with more pieces leaves 5.csv behind for the second.
  for (int64_t max_lines : {5, 10}) {
    WriteTask(p.task, p.source, p.out, std::to_string(max_lines));
    int exit_code = -1;
    RunLorvant({"task=" + p.task, "logfile=" + p.log}, &exit_code);
    EXPECT_EQ(exit_code, 0);
    ExpectPieces(Lines(25), p.out, ".csv", max_lines, {"sub/", "sub/deeper/", "empty/"});
  }
  EXPECT_EQ(Tree(outside), (std::set<std::string>{"keep.txt", "linked.txt"}));
  EXPECT_EQ(test::ReadBytes(outside + "/keep.txt"), "outside file");
  EXPECT_EQ(test::ReadBytes(outside + "/linked.txt"), "linked file");
}

}  // namespace
}  // namespace lorvant
