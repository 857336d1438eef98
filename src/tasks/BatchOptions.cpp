#include "tasks/BatchOptions.h"

#include "base/Exception.h"
#include "base/TextUtil.h"
#include "fs/AtomicFile.h"
#include "os/Env.h"
#include "os/SystemInfo.h"

namespace lorvant {
std::string ShellQuote(const std::string& path) {
  std::string out = "\"";
  for (char c : path) {
    if (c == '\r' || c == '\n' || c == '\0') {
      throw Exception("The file name \"" + PrintableText(path) +
                      "\" holds a line break or a NUL character, which a batch file cannot carry.");
    }
    if (c == '"' || c == '$' || c == '`' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool TBatchOptions::Validate() {
  const char* message = nullptr;
  if (SessionFile.empty()) {
    message = "Please enter sessoin file name.";
  } else if (LogFile.empty()) {
    message = "Please enter log file name.";
  } else if (BatchFile.empty()) {
    message = "Please enter batch file name.";
  }
  if (message == nullptr) return true;
  ErrorMessage = message;
  return false;
}

std::string TBatchOptions::GetExeName() const { return lorvant::GetExeName(); }

std::string TBatchOptions::BatchLine() const {
  return ShellQuote(GetExeName()) + "  " + OptionName + "=" + ShellQuote(SessionFile) +
         " logfile=" + ShellQuote(LogFile);
}

void TBatchOptions::SaveBatchFile() {
  std::string data = BatchLine() + "\r\n";
  try {
    WriteFileAtomically(BatchFile, data, 0755);
  } catch (const EWriteError& e) {
    // A failed write is reported as the file's creation, as any other;
    // creation errors already name the batch file.
    throw EFCreateError(BatchFile, e.ErrorNumber());
  }
}

}  // namespace lorvant
