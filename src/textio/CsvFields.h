// Where a CSV record stands after some of its bytes, as RFC 4180 and the
// common readers see it, so a split can tell whether a line break ends the
// record or is data inside a quoted field. Fields are separated by commas;
// a quote is special only at a field's start, where it opens a quoted field.
#pragma once

#include <cstdint>
#include <string_view>

#include "textio/CharsetUtil.h"

namespace lorvant {

enum class CsvState : uint8_t {
  kFieldStart,     // at the start of a record or a field
  kUnquoted,       // inside a field that did not start with a quote: quotes are data
  kQuoted,         // inside a quoted field: line breaks are data
  kQuoteInQuoted,  // after a quote inside a quoted field: "" is one quote, else it closed the field
};

// The state after the code unit c (never a line break) from s. A quote that
// closed a field and more text after it leave the rest of the field
// unquoted, as lenient readers take it.
constexpr CsvState CsvStep(CsvState s, uint32_t c) {
  switch (s) {
    case CsvState::kFieldStart:
      return c == '"' ? CsvState::kQuoted : c == ',' ? CsvState::kFieldStart : CsvState::kUnquoted;
    case CsvState::kUnquoted:
      return c == ',' ? CsvState::kFieldStart : CsvState::kUnquoted;
    case CsvState::kQuoted:
      return c == '"' ? CsvState::kQuoteInQuoted : CsvState::kQuoted;
    case CsvState::kQuoteInQuoted:
      return c == '"' ? CsvState::kQuoted : c == ',' ? CsvState::kFieldStart : CsvState::kUnquoted;
  }
  return s;
}

// Whether a line break met in state s is data of a quoted field, so the
// record goes on past it.
constexpr bool CsvRecordGoesOn(CsvState s) { return s == CsvState::kQuoted; }

// The state after bytes (whole code units of unit, no line break) from s.
CsvState ScanCsv(std::string_view bytes, LineUnit unit, CsvState s);

}  // namespace lorvant
