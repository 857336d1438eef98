// Access to the in-memory debug log that the "Global" logger feeds from
// process start on; the log viewer shows it and error reports send it.
#pragma once

#include <string>

namespace lorvant {

class TDebugHelper {
 public:
  TDebugHelper() = delete;
  // The debug log's text, each line followed by CR LF.
  static std::string GetLog();
  // Empties the debug log.
  static void ClearLog();
};

}  // namespace lorvant
