#include "base/Unicode.h"

#include <cstdint>

namespace lorvant {
namespace {

const char kReplacement[] = "\xEF\xBF\xBD";

void AppendCodePoint(std::string* out, uint32_t cp) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Length of the well-formed UTF-8 sequence at s[i], or 0 when ill-formed.
size_t SequenceLength(std::string_view s, size_t i, uint32_t* cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) {
    *cp = c;
    return 1;
  }
  size_t len;
  uint32_t value;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    value = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    value = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    value = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (i + len > s.size()) return 0;
  for (size_t k = 1; k < len; ++k) {
    unsigned char t = b(i + k);
    if (k == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return 0;
    value = (value << 6) | (t & 0x3F);
  }
  *cp = value;
  return len;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  uint32_t cp;
  for (size_t i = 0; i < bytes.size();) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      ++i;
      continue;
    }
    size_t n = SequenceLength(bytes, i, &cp);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string SanitizeUtf8(std::string_view bytes) {
  if (IsValidUtf8(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + 8);
  uint32_t cp;
  for (size_t i = 0; i < bytes.size();) {
    size_t n = SequenceLength(bytes, i, &cp);
    if (n == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(bytes.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::string_view bytes, bool big_endian) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t k) -> uint32_t {
    return Utf16Unit(reinterpret_cast<const unsigned char*>(bytes.data()) + 2 * k, big_endian);
  };
  for (size_t k = 0; k < units; ++k) {
    uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units) {
      uint32_t v = unit(k + 1);
      if (v >= 0xDC00 && v <= 0xDFFF) {
        AppendCodePoint(&out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
        ++k;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) {
      out += kReplacement;
    } else {
      AppendCodePoint(&out, u);
    }
  }
  if (bytes.size() % 2 != 0) out += kReplacement;
  return out;
}

std::string Utf8ToUtf16(std::string_view text, bool big_endian) {
  std::string out;
  out.reserve(text.size() * 2);
  auto put = [&](uint32_t u) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    if (big_endian) {
      out.push_back(hi);
      out.push_back(lo);
    } else {
      out.push_back(lo);
      out.push_back(hi);
    }
  };
  uint32_t cp;
  for (size_t i = 0; i < text.size();) {
    size_t n = SequenceLength(text, i, &cp);
    if (n == 0) {
      cp = 0xFFFD;
      n = 1;
    }
    i += n;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

size_t CountCodePoints(std::string_view text) {
  size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

}  // namespace lorvant
