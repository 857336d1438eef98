#include "textio/BlockTextReader.h"

#include <algorithm>
#include <cstring>

#include "base/Exception.h"
#include "base/Unicode.h"
#include "log/Log.h"
#include "os/Env.h"
#include "textio/CsvFields.h"
#include "textio/LineScan.h"

namespace lorvant {

TBlockTextReader::TBlockTextReader(size_t block_size, size_t max_buffer)
    : block_size_(block_size < 16 ? 16 : block_size & ~size_t{1}),
      max_buffer_(max_buffer < block_size_ ? block_size_ : max_buffer & ~size_t{1}) {}

TBlockTextReader::~TBlockTextReader() = default;

void TBlockTextReader::Open(const std::string& file_name) {
  Close();
  file_name_ = file_name;
  file_ = Env::Default()->OpenForRead(file_name);
  file_info_ = file_->Info();
  file_size_ = file_info_.size;
  // A file that says it is empty may hold bytes all the same (the kernel's
  // own files do): its size tells nothing, so it is read to its end.
  size_known_ = file_size_ > 0;
  remaining_ = size_known_ ? file_size_ : INT64_MAX;
  buf_offset_ = 0;
  if (!buf_ || cap_ != block_size_) {
    cap_ = block_size_;
    buf_ = std::make_unique<char[]>(cap_);
  }
  begin_ = end_ = 0;
  next_cr_ = kUnknown;
  next_stop_ = kUnknown;
  current_ = {};
  complete_ = true;
  line_end_size_ = 0;
  Fill();
  layout_ = DetectTextLayout(std::string_view(buf_.get(), end_),
                             size_known_ ? file_size_ : static_cast<int64_t>(end_));
  begin_ = layout_.bom.size();
  // A file holding only its mark has one empty line, as the counter says.
  mark_only_line_ = !layout_.bom.empty() && remaining_ == 0 && end_ == begin_;
  SetEncoding(kEncodingAutoDetect);
}

void TBlockTextReader::SetEncoding(const std::string& name) {
  encoding_name_ = name.empty() || name == kEncodingAutoDetect ? layout_.encoding_name : name;
  TLog::Global()->Debug("BlockTextReader EncodingName " + encoding_name_);
}

void TBlockTextReader::Close() {
  file_.reset();
  current_ = {};
}

bool TBlockTextReader::Fill() {
  if (remaining_ == 0 || !file_) return false;
  if (begin_ > 0) {
    std::memmove(buf_.get(), buf_.get() + begin_, end_ - begin_);
    buf_offset_ += static_cast<int64_t>(begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == cap_) {  // one line fills the buffer: make room for more of it
    size_t new_cap = std::min(cap_ * 2, max_buffer_);
    auto bigger = std::make_unique<char[]>(new_cap);
    std::memcpy(bigger.get(), buf_.get(), end_);
    buf_ = std::move(bigger);
    cap_ = new_cap;
  }
  next_cr_ = kUnknown;
  next_stop_ = kUnknown;
  size_t want = cap_ - end_;
  if (static_cast<int64_t>(want) > remaining_) want = static_cast<size_t>(remaining_);
  size_t got = 0;
  try {
    got = ReadFully(*file_, buf_.get() + end_, want);
    if (got < want && size_known_) throw EReadError();  // the file shrank while being read
  } catch (const EReadError& e) {
    if (e.ErrorNumber() != 0) throw;  // the system's error names the file already
    throw EReadError("Cannot read file \"" + file_name_ + "\". " + e.Message());
  }
  end_ += got;
  remaining_ = size_known_ ? remaining_ - static_cast<int64_t>(got) : got < want ? 0 : INT64_MAX;
  return true;
}

void TBlockTextReader::FindByteLineEnd(size_t* term, size_t* term_len) {
  char* base = buf_.get();
  if (next_cr_ == kUnknown || next_cr_ < begin_) {
    const void* cr = std::memchr(base + begin_, '\r', end_ - begin_);
    next_cr_ = cr ? static_cast<const char*>(cr) - base : end_;
  }
  const void* lf = std::memchr(base + begin_, '\n', next_cr_ - begin_);
  if (lf != nullptr) {
    *term = static_cast<const char*>(lf) - base;
    *term_len = 1;
    return;
  }
  *term = next_cr_;
  if (next_cr_ == end_) {
    *term_len = 0;
  } else if (next_cr_ + 1 < end_) {
    *term_len = base[next_cr_ + 1] == '\n' ? 2 : 1;
  } else {
    *term_len = remaining_ == 0 ? 1 : 0;  // CR at the buffer's end: LF may follow
  }
}

void TBlockTextReader::FindUnitLineEnd(size_t* term, size_t* term_len) {
  const auto* p = reinterpret_cast<const unsigned char*>(buf_.get());
  const bool be = layout_.unit == LineUnit::kUtf16BE;
  auto unit = [&](size_t i) -> unsigned { return Utf16Unit(p + i, be); };
  size_t i = begin_;
  for (; i + 1 < end_; i += 2) {
    unsigned u = unit(i);
    if (u == 0x0A) {
      *term = i;
      *term_len = 2;
      return;
    }
    if (u == 0x0D) {
      *term = i;
      if (i + 3 < end_) {
        *term_len = unit(i + 2) == 0x0A ? 4 : 2;
      } else {
        *term_len = remaining_ == 0 ? 2 : 0;
      }
      return;
    }
  }
  *term = end_;
  *term_len = 0;
}

void TBlockTextReader::FindLineEnd(size_t* term, size_t* term_len) {
  if (layout_.unit == LineUnit::kByte) {
    FindByteLineEnd(term, term_len);
  } else {
    FindUnitLineEnd(term, term_len);
  }
}

bool TBlockTextReader::ReadLine() {
  while (!complete_) ReadMore();
  if (mark_only_line_) {
    mark_only_line_ = false;
    current_ = std::string_view(buf_.get() + begin_, 0);
    line_end_size_ = 0;
    return true;
  }
  return NextPart();
}

void TBlockTextReader::ReadMore() {
  if (complete_) return;
  if (!NextPart()) {  // a part ended the buffer and nothing followed: done
    complete_ = true;
    line_end_size_ = 0;
  }
}

bool TBlockTextReader::NextPart() {
  while (true) {
    size_t term, term_len;
    FindLineEnd(&term, &term_len);
    if (term_len > 0) {
      current_ = std::string_view(buf_.get() + begin_, term - begin_);
      begin_ = term + term_len;
      complete_ = true;
      line_end_size_ = term_len;
      return true;
    }
    if (remaining_ == 0 || !file_) break;
    if (begin_ == 0 && end_ == cap_ && cap_ >= max_buffer_) {
      // The line fills the whole buffer: hand out what is certain to be
      // line bytes (up to a CR that may begin its end) and go on later.
      current_ = std::string_view(buf_.get(), term);
      begin_ = term;
      complete_ = false;
      return true;
    }
    Fill();
  }
  if (begin_ < end_) {  // the last line has no line end
    current_ = std::string_view(buf_.get() + begin_, end_ - begin_);
    begin_ = end_;
    complete_ = true;
    line_end_size_ = 0;
    return true;
  }
  current_ = std::string_view(buf_.get() + begin_, 0);
  complete_ = true;
  line_end_size_ = 0;
  return false;
}

int64_t TBlockTextReader::PeekRecordRest(size_t* last_end) const {
  if (layout_.unit != LineUnit::kByte || !complete_) return -1;
  const char* p = buf_.get();
  CsvState state = CsvState::kQuoted;  // the current line ended inside a quoted field
  for (size_t i = begin_; i < end_; ++i) {
    const char c = p[i];
    if (c != '\n' && c != '\r') {
      state = CsvStep(state, static_cast<unsigned char>(c));
    } else if (!CsvRecordGoesOn(state)) {
      if (c == '\r' && i + 1 == end_ && remaining_ > 0) return -1;  // its LF may follow
      *last_end = c == '\r' && i + 1 < end_ && p[i + 1] == '\n' ? 2 : 1;
      return static_cast<int64_t>(i - begin_);
    }
  }
  if (!CsvRecordGoesOn(state) && remaining_ == 0) {  // the last line, without an end
    *last_end = 0;
    return static_cast<int64_t>(end_ - begin_);
  }
  return -1;
}

size_t TBlockTextReader::BulkAvailable() {
  if (bulk_stop_ < 0) return end_ - begin_;
  if (next_stop_ == kUnknown || next_stop_ < begin_) {
    const void* stop = std::memchr(buf_.get() + begin_, bulk_stop_, end_ - begin_);
    next_stop_ = stop ? static_cast<const char*>(stop) - buf_.get() : end_;
  }
  return next_stop_ - begin_;
}

int64_t TBlockTextReader::ScanBulkLines(const char* p, size_t n, int64_t max_lines, bool any_end,
                                        size_t* used) {
  if (!any_end) return ScanCrLfLines(p, n, max_lines, used);
  // A CR as the last byte scanned ends a line only when nothing follows it.
  const bool at_end = remaining_ == 0 && p + n == buf_.get() + end_;
  return ScanAnyLines(p, n, max_lines, at_end, used);
}

int64_t TBlockTextReader::SkipCrLfLines(int64_t max_lines, int64_t* offset, int64_t* size,
                                        int64_t max_bytes, bool any_end) {
  if (!complete_ || mark_only_line_ || layout_.unit != LineUnit::kByte) return 0;
  size_t n = BulkAvailable();
  if (max_bytes < static_cast<int64_t>(n)) n = max_bytes < 0 ? 0 : static_cast<size_t>(max_bytes);
  size_t used = 0;
  const int64_t lines = ScanBulkLines(buf_.get() + begin_, n, max_lines, any_end, &used);
  *offset = buf_offset_ + static_cast<int64_t>(begin_);
  *size = static_cast<int64_t>(used);
  begin_ += used;
  return lines;
}

int64_t TBlockTextReader::CopyLfLines(int64_t max_lines, char* out, size_t cap, size_t* written,
                                      bool* full) {
  *written = 0;
  *full = false;
  if (!complete_ || mark_only_line_ || layout_.unit != LineUnit::kByte) return 0;
  // Only the stretch before the next CR holds lines that end in an LF alone.
  if (next_cr_ == kUnknown || next_cr_ < begin_) {
    const void* cr = std::memchr(buf_.get() + begin_, '\r', end_ - begin_);
    next_cr_ = cr ? static_cast<const char*>(cr) - buf_.get() : end_;
  }
  const size_t n = std::min(next_cr_ - begin_, BulkAvailable());
  size_t used = 0;
  const int64_t lines =
      CopyLfLinesAsCrLf(buf_.get() + begin_, n, max_lines, out, cap, &used, written, full);
  begin_ += used;
  return lines;
}

int64_t TBlockTextReader::CopyCrLfLines(int64_t max_lines, char* out, size_t cap, size_t* written,
                                        bool* full, bool any_end) {
  *written = 0;
  *full = false;
  if (!complete_ || mark_only_line_ || layout_.unit != LineUnit::kByte) return 0;
  const size_t avail = BulkAvailable();
  size_t used = 0;
  const int64_t lines =
      ScanBulkLines(buf_.get() + begin_, std::min(avail, cap), max_lines, any_end, &used);
  std::memcpy(out, buf_.get() + begin_, used);
  begin_ += used;
  *written = used;
  *full = lines < max_lines && avail > cap;
  return lines;
}

std::string TBlockTextReader::CurrentLine() const {
  if (encoding_name_ == kEncodingUtf8) {
    std::string text = DecodeBytes(current_, encoding_name_);
    if (text.empty() && !current_.empty()) return SanitizeUtf8(current_);
    return text;
  }
  return DecodeBytes(current_, encoding_name_);
}

}  // namespace lorvant
