// Small text helpers shared by every layer: trimming and comparing names
// without regard to (ASCII) letter case, as settings, INI files and
// parameter names are compared.
#pragma once

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

}  // namespace lorvant
