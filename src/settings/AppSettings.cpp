#include "settings/AppSettings.h"

#include "base/TextUtil.h"
#include "settings/RegUtil.h"

namespace lorvant {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A decimal number: [+-]digits[.digits][(e|E)[+-]digits], at least one
// mantissa digit. *zero tells whether every mantissa digit is 0.
bool ParseNumber(std::string_view s, bool* zero) {
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  *zero = true;
  auto mantissa = [&] {
    for (; i < s.size() && IsDigit(s[i]); ++i, ++digits) *zero = *zero && s[i] == '0';
  };
  mantissa();
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa();
  }
  if (digits == 0) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t start = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    if (i == start) return false;
  }
  return i == s.size();
}

}  // namespace

bool TryTextToBool(std::string_view text, bool* value) {
  bool zero;
  if (ParseNumber(text, &zero)) {
    *value = !zero;
  } else if (SameTextIgnoreCase(text, "true")) {
    *value = true;
  } else if (SameTextIgnoreCase(text, "false")) {
    *value = false;
  } else {
    return false;
  }
  return true;
}

void TAppSettings::Load() {
  bool not_show = false;
  if (!TryTextToBool(RegReadString(kProductKey, "NotShowLaunch"), &not_show)) not_show = false;
  ShowLaunch = !not_show;
}

}  // namespace lorvant
