// The records a split repeats at the top of every piece, read from the
// start of a source (a CSV record goes on past a line break inside a
// quoted field).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "textio/CharsetUtil.h"

namespace lorvant {

class TBlockTextReader;

struct THeaderRecords {
  std::string bytes;  // the records as pieces repeat them
  int64_t lines = 0;  // the source lines they took
};

// Reads up to `records` records from reader (positioned before its first
// line): each line's bytes, a record's inner line breaks as they are, and
// its last line's own end (keep_ends) or line_end. With csv, a record goes
// on while a quoted field is open (CsvFields). Throws Exception when the records take more
// than max_bytes.
THeaderRecords ReadHeaderRecords(TBlockTextReader& reader, int32_t records, bool csv,
                                 bool keep_ends, std::string_view line_end, size_t max_bytes);

}  // namespace lorvant
