#include "textio/HeaderRecords.h"

#include <algorithm>

#include "base/Exception.h"
#include "textio/BlockTextReader.h"

namespace lorvant {

int64_t CountQuotes(std::string_view bytes, LineUnit unit) {
  if (unit == LineUnit::kByte) return std::count(bytes.begin(), bytes.end(), '"');
  const size_t low = unit == LineUnit::kUtf16LE ? 0 : 1;  // where the ASCII byte sits
  int64_t quotes = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    quotes += bytes[i + low] == '"' && bytes[i + 1 - low] == 0;
  }
  return quotes;
}

THeaderRecords ReadHeaderRecords(TBlockTextReader& reader, int32_t records, bool csv,
                                 bool keep_ends, std::string_view line_end, size_t max_bytes) {
  THeaderRecords header;
  const LineUnit unit = reader.Layout().unit;
  for (int32_t r = 0; r < records && reader.ReadLine(); ++r) {
    ++header.lines;
    int64_t quotes = 0;
    while (true) {  // the record's lines, while a quote is open
      while (true) {
        const std::string_view part = reader.CurrentBytes();
        if (csv) quotes += CountQuotes(part, unit);
        if (header.bytes.size() + part.size() > max_bytes) {
          throw Exception("The header lines take more than " + std::to_string(max_bytes >> 20) +
                          " MiB.");
        }
        header.bytes.append(part);
        if (reader.LineComplete()) break;
        reader.ReadMore();
      }
      const std::string_view own_end = reader.LineEndBytes();
      if (!csv || quotes % 2 == 0 || own_end.empty()) {
        header.bytes.append(keep_ends ? own_end : line_end);
        break;
      }
      header.bytes.append(own_end);
      if (!reader.ReadLine()) break;
      ++header.lines;
    }
  }
  return header;
}

}  // namespace lorvant
