#include "tasks/FileSplitSession.h"

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "settings/MyIniFile.h"

namespace lorvant {
namespace {

const char kSection[] = "Split";
const char kSourceFile[] = "SourceFile";
const char kDestFolder[] = "DestFolder";
const char kMaxLines[] = "MaxLines";
const char kHeaderLines[] = "HeaderLines";
const char kMaxBytes[] = "MaxBytes";
const char kCsvRecords[] = "CsvRecords";
const char kKeepLineEnds[] = "KeepLineEnds";

// A switch that reads as neither on nor off leaves its reason in *error
// (the first such only), so the run refuses it instead of quietly splitting
// without it.
bool ReadSwitch(const TMyIniFile& ini, const char* key, std::string* error) {
  const std::optional<bool> value = ini.ReadBool(kSection, key, false);
  if (!value && error->empty()) {
    *error = std::string(key) + " must be 1 or 0 (yes or no, true or false, on or off), not \"" +
             ini.ReadString(kSection, key, "") + "\".";
  }
  return value.value_or(false);
}

}  // namespace

TFileSplitSession::TFileSplitSession() {
  FileFilter = "Split File Task (*.sft)|*.sft";
  DefaultExt = "sft";
  SavedTaskList().SubKey = "Software\\Pelmora\\Lorvant\\Tasks";
}

bool TFileSplitSession::SameAs(const TTaskSession& other) const {
  const auto* split = dynamic_cast<const TFileSplitSession*>(&other);
  if (split == nullptr) throw EInvalidCast();
  return SourceFile == split->SourceFile && DestFolder == split->DestFolder &&
         MaxLines == split->MaxLines && HeaderLines == split->HeaderLines &&
         MaxBytes == split->MaxBytes && CsvRecords == split->CsvRecords &&
         KeepLineEnds == split->KeepLineEnds;
}

void TFileSplitSession::WriteToFile(const std::string& file_name) {
  // One replacement for all three keys: a crash must not leave a task whose
  // source belongs to one version and whose output folder (which a run
  // empties) to another.
  TMyIniFile ini(file_name);
  TMyIniFile::IniValues values = {
      {kSourceFile, SourceFile}, {kDestFolder, DestFolder}, {kMaxLines, std::to_string(MaxLines)}};
  // An option at its default is written only over a value the file holds,
  // so a task file without options stays byte for byte what it was.
  const char kAbsent[] = "\x01";
  auto option = [&](const char* key, bool set, const std::string& text) {
    if (set || ini.ReadString(kSection, key, kAbsent) != kAbsent) values.emplace_back(key, text);
  };
  option(kHeaderLines, HeaderLines != 0, std::to_string(HeaderLines));
  option(kMaxBytes, MaxBytes != 0, MaxBytes < 0 ? "" : SizeText(MaxBytes));
  option(kCsvRecords, CsvRecords, CsvRecords ? "1" : "0");
  option(kKeepLineEnds, KeepLineEnds, KeepLineEnds ? "1" : "0");
  ini.WriteStrings(kSection, values);
}

void TFileSplitSession::ReadFromFile(const std::string& file_name) {
  TMyIniFile ini(ExpandFileName(file_name));
  SourceFile = ini.ReadString(kSection, kSourceFile, "");
  DestFolder = ini.ReadString(kSection, kDestFolder, "");
  MaxLines = ini.ReadInteger(kSection, kMaxLines, 0);
  // An option that does not read as a number is kept as unreadable (-1),
  // so the run refuses it instead of quietly splitting without it.
  HeaderLines = ini.ReadString(kSection, kHeaderLines, "").empty()
                    ? 0
                    : ini.ReadInteger(kSection, kHeaderLines, -1);
  const std::string max_bytes = ini.ReadString(kSection, kMaxBytes, "");
  MaxBytes = max_bytes.empty() ? 0 : ParseSizeText(max_bytes);
  OptionError.clear();
  CsvRecords = ReadSwitch(ini, kCsvRecords, &OptionError);
  KeepLineEnds = ReadSwitch(ini, kKeepLineEnds, &OptionError);
}

std::unique_ptr<TTaskSession> TFileSplitSession::NewSession() const {
  return std::make_unique<TFileSplitSession>();
}

std::string TFileSplitSession::GetDescription() const {
  std::string text = "From : " + SourceFile + "\r\nTo : " + DestFolder +
                     "\r\nMax Lines per Split File: " + std::to_string(MaxLines);
  if (HeaderLines != 0) text += "\r\nHeader Lines: " + std::to_string(HeaderLines);
  if (MaxBytes != 0) text += "\r\nMax Bytes per Split File: " + SizeText(MaxBytes);
  if (CsvRecords) text += "\r\nCSV Records";
  if (KeepLineEnds) text += "\r\nKeep Line Ends";
  return text;
}

int64_t ParseSizeText(const std::string& text) {
  const std::string t = TrimText(text);
  size_t digits = 0;
  while (digits < t.size() && t[digits] >= '0' && t[digits] <= '9') ++digits;
  if (digits == 0 || digits > 19) return -1;
  int shift = 0;
  if (digits < t.size()) {
    if (digits + 1 != t.size()) return -1;
    switch (t[digits]) {
      case 'k':
      case 'K':
        shift = 10;
        break;
      case 'm':
      case 'M':
        shift = 20;
        break;
      case 'g':
      case 'G':
        shift = 30;
        break;
      default:
        return -1;
    }
  }
  const unsigned long long n = std::stoull(t.substr(0, digits));
  if (n > (1ULL << (62 - shift))) return -1;
  return static_cast<int64_t>(n << shift);
}

std::string SizeText(int64_t bytes) {
  for (const auto& [shift, suffix] : {std::pair{30, "G"}, std::pair{20, "M"}, std::pair{10, "K"}}) {
    if (bytes > 0 && bytes % (int64_t{1} << shift) == 0) {
      return std::to_string(bytes >> shift) + suffix;
    }
  }
  return std::to_string(bytes);
}

}  // namespace lorvant
