#include "settings/ValuesFile.h"

#include "base/TextUtil.h"
#include "base/Unicode.h"

namespace lorvant {
namespace {

// First line of every values file; a file without it is not ours.
const char kHeader[] = "# Lorvant settings 1";

// Length of the well-formed multi-byte UTF-8 sequence at s[i], 0 if none.
size_t Utf8SequenceAt(std::string_view s, size_t i) {
  auto lead = static_cast<unsigned char>(s[i]);
  size_t len = lead >= 0xC2 && lead <= 0xDF   ? 2
               : lead >= 0xE0 && lead <= 0xEF ? 3
               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                              : 0;
  if (len == 0 || i + len > s.size() || !IsValidUtf8(s.substr(i, len))) return 0;
  return len;
}

// Keeps the file one line per value and valid UTF-8 whatever bytes a value
// holds (paths need not be UTF-8), so every value reads back exactly.
std::string Escape(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  auto plain = [](unsigned char c) {
    return (c >= 0x20 && c < 0x80 && c != '\\' && c != '=') || c == '\t';
  };
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t run = i;
    while (run < text.size() && plain(static_cast<unsigned char>(text[run]))) ++run;
    if (run > i) {
      out.append(text.substr(i, run - i));
      i = run;
      continue;
    }
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\' || c == '=') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (size_t len = c >= 0x80 ? Utf8SequenceAt(text, i) : 0; len != 0) {
      out.append(text.substr(i, len));
      i += len;
      continue;
    } else {  // another control character, or a byte that is not UTF-8
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
    ++i;
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Unescapes text[*pos, stop) up to an unescaped '=' (when stop_at_equals)
// or the end. False on a malformed escape.
bool Unescape(std::string_view text, size_t* pos, bool stop_at_equals, std::string* out) {
  size_t i = *pos;
  while (i < text.size()) {
    size_t plain = text.find_first_of(stop_at_equals ? "\\=" : "\\", i);
    if (plain == std::string_view::npos) plain = text.size();
    out->append(text.substr(i, plain - i));
    i = plain;
    if (i == text.size() || text[i] == '=') break;
    if (i + 1 >= text.size()) return false;
    char e = text[i + 1];
    i += 2;
    switch (e) {
      case '\\':
      case '=':
        out->push_back(e);
        break;
      case 'r':
        out->push_back('\r');
        break;
      case 'n':
        out->push_back('\n');
        break;
      case 'x': {
        if (i + 2 > text.size()) return false;
        int hi = HexDigit(text[i]), lo = HexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out->push_back(static_cast<char>(hi << 4 | lo));
        i += 2;
        break;
      }
      default:
        return false;
    }
  }
  *pos = i;
  return true;
}

bool ParseLine(std::string_view line, std::string* name, std::string* value) {
  if (!IsValidUtf8(line)) return false;
  size_t pos = 0;
  if (!Unescape(line, &pos, true, name) || pos >= line.size()) return false;
  ++pos;  // the '='
  return Unescape(line, &pos, false, value);
}

}  // namespace

std::string TValueStore::Key(std::string_view name) { return LowerAscii(name); }

TValueStore ParseValues(std::string_view data, bool* damaged) {
  TValueStore values;
  *damaged = false;
  if (data.substr(0, 3) == "\xEF\xBB\xBF") data.remove_prefix(3);
  bool first = true;
  size_t pos = 0;
  while (pos < data.size()) {
    size_t end = data.find('\n', pos);
    if (end == std::string_view::npos) end = data.size();
    std::string_view line = data.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool header = first && line == kHeader;
    first = false;
    if (header || line.empty()) continue;
    std::string name, value;
    if (ParseLine(line, &name, &value)) {
      values.Set(name, value);
    } else {
      *damaged = true;
    }
  }
  return values;
}

std::string SerializeValues(const ValueList& values) {
  std::string out = std::string(kHeader) + "\r\n";
  for (const auto& [name, value] : values) {
    out += Escape(name);
    out += '=';
    out += Escape(value);
    out += "\r\n";
  }
  return out;
}

}  // namespace lorvant
