// The records a split repeats at the top of every piece, read from the
// start of a source, and the quote count that tells where a CSV record
// ends (a line break inside a quoted field does not end it).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "textio/CharsetUtil.h"

namespace lorvant {

class TBlockTextReader;

// Quote characters ('"' code units of unit) in bytes.
int64_t CountQuotes(std::string_view bytes, LineUnit unit);

struct THeaderRecords {
  std::string bytes;  // the records as pieces repeat them
  int64_t lines = 0;  // the source lines they took
};

// Reads up to `records` records from reader (positioned before its first
// line): each line's bytes, a record's inner line breaks as they are, and
// its last line's own end (keep_ends) or line_end. With csv, a record goes
// on while a quote is open. Throws Exception when the records take more
// than max_bytes.
THeaderRecords ReadHeaderRecords(TBlockTextReader& reader, int32_t records, bool csv,
                                 bool keep_ends, std::string_view line_end, size_t max_bytes);

}  // namespace lorvant
