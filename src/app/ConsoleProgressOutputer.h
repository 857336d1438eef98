// Reports a command-line run on the console: a progress line redrawn in
// place while the run goes on (on a terminal only), then the run's summary
// and its messages as lines of their own.
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

  // Writes to out (not owned); the progress line only when terminal says
  // out is a terminal, since "\r" means nothing in a file or a pipe.
  TConsoleProgressOutputer(FILE* out, bool terminal);
  // Clears a progress line still shown.
  ~TConsoleProgressOutputer() override;

  // Clears the progress line, so the text (and any log line after it)
  // starts a line of its own; prints the summary and messages as
  // "Lorvant: <text>"; then writes the log file line as the base does.
  void Output(const std::string& text) override;

 protected:
  void HandleBegin() override;
  // Redraws the line when kRedrawMs have passed since the last drawing.
  void HandleProgress() override;
  void HandleMessage() override;
  // The log outputer's summary, printed.
  void HandleEnd() override;

 private:
  void ClearLine();

  FILE* const out_;
  const bool terminal_;
  bool print_ = false;  // the next Output is a summary or a message: printed too
  size_t shown_ = 0;    // columns the progress line has covered
  int64_t last_draw_ = 0;
};

}  // namespace lorvant
