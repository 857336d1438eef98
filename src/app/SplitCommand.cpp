#include "app/SplitCommand.h"

#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "app/ConsoleProgressOutputer.h"
#include "app/FileSplitCmdLineProcessor.h"
#include "engine/FileSplitSessionExecutor.h"
#include "engine/FileSplitter.h"
#include "log/Log.h"
#include "tasks/FileSplitSession.h"

namespace lorvant {
namespace {

constexpr char kSynopsis[] =
    "split SOURCE DEST [-l N] [--header N] [--max-bytes SIZE] [--csv] [--keep-line-ends]";

// Digits only, from low to high; no sign, blank or exponent.
bool ParseCount(const std::string& text, int64_t low, int64_t high, int64_t* value) {
  uint64_t n = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end) return false;
  if (n < static_cast<uint64_t>(low) || n > static_cast<uint64_t>(high)) return false;
  *value = static_cast<int64_t>(n);
  return true;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

bool ParseSplitCommand(const std::vector<std::string>& words, TFileSplitSession* session,
                       std::string* error) {
  session->MaxLines = kDefaultSplitLines;
  session->HeaderLines = 0;
  session->MaxBytes = 0;
  session->CsvRecords = false;
  session->KeepLineEnds = false;
  std::vector<std::string> names;
  bool options = true;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!options || word.size() < 2 || word[0] != '-') {
      names.push_back(word);
      continue;
    }
    if (word == "--") {
      options = false;
      continue;
    }
    // "--name=value" and "-lN" carry their value; "-l" and "--name" take
    // the next word.
    const bool long_name = word.starts_with("--");
    const size_t eq = long_name ? word.find('=') : std::string::npos;
    const size_t value_at = eq != std::string::npos ? eq + 1 : long_name ? word.size() : 2;
    const std::string name = word.substr(0, long_name ? eq : 2);
    const bool has_value = value_at < word.size() || eq != std::string::npos;
    if (name == "--csv" || name == "--keep-line-ends") {
      if (has_value) {
        *error = name + " takes no value.";
        return false;
      }
      (name == "--csv" ? session->CsvRecords : session->KeepLineEnds) = true;
      continue;
    }
    if (name != "-l" && name != "--lines" && name != "--header" && name != "--max-bytes") {
      *error = "unknown option " + Quoted(word) + ".";
      return false;
    }
    if (!has_value && i + 1 == words.size()) {
      *error = name + " needs a value.";
      return false;
    }
    const std::string value = has_value ? word.substr(value_at) : words[++i];
    int64_t n = 0;
    if (name == "--max-bytes") {
      session->MaxBytes = ParseSizeText(value);
      if (session->MaxBytes <= 0) {  // 0 would mean no limit at all
        *error = name + " needs a size such as 500K, 10M or 2G, not " + Quoted(value) + ".";
        return false;
      }
    } else if (name == "--header") {
      if (!ParseCount(value, 0, std::numeric_limits<int32_t>::max(), &n)) {
        *error = name + " needs a number of lines from 0 up, not " + Quoted(value) + ".";
        return false;
      }
      session->HeaderLines = static_cast<int32_t>(n);
    } else {
      if (!ParseCount(value, 1, TFileSplitter::kMaxLinesLimit, &n)) {
        *error = name + " needs a number of lines from 1 to " +
                 std::to_string(TFileSplitter::kMaxLinesLimit) + ", not " + Quoted(value) + ".";
        return false;
      }
      session->MaxLines = static_cast<int32_t>(n);
    }
  }
  if (names.empty() || names[0].empty()) {
    *error = "split needs a source file and an output folder.";
    return false;
  }
  if (names.size() < 2 || names[1].empty()) {
    *error = "split needs an output folder after the source file.";
    return false;
  }
  if (names.size() > 2) {
    *error = "unexpected " + Quoted(names[2]) + " after the output folder.";
    return false;
  }
  session->SourceFile = names[0];
  session->DestFolder = names[1];
  return true;
}

std::string SplitCommandUsage(const std::string& app_name) {
  return "  " + app_name + " " + kSynopsis +
         "\n"
         "    -l, --lines N       at most N lines per file (default " +
         std::to_string(kDefaultSplitLines) +
         ")\n"
         "    --header N          the first N lines start every file\n"
         "    --max-bytes SIZE    no file over SIZE bytes (K, M, G: powers of 1024),\n"
         "                        whole lines only\n"
         "    --csv               a quoted field's line breaks stay inside its record\n"
         "    --keep-line-ends    each line keeps its own end instead of CR LF\n"
         "  Options also take their value after \"=\" (--lines=N).\n";
}

bool AsksForHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--help" || word == "-h") return true;
  }
  return false;
}

int RunSplitCommand(const std::vector<std::string>& words, const std::string& app_name) {
  if (AsksForHelp(words)) {
    std::printf("Usage:\n%s", SplitCommandUsage(app_name).c_str());
    return 0;
  }
  TFileSplitSession session;
  std::string error;
  if (!ParseSplitCommand(words, &session, &error)) {
    std::fprintf(stderr, "Lorvant: %s\nUsage: %s %s (see %s --help)\n", error.c_str(),
                 app_name.c_str(), kSynopsis, app_name.c_str());
    return 1;
  }
  TFileSplitSessionExecutor executor;
  TConsoleProgressOutputer outputer(stderr, ::isatty(STDERR_FILENO) == 1);
  return ExecuteSession(executor, session, outputer, *TLog::GetLogger("cmdline"));
}

}  // namespace lorvant
