#include "scheduler/CrontabBlock.h"

#include <cstdio>

#include "base/TextUtil.h"
#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

// Cron reads at most about a thousand bytes of a command.
constexpr size_t kMaxLine = 990;

std::string BeginMarker(const std::string& mark) {
  return "# >>> Lorvant scheduled tasks " + mark + " (managed by Lorvant, do not edit) >>>";
}
std::string EndMarker(const std::string& mark) {
  return "# <<< Lorvant scheduled tasks " + mark + " <<<";
}
std::string LineTag(const std::string& mark) { return " # lorvant-" + mark; }

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// The crontab cut into lines, each with its own line end kept.
std::vector<std::string> CutLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    size_t end = nl == std::string::npos ? text.size() : nl + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string Bare(const std::string& line) {
  std::string s = line;
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
  return s;
}

}  // namespace

std::string StoreMark(const std::string& store_folder) {
  uint64_t h = 1469598103934665603ULL;  // FNV-1a
  for (unsigned char c : store_folder) {
    h ^= c;
    h *= 1099511628211ULL;
  }
  char buf[20];
  std::snprintf(buf, sizeof(buf), "%08x", static_cast<unsigned>(h ^ (h >> 32)));
  return buf;
}

std::string CronQuote(const std::string& word) {
  std::string out = "'";
  for (unsigned char c : word) {
    if (c < 0x20 || c == 0x7F) {
      throw ESchedulerError("A crontab line cannot carry a control character, and \"" +
                            PrintableText(word) + "\" holds one.");
    }
    if (c == '\'') {
      out += "'\\''";
    } else if (c == '%') {
      out += "\\%";
    } else if (c == '\\') {
      // Quoted on its own: what follows it in the line is a quote.
      out += "\\''";
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "'";
}

std::string CronLine(const std::string& schedule, const std::vector<std::string>& command_words,
                     const std::string& mark) {
  std::string line = schedule;
  for (const std::string& w : command_words) line += " " + CronQuote(w);
  line += LineTag(mark);
  if (line.size() > kMaxLine) {
    throw ESchedulerError("The crontab line for this task would be longer than cron reads (" +
                          std::to_string(line.size()) + " bytes); use shorter names or paths.");
  }
  return line;
}

std::string RunnerCronLine(const std::string& schedule, const std::string& runner,
                           const std::string& store_folder, const std::string& name, int index,
                           const std::string& mark) {
  auto touched = [](const std::string& s) { return s.find_first_of("\\%") != std::string::npos; };
  if (touched(store_folder) || touched(name)) {
    return CronLine(
        schedule,
        {runner, "fire-hex", ToCronHex(store_folder), ToCronHex(name), std::to_string(index)},
        mark);
  }
  return CronLine(schedule, {runner, "fire", store_folder, name, std::to_string(index)}, mark);
}

std::string ToCronHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool FromCronHex(const std::string& text, std::string* bytes) {
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) return false;
  bytes->clear();
  for (size_t i = 0; i < text.size(); i += 2) {
    int hi = digit(text[i]), lo = digit(text[i + 1]);
    if (hi < 0 || lo < 0) return false;
    *bytes += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

std::string MergeCrontabBlock(const std::string& crontab, const std::string& mark,
                              const std::vector<std::string>& lines) {
  const std::string begin = BeginMarker(mark), end = EndMarker(mark), tag = LineTag(mark);
  std::string out;
  bool placed = false;
  auto place = [&] {
    if (placed || lines.empty()) return;
    placed = true;
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += begin + "\n";
    for (const std::string& l : lines) out += l + "\n";
    out += end + "\n";
  };
  for (const std::string& raw : CutLines(crontab)) {
    std::string line = Bare(raw);
    if (line == begin) {
      place();
      continue;
    }
    if (line == end || EndsWith(line, tag)) continue;
    out += raw;
  }
  place();
  return out;
}

std::vector<std::string> CrontabBlockLines(const std::string& crontab, const std::string& mark) {
  const std::string tag = LineTag(mark);
  std::vector<std::string> lines;
  for (const std::string& raw : CutLines(crontab)) {
    std::string line = Bare(raw);
    if (EndsWith(line, tag)) lines.push_back(line);
  }
  return lines;
}

}  // namespace lorvant
