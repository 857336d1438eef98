#include "infra/TextUtil.h"

namespace lorvant {
namespace {
char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }
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

}  // namespace lorvant
