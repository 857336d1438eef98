// The split task: source file, output folder and lines per output file, the
// options (header lines, a size limit, CSV records, line ends kept), and its
// task file (".sft", an INI file with the section "Split").
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
  // Options; each at its default leaves the split as it always was, and a
  // key at its default is not written to a task file that lacks it.
  int32_t HeaderLines = 0;    // lines (records) at the source's start that begin every piece
  int64_t MaxBytes = 0;       // a piece's size limit in bytes; 0 none, -1 unreadable
  bool CsvRecords = false;    // records follow CSV quoting, not lines
  bool KeepLineEnds = false;  // each line keeps its own end instead of CR LF
  // Why the switches read from a task file cannot be used ("" when they
  // can): a value that is no on or off. A run refuses such a task.
  std::string OptionError;

  // Whether any option differs from its default.
  bool HasOptions() const {
    return HeaderLines != 0 || MaxBytes != 0 || CsvRecords || KeepLineEnds;
  }

  bool SameAs(const TTaskSession& other) const override;
  // Writes "SourceFile", "DestFolder", "MaxLines" into section "Split",
  // and "HeaderLines", "MaxBytes", "CsvRecords", "KeepLineEnds" when set or
  // already in the file.
  void WriteToFile(const std::string& file_name) override;
  // Reads the keys of the file (name expanded to a full path first);
  // missing keys read as "" and 0 (options: their defaults); a switch
  // that is no on or off sets OptionError.
  void ReadFromFile(const std::string& file_name) override;
  std::unique_ptr<TTaskSession> NewSession() const override;
  // "From : <source>" CR LF "To : <folder>" CR LF "Max Lines per Split File:
  // <n>", then a line for each option that is set.
  std::string GetDescription() const override;
};

// A size as task files and the command line give it: bytes, or a number
// with K, M or G (powers of 1024, either letter case); -1 for anything
// else, a negative number or more than 2^62.
int64_t ParseSizeText(const std::string& text);
// The shortest such text for bytes ("10M" for 10485760).
std::string SizeText(int64_t bytes);

}  // namespace lorvant
