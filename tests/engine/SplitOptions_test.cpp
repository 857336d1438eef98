// The split's options (header lines, a size limit, CSV records, own line
// ends) against a reference splitter of the test's own, on the kernel-copy
// path and on the buffered one: every piece exact, nothing lost.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/TextUtil.h"
#include "engine/FileSplitSessionExecutor.h"
#include "engine/FileSplitter.h"
#include "engine/LogConvertOutputer.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"

namespace lorvant {
namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// Sources read without positioned reads: their lines go through buffers.
class BuffersOnlyEnv : public EnvWrapper {
 public:
  BuffersOnlyEnv() : EnvWrapper(Env::Default()) {}
  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    struct File : SequentialFile {
      std::unique_ptr<SequentialFile> real;
      size_t Read(char* buf, size_t n) override { return real->Read(buf, n); }
      FileInfo Info() override { return real->Info(); }
    };
    auto file = std::make_unique<File>();
    file->real = target()->OpenForRead(name);
    return file;
  }
};

struct Options {
  int max_lines = 2;
  int header = 0;
  int64_t max_bytes = 0;
  bool csv = false;
  bool keep = false;
};

// A line of the source: its bytes and its own end ("" for a last line
// without one).
struct Line {
  std::string bytes, end;
};

std::vector<Line> Lines(const std::string& text) {
  std::vector<Line> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t j = i;
    while (j < text.size() && text[j] != '\n' && text[j] != '\r') ++j;
    std::string end;
    if (j < text.size())
      end = text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n' ? "\r\n"
                                                                          : std::string(1, text[j]);
    lines.push_back({text.substr(i, j - i), end});
    i = j + end.size();
  }
  return lines;
}

// Records as a CSV reader sees them: a line break inside a quoted field
// belongs to the field. Each record: its lines.
std::vector<std::vector<Line>> Records(const std::vector<Line>& lines, bool csv) {
  enum State { kFieldStart, kUnquoted, kQuoted, kQuoteInQuoted } state = kFieldStart;
  std::vector<std::vector<Line>> records;
  std::vector<Line> record;
  for (const Line& line : lines) {
    record.push_back(line);
    if (csv) {
      for (char c : line.bytes) {
        switch (state) {
          case kFieldStart:
            state = c == '"' ? kQuoted : c == ',' ? kFieldStart : kUnquoted;
            break;
          case kUnquoted:
            state = c == ',' ? kFieldStart : kUnquoted;
            break;
          case kQuoted:
            state = c == '"' ? kQuoteInQuoted : kQuoted;
            break;
          case kQuoteInQuoted:
            state = c == '"' ? kQuoted : c == ',' ? kFieldStart : kUnquoted;
        }
      }
      if (state == kQuoted && !line.end.empty()) continue;  // the field goes on
    }
    state = kFieldStart;
    records.push_back(std::move(record));
    record.clear();
  }
  if (!record.empty()) records.push_back(std::move(record));
  return records;
}

std::string RecordBytes(const std::vector<Line>& record, bool keep) {
  std::string out;
  for (size_t i = 0; i < record.size(); ++i) {
    const bool last = i + 1 == record.size();
    out += record[i].bytes + (last && !keep ? "\r\n"s : record[i].end);
  }
  return out;
}

// The pieces a split of text (after mark) must give.
std::vector<std::string> Reference(const std::string& mark, const std::string& text,
                                   const Options& o) {
  auto records = Records(Lines(text), o.csv);
  std::string header = mark;
  size_t r = 0;
  for (; r < records.size() && static_cast<int>(r) < o.header; ++r) {
    header += RecordBytes(records[r], o.keep);
  }
  std::vector<std::string> pieces;
  int in_piece = 0;
  for (; r < records.size(); ++r) {
    const std::string bytes = RecordBytes(records[r], o.keep);
    if (pieces.empty() || in_piece == o.max_lines ||
        (o.max_bytes > 0 &&
         static_cast<int64_t>(pieces.back().size() + bytes.size()) > o.max_bytes)) {
      pieces.push_back(header);
      in_piece = 0;
    }
    pieces.back() += bytes;
    ++in_piece;
  }
  if (pieces.empty() && header.size() > mark.size()) pieces.push_back(header);
  return pieces;
}

// Pieces as one readable line each, control bytes as \xHH.
std::vector<std::string> Shown(const std::vector<std::string>& pieces) {
  std::vector<std::string> shown;
  for (const std::string& piece : pieces) shown.push_back(PrintableText(piece));
  return shown;
}

class SplitOptionsTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("opt");
    session_.SourceFile = dir_ + "/src.csv";
    session_.DestFolder = dir_ + "/out";
    executor_.SetSession(&session_);
    executor_.SetOutputer(&outputer_);
  }

  // Splits mark + text with o; returns the pieces written, in order.
  std::vector<std::string> Split(const std::string& mark, const std::string& text,
                                 const Options& o) {
    test::WriteBytes(session_.SourceFile, mark + text);
    session_.MaxLines = o.max_lines;
    session_.HeaderLines = o.header;
    session_.MaxBytes = o.max_bytes;
    session_.CsvRecords = o.csv;
    session_.KeepLineEnds = o.keep;
    BuffersOnlyEnv buffers;
    std::unique_ptr<ScopedEnv> scoped;
    if (GetParam()) scoped = std::make_unique<ScopedEnv>(&buffers);
    EXPECT_TRUE(executor_.Execute());
    std::vector<std::string> pieces;
    for (int n = 1; fs::exists(dir_ + "/out/" + std::to_string(n) + ".csv"); ++n) {
      pieces.push_back(test::ReadBytes(dir_ + "/out/" + std::to_string(n) + ".csv"));
    }
    size_t files = std::distance(fs::directory_iterator(dir_ + "/out"), fs::directory_iterator());
    EXPECT_EQ(files, pieces.size()) << "pieces numbered with a gap, or stray files";
    return pieces;
  }

  TConvertStatus& Status() { return executor_.Converter->Status(); }

  std::string dir_;
  TFileSplitSession session_;
  TLogConvertOutputer outputer_;
  TFileSplitSessionExecutor executor_;
};

const std::string kMixed = "id,name\r\n1,a\n2,b\r3,c\r\n\n4,d\r\r\n5,e";
const std::string kCsv =
    "id,note,amount\r\n"
    "1,\"two\r\nlines\",10\r\n"
    "2,\"say \"\"hi\"\"\",20\n"
    "3,\"lf\ninside, and \"\"\nquotes\"\"\",30\n"
    "4,plain,40\r\n"
    "5,\"\",50\n"
    "6,\"ends\r\n\",60";

// Quotes inside unquoted fields are data (as Python's csv reads them:
// records of 1, 1, 2, 1, 2 and 1 lines), so they open nothing; a quoted CR
// stays as it is.
const std::string kCsvQuotesInFields =
    "id,size\r\n"
    "1,12\" pipe\n"
    "2,\"3\r4\",x\r\n"
    "3,a\"b\"c\r\n"
    "4,\"ab\"c,\"d\ne\"\n"
    "5,z";

TEST_P(SplitOptionsTest, PiecesMatchTheReferenceForEveryOptionMix) {
  const Options cases[] = {
      {2, 1, 0, false, false},    {3, 2, 0, false, true},    {2, 0, 0, false, true},
      {1, 0, 0, true, false},     {2, 1, 0, true, false},    {2, 1, 0, true, true},
      {100, 1, 40, false, false}, {100, 0, 13, false, true}, {100, 1, 45, true, false},
      {3, 1, 60, true, true},     {100, 0, 5, false, false},
  };
  for (const std::string& mark : {""s, "\xEF\xBB\xBF"s}) {
    for (const std::string* text : {&kMixed, &kCsv, &kCsvQuotesInFields}) {
      for (const Options& o : cases) {
        const std::vector<std::string> expected = Reference(mark, *text, o);
        const std::vector<std::string> actual = Split(mark, *text, o);
        EXPECT_EQ(Shown(actual), Shown(expected))
            << "lines " << o.max_lines << " header " << o.header << " bytes " << o.max_bytes
            << " csv " << o.csv << " keep " << o.keep << " mark " << mark.size() << " text "
            << (text == &kMixed ? "mixed"
                : text == &kCsv ? "csv"
                                : "quotes in fields");
      }
    }
  }
}

TEST_P(SplitOptionsTest, KeptLineEndsJoinBackToTheSource) {
  const std::string mark = "\xEF\xBB\xBF";
  for (const std::string& text :
       {"a\nb\nc\nd\ne\n"s, "a\r\nb\r\nc\r\nd\r\n"s, "a\rb\rc\rd\re"s, kMixed, kCsv}) {
    for (int header : {0, 1}) {
      const std::vector<std::string> pieces = Split(mark, text, {2, header, 0, false, true});
      ASSERT_FALSE(pieces.empty());
      // After the first piece, each repeats the mark and the header first.
      const std::string prefix =
          mark + (header ? RecordBytes(Records(Lines(text), false)[0], true) : "");
      std::string joined = pieces[0];
      for (size_t i = 1; i < pieces.size(); ++i) {
        ASSERT_EQ(pieces[i].rfind(prefix, 0), 0u) << text;
        joined += pieces[i].substr(prefix.size());
      }
      EXPECT_EQ(joined, mark + text) << text;
    }
  }
}

