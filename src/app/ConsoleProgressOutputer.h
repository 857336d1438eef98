// Reports a command-line run on the console: a progress line redrawn in
// place while the run goes on (on a terminal only), the run's failure and
// its first failed lines, then the run's summary and its messages as lines
// of their own. The log file, when one is set, gets every line as the log
// outputer writes it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/LogConvertOutputer.h"

namespace lorvant {

// The progress text of a run after elapsed_ms: the lines done and, measured
// against the total when it is known (>= 0), else against the source's
// bytes (when SourceSize > 0), the percentage, the speed (lines/s or MiB/s)
// and the time left. Without either measure: the lines and lines/s.
std::string ProgressLine(const TConvertStatus& status, double elapsed_ms);

class TConsoleProgressOutputer : public TLogConvertOutputer {
 public:
  // Milliseconds between two drawings of the progress line at least.
  static constexpr int64_t kRedrawMs = 100;

  // Failed lines shown at most; the log file has them all.
  static constexpr int kShownErrors = 5;

  // What the console shows besides failures: the summary and messages too,
  // or failures alone (a task run, which stays quiet when all is well).
  enum class Shown { kAll, kFailures };

  // Writes to out (not owned); the progress line only when terminal says
  // out is a terminal, since "\r" means nothing in a file or a pipe.
  TConsoleProgressOutputer(FILE* out, bool terminal, Shown shown = Shown::kAll);
  // Clears a progress line still shown.
  ~TConsoleProgressOutputer() override;

  // Clears the progress line, so the text (and any log line after it)
  // starts a line of its own; prints a failure of the run (and, with
  // kAll, the summary and messages) as "Lorvant: <text>"; then writes the
  // log file line as the base does.
  void Output(const std::string& text) override;

 protected:
  void HandleBegin() override;
  // "Lorvant: Serial: <n>: <message>", for the first kShownErrors.
  void HandleError() override;
  // Redraws the line when kRedrawMs have passed since the last drawing.
  void HandleProgress() override;
  void HandleMessage() override;
  // The log outputer's summary, printed.
  void HandleEnd() override;

 private:
  void ClearLine();

  // What the next Output carries.
  enum class Text { kFailure, kReport, kFailedLine };

  FILE* const out_;
  const bool terminal_;
  const Shown shown_texts_;
  Text next_ = Text::kFailure;
  int errors_shown_ = 0;
  size_t shown_ = 0;  // columns the progress line has covered
  int64_t last_draw_ = 0;
};

}  // namespace lorvant
