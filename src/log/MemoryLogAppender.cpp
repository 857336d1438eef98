#include "log/MemoryLogAppender.h"

#include "base/TextUtil.h"
#include "base/Unicode.h"
#include "os/Clock.h"

namespace lorvant {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void TMemoryLogAppender::Append(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(FormatLogTimestamp(LocalNow()) + "\t" + text);
  TrimToMaxSize();
}

std::string TMemoryLogAppender::GetText() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return TextLocked();
}

void TMemoryLogAppender::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.clear();
}

std::vector<std::string> TMemoryLogAppender::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

std::string TMemoryLogAppender::TextLocked() const {
  std::string text;
  for (const std::string& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

void TMemoryLogAppender::TrimToMaxSize() {
  if (MaxSize == 0) return;
  if (append_count_ < 1000) {
    ++append_count_;
    return;
  }
  append_count_ = 0;
  std::string text = TextLocked();
  const size_t length = CountCodePoints(text);
  if (length <= static_cast<size_t>(MaxSize)) return;
  // Walk back from the end over MaxSize - 6 characters (UTF-8 aware).
  size_t keep = static_cast<size_t>(MaxSize > 6 ? MaxSize - 6 : 0);
  size_t pos = text.size();
  while (keep > 0 && pos > 0) {
    --pos;
    if (!IsContinuationByte(text[pos])) --keep;
  }
  lines_ = SplitLines("......" + text.substr(pos));
}

}  // namespace lorvant
