// Conversions between the byte encodings the system meets and its own
// string form, UTF-8 in std::string. Lenient forms never fail: anything that
// cannot be decoded becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

namespace lorvant {

// The UTF-16 code unit whose two bytes start at p.
inline unsigned Utf16Unit(const unsigned char* p, bool big_endian) {
  return big_endian ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]);
}

// True when bytes is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);
// bytes as UTF-8 with every ill-formed sequence replaced by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);
// UTF-16 code units (little- or big-endian) to UTF-8; unpaired surrogates
// and a lone last byte become U+FFFD.
std::string Utf16ToUtf8(std::string_view bytes, bool big_endian);
// UTF-8 (assumed valid; ill-formed bytes become U+FFFD) to UTF-16 bytes.
std::string Utf8ToUtf16(std::string_view text, bool big_endian);
// Number of code points of a UTF-8 string (continuation bytes not counted).
size_t CountCodePoints(std::string_view text);

}  // namespace lorvant
