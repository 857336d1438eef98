#include "textio/LineScan.h"

#include <random>
#include <string>

#include <gtest/gtest.h>

namespace lorvant {
namespace {

// Line by line: lines ending in CR LF from the start, at most max.
int64_t ReferenceCrLf(const std::string& s, int64_t max, size_t* used) {
  int64_t lines = 0;
  size_t start = 0;
  *used = 0;
  while (lines < max) {
    const size_t end = s.find_first_of("\r\n", start);
    if (end == std::string::npos || s[end] != '\r' || end + 1 >= s.size() || s[end + 1] != '\n') {
      break;
    }
    start = end + 2;
    *used = start;
    ++lines;
  }
  return lines;
}

TEST(LineScanTest, CrLfLinesMatchALineByLineScan) {
  std::mt19937 rng(7);
  const char alphabet[] = {'a', 'b', '\r', '\n'};
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    const size_t len = rng() % 300;
    // Mostly proper CR LF lines, now and then a lone CR or LF.
    while (s.size() < len) {
      const int pick = static_cast<int>(rng() % 40);
      if (pick == 0 || pick == 1) {
        s += alphabet[2 + pick];
      } else if (pick < 6) {
        s += "\r\n";
      } else {
        s += alphabet[rng() % 2];
      }
    }
    for (int64_t max : {1, 2, 5, 1000}) {
      size_t used = 0, expected_used = 0;
      const int64_t lines = ScanCrLfLines(s.data(), s.size(), max, &used);
      EXPECT_EQ(lines, ReferenceCrLf(s, max, &expected_used)) << round;
      EXPECT_EQ(used, expected_used) << round;
    }
  }
}

// Line by line: LF lines from the start copied with CR LF, while they fit.
int64_t ReferenceLf(const std::string& s, int64_t max, size_t cap, std::string* out, bool* full) {
  int64_t lines = 0;
  size_t start = 0;
  *full = false;
  while (lines < max) {
    const size_t lf = s.find('\n', start);
    if (lf == std::string::npos) break;
    if (out->size() + (lf - start) + 2 > cap) {
      *full = true;
      break;
    }
    *out += s.substr(start, lf - start) + "\r\n";
    start = lf + 1;
    ++lines;
  }
  return lines;
}

TEST(LineScanTest, LfCopiesMatchALineByLineCopy) {
  std::mt19937 rng(11);
  for (int round = 0; round < 3000; ++round) {
    std::string s;
    const size_t len = rng() % 400;
    const size_t line = 1 + rng() % 80;  // typical line length of this round
    while (s.size() < len) s += rng() % line == 0 ? '\n' : static_cast<char>('a' + rng() % 26);
    for (int64_t max : {1, 3, 1000}) {
      for (size_t cap : {size_t{0}, size_t{50}, size_t{150}, size_t{1000}}) {
        std::string expected;
        bool expected_full = false;
        const int64_t lines = ReferenceLf(s, max, cap, &expected, &expected_full);
        std::string out(cap, '?');
        size_t used = 0, written = 0;
        bool full = false;
        ASSERT_EQ(
            CopyLfLinesAsCrLf(s.data(), s.size(), max, out.data(), cap, &used, &written, &full),
            lines)
            << round;
        EXPECT_EQ(out.substr(0, written), expected) << round;
        EXPECT_EQ(used, expected.size() - static_cast<size_t>(lines)) << round;
        EXPECT_EQ(full, expected_full) << round;
      }
    }
  }
}

TEST(LineScanTest, LfLinesAreCopiedWithCrLfWhileTheyFit) {
  const std::string src = "ab\n\ncde\nf";
  struct Case {
    int64_t max;
    size_t cap;
    int64_t lines;
    std::string out;
    bool full;
  };
  const Case cases[] = {
      {10, 100, 3, "ab\r\n\r\ncde\r\n", false},  // stops at the line without end
      {2, 100, 2, "ab\r\n\r\n", false},
      {10, 7, 2, "ab\r\n\r\n", true},  // "cde" does not fit
      {10, 3, 0, "", true},
  };
  for (const Case& c : cases) {
    std::string out(c.cap, '?');
    size_t used = 0, written = 0;
    bool full = false;
    EXPECT_EQ(
        CopyLfLinesAsCrLf(src.data(), src.size(), c.max, out.data(), c.cap, &used, &written, &full),
        c.lines);
    EXPECT_EQ(out.substr(0, written), c.out);
    EXPECT_EQ(used, c.out.size() - static_cast<size_t>(c.lines));
    EXPECT_EQ(full, c.full);
  }
}

}  // namespace
}  // namespace lorvant
