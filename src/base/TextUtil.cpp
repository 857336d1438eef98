#include "base/TextUtil.h"

#include <string>

namespace lorvant {
namespace {
char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }
// The value part of a shell-style assignment: double quotes with backslash
// escapes, single quotes taken literally, or a bare word.
std::string Unquote(const std::string& value) {
  if (value.empty()) return value;
  const char quote = value[0];
  if (quote != '"' && quote != '\'') {
    size_t end = value.find_first_of(" \t\r");
    return value.substr(0, end);
  }
  std::string out;
  for (size_t i = 1; i < value.size() && value[i] != quote; ++i) {
    if (quote == '"' && value[i] == '\\' && i + 1 < value.size()) ++i;
    out += value[i];
  }
  return out;
}

}  // namespace

std::string TrimText(std::string_view text) {
  while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
  return std::string(text);
}

std::string LowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = LowerChar(c);
  return out;
}

bool SameTextIgnoreCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerChar(a[i]) != LowerChar(b[i])) return false;
  }
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(pos, end - pos));
    pos = end;
    if (pos < text.size()) {
      ++pos;  // the CR or LF
      if (text[end] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
    }
  }
  return lines;
}

void SplitString(const std::string& text, char delimiter, std::vector<std::string>* list) {
  list->clear();
  std::string rest = TrimText(text);
  size_t pos;
  while ((pos = rest.find(delimiter)) != std::string::npos) {
    list->push_back(rest.substr(0, pos));
    rest.erase(0, pos + 1);
  }
  list->push_back(rest);
}

std::string TextAfter(const std::string& text, const std::string& sub) {
  size_t pos = text.find(sub);
  return pos == std::string::npos ? "" : text.substr(pos + sub.size());
}

std::string TextBefore(const std::string& text, const std::string& sub) {
  size_t pos = text.find(sub);
  return pos == std::string::npos ? "" : text.substr(0, pos);
}

std::string PrintableText(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::map<std::string, std::string> ParseShellAssignments(std::string_view text) {
  std::map<std::string, std::string> values;
  for (const std::string& line : SplitLines(text)) {
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') continue;
    size_t eq = line.find('=', first);
    if (eq == std::string::npos) continue;
    values[line.substr(first, eq - first)] = Unquote(line.substr(eq + 1));
  }
  return values;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

std::string UrlEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
        c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

}  // namespace lorvant
