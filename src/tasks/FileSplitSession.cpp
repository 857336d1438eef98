#include "tasks/FileSplitSession.h"

#include <unistd.h>

#include <atomic>

#include "infra/Env.h"
#include "infra/Exception.h"
#include "infra/FileUtil.h"
#include "infra/MyIniFile.h"

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
  // The three keys go into a copy of the file that then replaces it in one
  // rename: a crash between two keys must not leave a task whose source
  // belongs to one version and whose output folder (which a run empties)
  // to another.
  static std::atomic<unsigned> sequence{0};
  const std::string failure = "Unable to write to " + file_name;
  Env* env = Env::Default();
  std::string temp =
      file_name + ".new" + std::to_string(::getpid()) + "_" + std::to_string(sequence++);
  try {
    std::string old;
    if (env->Stat(file_name).exists) {
      old = ReadWholeFile(file_name);
      // The file is replaced by a rename; a read-only file must still refuse.
      env->OpenForAppend(file_name)->Close();
    }
    auto copy = env->CreateFile(temp);
    copy->Append(old.data(), old.size());
    copy->Close();
    TMyIniFile ini(temp);
    ini.WriteString(kSection, kSourceFile, SourceFile);
    ini.WriteString(kSection, kDestFolder, DestFolder);
    ini.WriteInteger(kSection, kMaxLines, MaxLines);
    if (env->RenameFile(temp, file_name) != 0) throw EIniFileException(failure);
  } catch (const Exception&) {
    env->DeleteFile(temp);
    throw EIniFileException(failure);
  }
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
