#include "settings/MyIniFile.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "base/Unicode.h"
#include "fs/AtomicFile.h"
#include "os/Env.h"

namespace lorvant {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

// "[name]" with blanks around the line and the name ignored.
bool ParseSection(std::string_view text, std::string_view* name) {
  text = Trim(text);
  if (text.empty() || text.front() != '[') return false;
  size_t close = text.find(']');
  if (close == std::string_view::npos) return false;
  *name = Trim(text.substr(1, close - 1));
  return true;
}

// "name=value", split at the first '=', both trimmed.
bool ParseKey(std::string_view text, std::string_view* name, std::string_view* value) {
  size_t eq = text.find('=');
  if (eq == std::string_view::npos) return false;
  *name = Trim(text.substr(0, eq));
  *value = Trim(text.substr(eq + 1));
  return true;
}

bool IsQuote(char c) { return c == '"' || c == '\''; }

// One line of the file: its decoded text, plus the bytes it had in the file
// so that every line the write does not change is written back unchanged.
struct IniLine {
  std::string text;  // UTF-8, without the line end
  std::string raw;   // content bytes in the file's encoding
  std::string eol;   // line end bytes in the file's encoding ("" for a last line without one)
};

// A whole INI file as a list of lines in its own encoding.
class IniDocument {
 public:
  // Decodes the bytes of a file (FF FE: UTF-16LE, EF BB BF or none: UTF-8).
  explicit IniDocument(std::string_view bytes) {
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
      utf16_ = true;
      mark_ = bytes.substr(0, 2);
    } else if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
      mark_ = bytes.substr(0, 3);
    }
    bytes.remove_prefix(mark_.size());
    const size_t unit = utf16_ ? 2 : 1;
    // Code unit k of the content, or 0x10000 past the end.
    auto at = [&](size_t k) -> unsigned {
      if (k + unit > bytes.size()) return 0x10000;
      if (!utf16_) return static_cast<unsigned char>(bytes[k]);
      return Utf16Unit(reinterpret_cast<const unsigned char*>(bytes.data()) + k, false);
    };
    size_t pos = 0;
    while (pos < bytes.size()) {
      size_t end = pos;
      while (end < bytes.size() && at(end) != '\r' && at(end) != '\n') end += unit;
      end = std::min(end, bytes.size());
      IniLine line;
      line.raw = bytes.substr(pos, end - pos);
      line.text = utf16_ ? Utf16ToUtf8(line.raw, false) : line.raw;
      size_t next = end;  // past CR LF, CR or LF
      if (at(end) == '\r') {
        next += unit;
        if (at(next) == '\n') next += unit;
      } else if (at(end) == '\n') {
        next += unit;
      }
      line.eol = bytes.substr(end, next - end);
      if (eol_.empty()) eol_ = line.eol;
      lines_.push_back(std::move(line));
      pos = next;
    }
    if (eol_.empty()) eol_ = Encode("\r\n");
  }

  // Index of the first section named section, or -1.
  ptrdiff_t FindSection(std::string_view section) const {
    std::string_view name;
    for (size_t i = 0; i < lines_.size(); ++i) {
      if (ParseSection(lines_[i].text, &name) && SameTextIgnoreCase(name, section)) {
        return static_cast<ptrdiff_t>(i);
      }
    }
    return -1;
  }

  // One past the last line of the section whose header is at index header.
  size_t SectionEnd(size_t header) const {
    std::string_view name;
    size_t i = header + 1;
    while (i < lines_.size() && !ParseSection(lines_[i].text, &name)) ++i;
    return i;
  }

  // Index of the line holding ident within the section, or -1.
  ptrdiff_t FindKey(size_t header, std::string_view ident, std::string_view* value) const {
    std::string_view name;
    for (size_t i = header + 1, end = SectionEnd(header); i < end; ++i) {
      if (ParseKey(lines_[i].text, &name, value) && SameTextIgnoreCase(name, ident)) {
        return static_cast<ptrdiff_t>(i);
      }
    }
    return -1;
  }

  // Replaces ident's value where it stands, or adds it after the section's
  // last non-blank line, or adds the section at the end.
  void Set(std::string_view section, std::string_view ident, std::string_view value) {
    ptrdiff_t header = FindSection(section);
    if (header >= 0) {
      std::string_view name, old;
      ptrdiff_t key = FindKey(static_cast<size_t>(header), ident, &old);
      if (key >= 0) {
        IniLine& line = lines_[static_cast<size_t>(key)];
        ParseKey(line.text, &name, &old);  // keeps the key's spelling in the file
        SetText(&line, std::string(name) + "=" + std::string(value));
        return;
      }
      size_t at = SectionEnd(static_cast<size_t>(header));
      while (at > static_cast<size_t>(header) + 1 && Trim(lines_[at - 1].text).empty()) --at;
      Insert(at, std::string(ident) + "=" + std::string(value));
      return;
    }
    Insert(lines_.size(), "[" + std::string(section) + "]");
    Insert(lines_.size(), std::string(ident) + "=" + std::string(value));
  }

  std::string Bytes() const {
    std::string out = mark_;
    for (const IniLine& line : lines_) {
      out += line.raw;
      // Half a code unit at the end of a UTF-16 file is dropped once more
      // follows it; kept, it would shift every later character by a byte.
      if (utf16_ && out.size() % 2 != 0 && &line != &lines_.back()) out.pop_back();
      out += line.eol;
    }
    return out;
  }

 private:
  std::string Encode(std::string_view text) const {
    return utf16_ ? Utf8ToUtf16(text, false) : std::string(text);
  }

  void SetText(IniLine* line, std::string text) {
    line->raw = Encode(text);
    line->text = std::move(text);
  }

  void Insert(size_t at, std::string text) {
    // A last line without a line end gets one before anything follows it.
    if (at > 0 && lines_[at - 1].eol.empty()) lines_[at - 1].eol = eol_;
    IniLine line;
    SetText(&line, std::move(text));
    line.eol = eol_;
    lines_.insert(lines_.begin() + static_cast<ptrdiff_t>(at), std::move(line));
  }

  bool utf16_ = false;
  std::string mark_;
  std::string eol_;  // line end for new lines: the file's first one, else CR LF
  std::vector<IniLine> lines_;
};

