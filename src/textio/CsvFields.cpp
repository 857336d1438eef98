#include "textio/CsvFields.h"

#include <cstring>

#include "base/Unicode.h"

namespace lorvant {

CsvState ScanCsv(std::string_view bytes, LineUnit unit, CsvState s) {
  if (unit != LineUnit::kByte) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const bool be = unit == LineUnit::kUtf16BE;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) s = CsvStep(s, Utf16Unit(p + i, be));
    return s;
  }
  // Inside a field only its end matters: a quote in a quoted field, a comma
  // in an unquoted one. Whole stretches are skipped to it.
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  while (p < end) {
    if (s == CsvState::kQuoted || s == CsvState::kUnquoted) {
      const char stop = s == CsvState::kQuoted ? '"' : ',';
      const void* hit = std::memchr(p, stop, static_cast<size_t>(end - p));
      if (hit == nullptr) return s;
      p = static_cast<const char*>(hit);
    }
    s = CsvStep(s, static_cast<unsigned char>(*p++));
  }
  return s;
}

}  // namespace lorvant
