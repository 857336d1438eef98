// Log lines in text files: `WriteLogLine` appends one time-stamped line, and
// `TFileLogAppender` sends a logger's messages through it.
#pragma once

#include <string>

#include "log/LogAppender.h"

namespace lorvant {

// Appends "[yyyy-mm-dd hh:mm:ss:zzz] " + text + CR LF to file_name, creating
// the file when missing; opened and closed per line under a process-wide
// lock. Does nothing for an empty name; throws the file error otherwise.
void WriteLogLine(const std::string& file_name, const std::string& text);

class TFileLogAppender : public TLogAppender {
 public:
  explicit TFileLogAppender(std::string file_name) : FileName(std::move(file_name)) {}

  const std::string FileName;  // may be empty: then nothing is written

  void Append(const std::string& text) override { WriteLogLine(FileName, text); }
};

}  // namespace lorvant
