#include "tasks/FileSplitSession.h"

#include "base/Exception.h"
#include "fs/FileUtil.h"
#include "os/Env.h"
#include "settings/MyIniFile.h"

namespace lorvant {
namespace {

const char kSection[] = "Split";
const char kSourceFile[] = "SourceFile";
const char kDestFolder[] = "DestFolder";
const char kMaxLines[] = "MaxLines";

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
         MaxLines == split->MaxLines;
}

void TFileSplitSession::WriteToFile(const std::string& file_name) {
  // One replacement for all three keys: a crash must not leave a task whose
  // source belongs to one version and whose output folder (which a run
  // empties) to another.
  TMyIniFile(file_name).WriteStrings(kSection, {{kSourceFile, SourceFile},
                                                {kDestFolder, DestFolder},
                                                {kMaxLines, std::to_string(MaxLines)}});
}

void TFileSplitSession::ReadFromFile(const std::string& file_name) {
  TMyIniFile ini(ExpandFileName(file_name));
  SourceFile = ini.ReadString(kSection, kSourceFile, "");
  DestFolder = ini.ReadString(kSection, kDestFolder, "");
  MaxLines = ini.ReadInteger(kSection, kMaxLines, 0);
}

std::unique_ptr<TTaskSession> TFileSplitSession::NewSession() const {
  return std::make_unique<TFileSplitSession>();
}

std::string TFileSplitSession::GetDescription() const {
  return "From : " + SourceFile + "\r\nTo : " + DestFolder +
         "\r\nMax Lines per Split File: " + std::to_string(MaxLines);
}

}  // namespace lorvant