// The value as stored on a line, so that it reads back exactly: a value the
// reader would trim or unquote is written inside a pair of double quotes.
std::string StoredForm(const std::string& value) {
  if (value.empty()) return value;
  bool blank_edge = IsBlank(value.front()) || IsBlank(value.back());
  bool quoted = value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front();
  return blank_edge || quoted ? "\"" + value + "\"" : value;
}

// Parses a whole integer: [+-]decimal, or $ / 0x / 0X and hex digits.
bool ParseInt32(std::string_view text, int32_t* result) {
  int64_t value = 0;
  int base = 10;
  bool negative = false;
  if (!text.empty() && text.front() == '$') {
    base = 16;
    text.remove_prefix(1);
  } else if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  } else if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return false;
  const int64_t limit = negative ? int64_t{1} << 31 : (int64_t{1} << 31) - 1;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    value = value * base + digit;
    if (value > limit) return false;
  }
  *result = static_cast<int32_t>(negative ? -value : value);
  return true;
}

}  // namespace

std::string TMyIniFile::ReadString(const std::string& section, const std::string& ident,
                                   const std::string& def) const {
  std::string bytes;
  if (!Snapshot(&bytes)) return def;  // missing or unreadable: the defaults
  IniDocument doc(bytes);
  ptrdiff_t header = doc.FindSection(Trim(section));
  if (header < 0) return def;
  std::string_view value;
  if (doc.FindKey(static_cast<size_t>(header), Trim(ident), &value) < 0) return def;
  if (value.size() >= 2 && IsQuote(value.front()) && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  // Cut after kMaxValueLength code points.
  size_t count = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    if ((static_cast<unsigned char>(value[i]) & 0xC0) != 0x80 && count++ == kMaxValueLength) {
      value = value.substr(0, i);
      break;
    }
  }
  return std::string(value);
}

int32_t TMyIniFile::ReadInteger(const std::string& section, const std::string& ident,
                                int32_t def) const {
  int32_t value;
  return ParseInt32(ReadString(section, ident, ""), &value) ? value : def;
}

std::optional<bool> TMyIniFile::ReadBool(const std::string& section, const std::string& ident,
                                         bool def) const {
  const std::string text = ReadString(section, ident, "");
  if (text.empty()) return def;
  int32_t number;
  if (ParseInt32(text, &number)) return number != 0;
  for (const char* word : {"yes", "true", "on"}) {
    if (SameTextIgnoreCase(text, word)) return true;
  }
  for (const char* word : {"no", "false", "off"}) {
    if (SameTextIgnoreCase(text, word)) return false;
  }
  return std::nullopt;
}

void TMyIniFile::WriteString(const std::string& section, const std::string& ident,
                             const std::string& value) {
  WriteStrings(section, {{ident, value}});
}

void TMyIniFile::WriteStrings(const std::string& section, const IniValues& values) {
  const std::string failure = "Unable to write to " + FileName;
  // A line break in any part would add lines of its own to the file; '=' in a
  // key name and ']' in a section name would not read back as written.
  std::string_view sect = Trim(section);
  if (sect.find_first_of("\r\n]") != std::string_view::npos || sect.empty()) {
    throw EIniFileException(failure);
  }
  for (const auto& [ident, value] : values) {
    std::string_view key = Trim(ident);
    if (value.find_first_of("\r\n") != std::string::npos ||
        key.find_first_of("\r\n=") != std::string_view::npos || key.empty()) {
      throw EIniFileException(failure);
    }
  }
  try {
    Env* env = Env::Default();
    std::string bytes;
    if (env->Stat(FileName).exists) {
      bytes = ReadWholeFile(FileName);
      // The file is replaced by a rename; a read-only file must still refuse.
      env->OpenForAppend(FileName)->Close();
    }
    IniDocument doc(bytes);
    for (const auto& [ident, value] : values) doc.Set(sect, Trim(ident), StoredForm(value));
    bytes_ = doc.Bytes();
    loaded_ = false;
    WriteFileAtomically(FileName, bytes_);
    loaded_ = readable_ = true;
  } catch (const Exception&) {
    throw EIniFileException(failure);
  }
}

bool TMyIniFile::Snapshot(std::string* bytes) const {
  if (!loaded_) {
    loaded_ = true;
    try {
      bytes_ = ReadWholeFile(FileName);
      readable_ = true;
    } catch (const Exception&) {
      bytes_.clear();
      readable_ = false;
    }
  }
  *bytes = bytes_;
  return readable_;
}

void TMyIniFile::WriteInteger(const std::string& section, const std::string& ident, int32_t value) {
  WriteString(section, ident, std::to_string(value));
}

}  // namespace lorvant
