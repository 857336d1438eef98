#include "textio/HeaderRecords.h"

#include "base/Exception.h"
#include "textio/BlockTextReader.h"
#include "textio/CsvFields.h"

namespace lorvant {

THeaderRecords ReadHeaderRecords(TBlockTextReader& reader, int32_t records, bool csv,
                                 bool keep_ends, std::string_view line_end, size_t max_bytes) {
  THeaderRecords header;
  const LineUnit unit = reader.Layout().unit;
  for (int32_t r = 0; r < records && reader.ReadLine(); ++r) {
    ++header.lines;
    CsvState state = CsvState::kFieldStart;
    while (true) {  // the record's lines, while a quoted field is open
      while (true) {
        const std::string_view part = reader.CurrentBytes();
        if (csv) state = ScanCsv(part, unit, state);
        if (header.bytes.size() + part.size() > max_bytes) {
          throw Exception("The header lines take more than " + std::to_string(max_bytes >> 20) +
                          " MiB.");
        }
        header.bytes.append(part);
        if (reader.LineComplete()) break;
        reader.ReadMore();
      }
      const std::string_view own_end = reader.LineEndBytes();
      if (!csv || !CsvRecordGoesOn(state) || own_end.empty()) {
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
