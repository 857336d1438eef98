#include "scheduler/SchedUtils.h"

#include <string.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>

#include "base/TextUtil.h"
#include "base/Unicode.h"
#include "os/Env.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

bool AllDigits(const std::string& s, size_t from, size_t n) {
  if (from + n > s.size()) return false;
  for (size_t i = from; i < from + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

int Number(const std::string& s, size_t from, size_t n) { return std::stoi(s.substr(from, n)); }

bool HasJobExtension(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot != std::string::npos && SameTextIgnoreCase(name.substr(dot), ".job");
}

}  // namespace

std::string MinutesToIsoDuration(uint32_t minutes) {
  uint32_t days = minutes / 1440, hours = minutes % 1440 / 60, rest = minutes % 60;
  char buf[64];
  if (days > 0) {
    std::snprintf(buf, sizeof(buf), "P%uDT%uH%uM", days, hours, rest);
  } else if (hours > 0) {
    std::snprintf(buf, sizeof(buf), "PT%uH%uM", hours, rest);
  } else {
    std::snprintf(buf, sizeof(buf), "PT%uM", rest);
  }
  return buf;
}

uint32_t IsoDurationToMinutes(const std::string& text) {
  if (text.empty() || (text[0] != 'P' && text[0] != 'p')) return 0;
  uint64_t total = 0;
  bool in_time = false;
  uint64_t number = 0;
  bool have_number = false;
  for (size_t i = 1; i < text.size(); ++i) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    if (c >= '0' && c <= '9') {
      if (number < 100000000) number = number * 10 + static_cast<uint64_t>(c - '0');
      have_number = true;
      continue;
    }
    if (c == 'T') {
      in_time = true;
    } else if (have_number) {
      if (c == 'D' && !in_time) total += number * 1440;
      if (c == 'H' && in_time) total += number * 60;
      if (c == 'M' && in_time) total += number;
    }
    number = 0;
    have_number = false;
  }
  return total > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
}

TDateTime IsoToDateTime(const std::string& text) {
  if (text.size() < 19 || !AllDigits(text, 0, 4) || text[4] != '-' || !AllDigits(text, 5, 2) ||
      text[7] != '-' || !AllDigits(text, 8, 2) || (text[10] != 'T' && text[10] != 't') ||
      !AllDigits(text, 11, 2) || text[13] != ':' || !AllDigits(text, 14, 2) || text[16] != ':' ||
      !AllDigits(text, 17, 2)) {
    return 0;
  }
  DateTime t;
  t.year = Number(text, 0, 4);
  t.month = Number(text, 5, 2);
  t.day = Number(text, 8, 2);
  t.hour = Number(text, 11, 2);
  t.minute = Number(text, 14, 2);
  t.second = Number(text, 17, 2);
  if (!IsValidDate(t.year, t.month, t.day) || t.hour > 23 || t.minute > 59 || t.second > 59) {
    return 0;
  }
  return EncodeDateTime(t);
}

std::string DateTimeToIso(TDateTime value) {
  if (value == 0) return "";
  DateTime t = DecodeDateTime(value);
  char buf[40];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

bool IsVistaOrLater() { return true; }

bool IsUserAdmin() { return Env::Default()->EffectiveUserId() == 0; }

std::string AddJobExtension(const std::string& name) {
  return HasJobExtension(name) ? name : name + ".job";
}

std::string StripJobExtension(const std::string& name) {
  return HasJobExtension(name) ? name.substr(0, name.size() - 4) : name;
}

void CheckTaskName(const std::string& name) {
  const char* reason = nullptr;
  if (name.empty()) {
    reason = "it is empty";
  } else if (name.size() > 200) {
    reason = "it is longer than 200 bytes";
  } else if (name[0] == '.') {
    reason = "it begins with a dot";
  } else if (name.find('/') != std::string::npos) {
    reason = "it holds a '/'";
  } else if (HasJobExtension(name)) {
    // Such a task would be listed, edited and deleted as the name without it.
    reason = "it ends in \".job\", which task names are shown without";
  } else if (!IsValidUtf8(name)) {
    reason = "it is not valid UTF-8";
  } else {
    for (unsigned char c : name) {
      if (c < 0x20 || c == 0x7F) {
        reason = "it holds a control character";
        break;
      }
    }
  }
  if (reason != nullptr) {
    throw ETaskError("The task name \"" + PrintableText(name) + "\" cannot be used: " + reason +
                     ".");
  }
}

int CompareNamesNoCase(const std::string& a, const std::string& b) {
  int r = ::strcoll(LowerAscii(a).c_str(), LowerAscii(b).c_str());
  return r;
}

int CompareNamesCase(const std::string& a, const std::string& b) {
  return ::strcoll(a.c_str(), b.c_str());
}

std::string FormatText(const char* pattern, const std::string& arg) {
  std::string out = pattern;
  size_t pos = out.find("%s");
  if (pos != std::string::npos) out.replace(pos, 2, arg);
  return out;
}

std::string FormatText(const char* pattern, long long arg) {
  std::string out = pattern;
  size_t pos = out.find("%d");
  if (pos != std::string::npos) out.replace(pos, 2, std::to_string(arg));
  return out;
}

}  // namespace lorvant
