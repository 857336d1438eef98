// Where CSV records end, checked against what Python's csv module (its
// default dialect) reads from the same text: physical lines per record.
#include "textio/CsvFields.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace lorvant {
namespace {

struct Case {
  std::string text;
  std::vector<int> lines_per_record;  // as csv.reader(io.StringIO(text, newline="")) reads it
};

// Each verified with Python 3: reader.line_num after each record.
const Case kCases[] = {
    {"1,12\" pipe\n2,x\n", {1, 1}},         // a quote inside a field is data
    {"a,b\"c\"d,e\n", {1}},                 //
    {"12\",3\"\n", {1}},                    //
    {" \"a\nb\"\n", {1, 1}},                // a blank first: not the field's start
    {"\"a\"\"b\",c\n", {1}},                // "" stands for one quote
    {"1,\"two\nlines\",3\n4,x\n", {2, 1}},  // a quoted line break is data
    {"1,\"a\rb\",2\r\n3\n", {2, 1}},        // so is a quoted CR
    {"a,\"b\n\n\nc\"\n", {4}},              //
    {"x,\"\"\"\n\",y\n", {2}},              // a quote, then a quoted LF
    {"\"\",\"\"\n", {1}},                   // empty quoted fields
    {"a,\"b\"\"\"\nc\n", {1, 1}},           // b" closed before the line ends
    {"\"a\"\",b\nc\"\n", {2}},              //
    {"\"ab\"c,\"d\ne\"\n", {2}},            // text after a closing quote
    {"\"ab\"c\"d\ne\n", {1, 1}},            // then a quote in it is data
    {"id,size\r\n1,12\" pipe\r\n2,\"3\r\n4\"\r\n", {1, 1, 2}},  //
    {"1,a\"b\n\"c\nd\",e\n", {1, 2}},                           //
};

// The text's lines, without their ends (LF, CR LF or a lone CR).
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t i = 0;
  while (i < text.size()) {
    const size_t j = text.find_first_of("\r\n", i);
    lines.push_back(text.substr(i, j - i));
    i = j + (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string Encode(const std::string& ascii, LineUnit unit) {
  if (unit == LineUnit::kByte) return ascii;
  std::string out;
  for (char c : ascii)
    out += unit == LineUnit::kUtf16LE ? std::string{c, '\0'} : std::string{'\0', c};
  return out;
}

// Lines per record, each line scanned in two parts cut at split (in code
// units), so the state must carry from one part to the next.
std::vector<int> Records(const std::string& text, LineUnit unit, size_t split) {
  const size_t width = unit == LineUnit::kByte ? 1 : 2;
  std::vector<int> records;
  int lines = 0;
  CsvState state = CsvState::kFieldStart;
  for (const std::string& line : Lines(text)) {
    const std::string bytes = Encode(line, unit);
    const size_t cut = std::min(split * width, bytes.size());
    state = ScanCsv(std::string_view(bytes).substr(0, cut), unit, state);
    state = ScanCsv(std::string_view(bytes).substr(cut), unit, state);
    ++lines;
    if (CsvRecordGoesOn(state)) continue;
    records.push_back(lines);
    lines = 0;
    state = CsvState::kFieldStart;
  }
  return records;
}

TEST(CsvFieldsTest, RecordsEndWhereCsvReadersEndThem) {
  for (const Case& c : kCases) {
    for (LineUnit unit : {LineUnit::kByte, LineUnit::kUtf16LE, LineUnit::kUtf16BE}) {
      for (size_t split = 0; split < 12; ++split) {
        EXPECT_EQ(Records(c.text, unit, split), c.lines_per_record)
            << ::testing::PrintToString(c.text) << " unit " << static_cast<int>(unit) << " cut "
            << split;
      }
    }
  }
}

TEST(CsvFieldsTest, StateAfterALinesStart) {
  const std::pair<const char*, CsvState> cases[] = {
      {"", CsvState::kFieldStart},           {"a,", CsvState::kFieldStart},
      {"a,b\"", CsvState::kUnquoted},        {"a,\"b", CsvState::kQuoted},
      {"a,\"b\"", CsvState::kQuoteInQuoted}, {"a,\"b\"\"", CsvState::kQuoted},
      {"a,\"b\"c\"", CsvState::kUnquoted},   {"\"b\",", CsvState::kFieldStart},
  };
  for (const auto& [text, state] : cases) {
    EXPECT_EQ(ScanCsv(text, LineUnit::kByte, CsvState::kFieldStart), state) << text;
  }
}

}  // namespace
}  // namespace lorvant
