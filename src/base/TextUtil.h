// Small text helpers shared by every layer: trimming and comparing names
// without regard to (ASCII) letter case, as settings, INI files and
// parameter names are compared.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lorvant {

// Removes blanks and control characters (bytes up to 0x20) at both ends.
std::string TrimText(std::string_view text);
// text with A-Z turned into a-z; other bytes unchanged.
std::string LowerAscii(std::string_view text);
// Equal when compared without regard to ASCII letter case.
bool SameTextIgnoreCase(std::string_view a, std::string_view b);
// The lines of text: they end at CR LF, lone CR or LF; a line end after the
// last line adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

// Clears list, trims text of blanks and control characters, then cuts it at
// every delimiter (an empty text gives one empty item).
void SplitString(const std::string& text, char delimiter, std::vector<std::string>* list);
// Text after / before the first occurrence of sub; "" when sub is absent.
std::string TextAfter(const std::string& text, const std::string& sub);
std::string TextBefore(const std::string& text, const std::string& sub);
// text with every occurrence of from (not empty) replaced by to.
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);

// text with every control byte (below 0x20, and 0x7F) shown as \xHH, so a
// message quoting a name stays one readable line.
std::string PrintableText(std::string_view text);

// KEY=value assignments of a shell-style file such as os-release or
// user-dirs.dirs, comments and blank lines skipped; a value may be double
// quoted (backslash escapes), single quoted (literal) or a bare word.
std::map<std::string, std::string> ParseShellAssignments(std::string_view text);

// text as a URL query value: every byte but A-Z, a-z, 0-9 and "-_.~" as %XX.
std::string UrlEncode(std::string_view text);

}  // namespace lorvant
