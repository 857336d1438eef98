// Delivers the lines of a text file of any size one at a time through a
// bounded buffer. Each line is available as its bytes in the source's
// encoding (a view into the buffer, without line end and mark), and decoded
// on demand; a line longer than the buffer's limit comes in parts, so memory
// stays bounded whatever the line lengths. A line ends at CR LF, a lone CR
// or an LF, in code units of the file's layout (TextLayout), exactly as the
// line counter counts them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "os/Env.h"
#include "textio/CharsetUtil.h"

namespace lorvant {

class TBlockTextReader {
 public:
  static constexpr size_t kBlockSize = 4 << 20;
  static constexpr size_t kMaxBuffer = 16 << 20;

  // block_size: bytes read per refill; a longer line grows the buffer up to
  // max_buffer bytes, and a line longer still is delivered in parts.
  explicit TBlockTextReader(size_t block_size = kBlockSize, size_t max_buffer = kMaxBuffer);
  ~TBlockTextReader();
  TBlockTextReader(const TBlockTextReader&) = delete;
  TBlockTextReader& operator=(const TBlockTextReader&) = delete;

  // Opens the file and prepares to read from its first line.
  // Throws EFOpenError when it cannot be opened or is a folder.
  void Open(const std::string& file_name);
  // Chooses the decoder used by CurrentLine; "" or "Auto Detect" takes the
  // file's own (its mark's name, "Ansi" for unmarked byte text).
  void SetEncoding(const std::string& name);
  // Makes the next line current (skipping what is left of the current
  // one); false (and an empty line) after the last. Throws EReadError, with
  // the file's name and the system's reason, when a read fails or the file
  // turns out shorter than at Open.
  bool ReadLine();
  // Makes the next part of a line that is not complete current; throws as
  // ReadLine does.
  void ReadMore();
  // The current line's bytes (or the current part of a long line); valid
  // until the next ReadLine, ReadMore or Close.
  std::string_view CurrentBytes() const { return current_; }
  // Whether the current part is the last of its line.
  bool LineComplete() const { return complete_; }
  // Bytes of the current line's end (0 for a last line without one); valid
  // once the line is complete.
  size_t LineEndSize() const { return line_end_size_; }
  // The current line's end as it stands in the file (LineEndSize bytes);
  // valid once the line is complete, until the next read.
  std::string_view LineEndBytes() const {
    return std::string_view(current_.data() + current_.size(), line_end_size_);
  }
  // Offset in the file of the first byte not yet delivered.
  int64_t Position() const { return buf_offset_ + static_cast<int64_t>(begin_); }
  // Offset in the file of the first byte of CurrentBytes.
  int64_t CurrentOffset() const {
    return buf_offset_ + static_cast<int64_t>(current_.data() - buf_.get());
  }
  // The current line decoded to UTF-8: strict UTF-8 falling back to the
  // never-failing decoder, UTF-16 with replacement characters.
  std::string CurrentLine() const;
  // Releases the file.
  void Close();

  // Bulk paths for byte text (no UTF-16), taken between two lines (the
  // current one complete): each takes whole lines that follow it from what
  // is already read, at most max_lines, and returns how many; the last one
  // taken becomes the current line's place. 0 when the next line needs
  // ReadLine.
  // For a CSV record whose current line (complete, byte text) ends inside
  // a quoted field (CsvFields): the bytes of its following lines already read, up to the
  // end of its last line (not that end, whose size goes to *last_end); -1
  // when the record's end is not in what is read yet.
  int64_t PeekRecordRest(size_t* last_end) const;
  // Every bulk path stops before a line holding the byte stop (CSV quotes,
  // which the caller must see line by line); -1 for none.
  void SetBulkStop(int stop) {
    bulk_stop_ = stop;
    next_stop_ = kUnknown;
  }
  // Lines ending in CR LF (or any end, when any_end), left where they are:
  // *offset and *size give their bytes in the file, at most max_bytes.
  int64_t SkipCrLfLines(int64_t max_lines, int64_t* offset, int64_t* size,
                        int64_t max_bytes = INT64_MAX, bool any_end = false);
  // Lines ending in a lone LF, copied to out (cap bytes) with CR LF ends;
  // *written: bytes written; *full: the next line did not fit.
  int64_t CopyLfLines(int64_t max_lines, char* out, size_t cap, size_t* written, bool* full);
  // Lines ending in CR LF (or any end, when any_end), copied to out (cap
  // bytes) as they are; *written and *full as for CopyLfLines.
  int64_t CopyCrLfLines(int64_t max_lines, char* out, size_t cap, size_t* written, bool* full,
                        bool any_end = false);

  const std::string& FileName() const { return file_name_; }
  const std::string& EncodingName() const { return encoding_name_; }
  const std::string& Bom() const { return layout_.bom; }
  const TextLayout& Layout() const { return layout_; }
  // The size the file reported when opened; 0 may hide bytes all the same.
  int64_t FileSize() const { return file_size_; }
  // Identity (device, inode) and size of the file as opened.
  const FileInfo& OpenFileInfo() const { return file_info_; }
  // The open file, for positioned reads of byte ranges already scanned.
  std::shared_ptr<SequentialFile> SharedFile() const { return file_; }

 private:
  // Moves the unread tail to the buffer's start (growing the buffer when
  // the tail fills it, up to its limit) and reads more. False at the end of
  // the file.
  bool Fill();
  // Makes the next part from begin_ current; false at the end of the file.
  bool NextPart();
  // Finds the next line end at or after begin_: sets *term (its offset)
  // and *term_len (0 when no complete line end is in the buffer yet).
  void FindLineEnd(size_t* term, size_t* term_len);
  void FindByteLineEnd(size_t* term, size_t* term_len);
  void FindUnitLineEnd(size_t* term, size_t* term_len);
  // Bytes from begin_ the bulk paths may look at: up to the bulk stop.
  size_t BulkAvailable();
  // Lines at the start of p[0, n) the bulk paths take: CR LF lines, or
  // lines of any end; *used their bytes.
  int64_t ScanBulkLines(const char* p, size_t n, int64_t max_lines, bool any_end, size_t* used);

  const size_t block_size_;
  const size_t max_buffer_;
  std::string file_name_;
  std::string encoding_name_;
  TextLayout layout_;
  std::shared_ptr<SequentialFile> file_;
  FileInfo file_info_;
  int64_t file_size_ = 0;
  bool size_known_ = true;  // false: the file said 0 bytes, and is read to its end
  int64_t remaining_ = 0;   // bytes of the file not read yet (INT64_MAX: not known)
  int64_t buf_offset_ = 0;  // offset in the file of buf_[0]

  std::unique_ptr<char[]> buf_;
  size_t cap_ = 0;
  size_t begin_ = 0;  // start of the unread data
  size_t end_ = 0;    // end of the valid data
  static constexpr size_t kUnknown = SIZE_MAX;
  size_t next_cr_ = kUnknown;  // first CR at or after begin_ (end_ = none)
  int bulk_stop_ = -1;
  size_t next_stop_ = kUnknown;  // first bulk stop at or after begin_ (end_ = none)
  bool mark_only_line_ = false;
  std::string_view current_;
  bool complete_ = true;
  size_t line_end_size_ = 0;
};

}  // namespace lorvant
