#include "app/ConsoleProgressOutputer.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/TimeUtil.h"
#include "os/Env.h"

namespace lorvant {

std::string ProgressLine(const TConvertStatus& status, double elapsed_ms) {
  std::string line = std::to_string(status.Done) + " lines";
  const double seconds = elapsed_ms / 1000;
  const bool by_lines = status.Total >= 0;
  const int64_t done = by_lines ? status.Done : status.SourceRead;
  const int64_t whole = by_lines ? status.Total : status.SourceSize;
  char buf[64];
  if (!by_lines && whole <= 0) {
    if (seconds > 0) {
      std::snprintf(buf, sizeof(buf), "  %.0f lines/s", static_cast<double>(status.Done) / seconds);
      line += buf;
    }
    return line;
  }
  const double fraction =
      whole > 0 ? std::min(1.0, static_cast<double>(done) / static_cast<double>(whole)) : 1.0;
  line += "  " + std::to_string(static_cast<int>(std::floor(fraction * 100))) + "%";
  if (seconds <= 0) return line;
  if (by_lines) {
    std::snprintf(buf, sizeof(buf), "  %.0f lines/s", static_cast<double>(done) / seconds);
  } else {
    std::snprintf(buf, sizeof(buf), "  %.1f MiB/s", static_cast<double>(done) / 1048576 / seconds);
  }
  line += buf;
  // Nothing done yet tells nothing about the time left.
  if (done > 0 && whole > 0) {
    const double left = std::max(0.0, EstimateRemaining(std::min(done, whole), whole, elapsed_ms));
    line += "  " + FormatElapsed(false, left) + " left";
  }
  return line;
}

TConsoleProgressOutputer::TConsoleProgressOutputer(FILE* out, bool terminal, Shown shown)
    : out_(out), terminal_(terminal), shown_texts_(shown) {}

TConsoleProgressOutputer::~TConsoleProgressOutputer() { ClearLine(); }

void TConsoleProgressOutputer::Output(const std::string& text) {
  ClearLine();
  // Text the notifications do not announce is the run's failure.
  const Text kind = std::exchange(next_, Text::kFailure);
  if (kind == Text::kFailure || (kind == Text::kReport && shown_texts_ == Shown::kAll)) {
    std::fprintf(out_, "Lorvant: %s\n", text.c_str());
    std::fflush(out_);
  }
  TLogConvertOutputer::Output(text);
}

void TConsoleProgressOutputer::HandleError() {
  ClearLine();
  if (errors_shown_ < kShownErrors) {
    ++errors_shown_;
    // The log's two lines ("Serial: <n>", the message) as one.
    std::string line = Status->ErrorText;
    for (size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, ": ");
    std::fprintf(out_, "Lorvant: %s\n", line.c_str());
    std::fflush(out_);
  }
  next_ = Text::kFailedLine;
  TLogConvertOutputer::HandleError();
}

void TConsoleProgressOutputer::HandleBegin() {
  ClearLine();
  // A short run ends before the first drawing and shows no line at all.
  last_draw_ = Env::Default()->MonotonicMs();
}

void TConsoleProgressOutputer::HandleProgress() {
  if (!terminal_) return;
  const int64_t now = Env::Default()->MonotonicMs();
  if (now - last_draw_ < kRedrawMs) return;
  last_draw_ = now;
  const std::string line = ProgressLine(*Status, Status->ElapsedMs());
  // Blanks cover what a longer line before left.
  const size_t pad = shown_ > line.size() ? shown_ - line.size() : 0;
  std::fprintf(out_, "\r%s%*s", line.c_str(), static_cast<int>(pad), "");
  std::fflush(out_);
  shown_ = std::max(shown_, line.size());
}

void TConsoleProgressOutputer::HandleMessage() {
  next_ = Text::kReport;
  TLogConvertOutputer::HandleMessage();
}

void TConsoleProgressOutputer::HandleEnd() {
  next_ = Text::kReport;
  TLogConvertOutputer::HandleEnd();
}

void TConsoleProgressOutputer::ClearLine() {
  if (shown_ == 0) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(shown_), "");
  std::fflush(out_);
  shown_ = 0;
}

}  // namespace lorvant
