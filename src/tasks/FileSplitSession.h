// The split task: source file, output folder and lines per output file, and
// its task file (".sft", an INI file with the section "Split").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tasks/TaskSession.h"

namespace lorvant {

class TFileSplitSession : public TTaskSession {
 public:
  TFileSplitSession();

  std::string SourceFile;
  std::string DestFolder;
  int32_t MaxLines = 0;

  bool SameAs(const TTaskSession& other) const override;
  // Writes "SourceFile", "DestFolder", "MaxLines" into section "Split".
  void WriteToFile(const std::string& file_name) override;
  // Reads the three keys of the file (name expanded to a full path first);
  // missing keys read as "" and 0.
  void ReadFromFile(const std::string& file_name) override;
  std::unique_ptr<TTaskSession> NewSession() const override;
  // "From : <source>" CR LF "To : <folder>" CR LF "Max Lines per Split File: <n>".
  std::string GetDescription() const override;
};

}  // namespace lorvant