TEST_P(SplitOptionsTest, ARecordOverTheLimitGetsAPieceOfItsOwnAndTheLogSaysSo) {
  const std::string text = "h\nshort\n" + std::string(50, 'x') + "\nshort2\nshort3\n";
  const Options o{100, 1, 20, false, false};
  const std::vector<std::string> pieces = Split("", text, o);
  EXPECT_EQ(pieces, Reference("", text, o));
  ASSERT_EQ(pieces.size(), 3u);
  EXPECT_EQ(pieces[1], "h\r\n" + std::string(50, 'x') + "\r\n");
  EXPECT_EQ(Status().Message, "A record larger than 20 went into a piece of its own (2.csv).");
  EXPECT_EQ(Status().Done, 4);
  EXPECT_EQ(Status().ErrorCount, 0);
}

TEST_P(SplitOptionsTest, AQuoteLeftOpenIsARecordErrorAndItsBytesAreKept) {
  const std::string text = "a,b\n1,\"open\nstill open\n2,x\n";
  const std::vector<std::string> pieces = Split("", text, {10, 0, 0, true, false});
  ASSERT_EQ(pieces.size(), 1u);
  EXPECT_EQ(pieces[0], "a,b\r\n1,\"open\nstill open\n2,x\n");
  EXPECT_EQ(Status().ErrorCount, 1);
  EXPECT_NE(Status().ErrorText.find("on line 2 is not closed at the end of the file"),
            std::string::npos)
      << Status().ErrorText;
}

TEST_P(SplitOptionsTest, QuotesInsideUnquotedFieldsOpenNoRecord) {
  const std::string text = "size\",note\n1,12\" pipe\r\n2,\"3\r4\",x\r\n3,\"a\nb\"\r\n4,y\n";
  const std::vector<std::string> pieces = Split("", text, {2, 1, 0, true, false});
  EXPECT_EQ(Shown(pieces), Shown({"size\",note\r\n1,12\" pipe\r\n2,\"3\r4\",x\r\n",
                                  "size\",note\r\n3,\"a\nb\"\r\n4,y\r\n"}));
  EXPECT_EQ(Status().ErrorCount, 0);
  EXPECT_EQ(Status().Done, 4);
}

TEST_P(SplitOptionsTest, HeaderLinesAloneStillMakeAPiece) {
  EXPECT_EQ(Split("", "id,name\n", {10, 1, 0, false, false}),
            std::vector<std::string>{"id,name\r\n"});
  EXPECT_EQ(Status().Done, 0);
  EXPECT_EQ(Split("", "id,name\n", {10, 2, 0, false, false}),
            std::vector<std::string>{"id,name\r\n"});
}

TEST_P(SplitOptionsTest, HeaderLinesRepeatInUtf16Pieces) {
  auto u16 = [](const std::string& ascii) {
    std::string out;
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
  };
  const std::string mark = "\xFF\xFE";
  const std::vector<std::string> pieces =
      Split(mark, u16("id,\"q\nq\"\n1\n2\n3"), {2, 1, 0, true, false});
  const std::string header = mark + u16("id,\"q\nq\"\r\n");
  EXPECT_EQ(pieces, (std::vector<std::string>{header + u16("1\r\n2\r\n"), header + u16("3\r\n")}));
}

TEST_P(SplitOptionsTest, OptionsOutOfRangeAreRefusedBeforeAnythingIsTouched) {
  test::WriteBytes(session_.SourceFile, "h\n1\n");
  fs::create_directories(dir_ + "/out");
  outputer_.SetLogFileName(dir_ + "/run.log");
  test::WriteBytes(dir_ + "/out/keep.txt", "mine");
  session_.MaxLines = 10;
  const std::pair<std::function<void()>, std::string> cases[] = {
      {[this] { session_.HeaderLines = -1; }, "Header lines must be from 0 to 1000000, not -1."},
      {[this] { session_.MaxBytes = -1; },
       "Max bytes per split file must be a size such as 500K, 10M or 2G."},
      {[this] { session_.HeaderLines = 1, session_.MaxBytes = 3; },
       "Max bytes per split file (3) leaves no room for lines after the mark and the header "
       "lines (3 bytes)."},
  };
  for (const auto& [set, message] : cases) {
    session_.HeaderLines = 0;
    session_.MaxBytes = 0;
    set();
    EXPECT_FALSE(executor_.Execute());
    EXPECT_NE(test::ReadBytes(dir_ + "/run.log").find(message), std::string::npos) << message;
    EXPECT_EQ(test::ReadBytes(dir_ + "/out/keep.txt"), "mine");
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitOptionsTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Buffers" : "Copies"; });

}  // namespace
}  // namespace lorvant
