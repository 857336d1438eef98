// The error memory log of a windowed run: it collects error-level lines of
// the "Global" logger so that a split can tell afterwards whether anything
// went wrong and offer a report. The report itself is shown by whoever
// installs a reporter (the windows); without one nothing is shown.
#pragma once

#include <functional>
#include <string>

namespace lorvant {

class TExceptionStat {
 public:
  TExceptionStat() = delete;

  using Reporter = std::function<void(const std::string& message)>;

  // Attaches a memory log (threshold error, 1024 characters) to "Global".
  static void StartErrorLog();
  // Detaches and frees it.
  static void StopErrorLog();
  // The error log exists and holds text.
  static bool HasErrors();
  // Empties the error log, when it exists.
  static void ClearErrors();
  // When HasErrors: report(message), then ClearErrors.
  static void ReportIfErrors(const std::string& message);
  // Installs the function that shows an exception report (nullptr: none).
  static void SetReporter(Reporter reporter);
  // Shows the report through the installed reporter, if any.
  static void ShowExceptionReport(const std::string& message);
};

}  // namespace lorvant
