// Splits the source file of a split task into numbered files of at most
// MaxLines lines in the output folder. Each output file starts with the
// source's mark and holds the source's line bytes unchanged, each followed
// by CR LF in the source's encoding (or by its own end, KeepLineEnds).
// Options: header lines that start every piece, a size limit per piece
// (whole records only), and records that follow CSV quoting, so a quoted
// line break never cuts a record in two. The source is read once, through one
// open descriptor: lines whose bytes stay as they are go out as byte ranges
// the kernel copies; the others are gathered into large buffers. A writer
// thread does the writing while the next lines are scanned.
#pragma once

#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <string>

#include "engine/IterativeConverter.h"
#include "engine/OutputWriter.h"
#include "os/Env.h"
#include "textio/CsvFields.h"

namespace lorvant {

class TBlockTextReader;
class TOutputFolder;
class TPieceCreator;
class TFileSplitSession;
class TTaskDesc;
class TTaskMRUList;

class TFileSplitter final : public TIterativeConverter {
 public:
  static constexpr int32_t kMaxLinesLimit = 1000000000;
  // Lines converted between two progress reports (and stop checks) at most.
  static constexpr int64_t kRunLines = 1024;
  // Bytes handed to the kernel per copy at most, so progress keeps moving.
  static constexpr int64_t kRangeLimit = 8 << 20;
  // Pieces created ahead of the loop (more when the source comes from
  // storage), and the threads creating them.
  static constexpr int kPiecesAhead = 4;
  static constexpr int kPiecesAheadFromStorage = 16;
  static constexpr int kPieceThreads = 1;
  // How far behind the scan a source too large for memory leaves the page
  // cache: well clear of the pages that start its read-ahead.
  static constexpr int64_t kDropLag = 12 << 20;
  // Header lines are repeated in every piece, so they are held in memory.
  static constexpr int32_t kMaxHeaderLines = 1000000;
  static constexpr size_t kMaxHeaderBytes = 16 << 20;

  TFileSplitter();
  ~TFileSplitter() override;

  std::string SourceExt;   // with its dot, or ""
  std::string SourceBom;   // mark bytes of the source
  int64_t FileCount = 0;   // output files created in this run
  int64_t LineTotal = -1;  // the cached line count, -1 when not known
  int64_t LineIndex = 0;   // 0-based index of the current line
  std::string OutputFileName;

  // The session as a split task; throws EInvalidCast for another kind.
  TFileSplitSession& SplitSession() const;

 protected:
  friend class TIterativeConverter;  // its loop calls the steps directly

  // Refuses a task with lines per file outside 1..1000000000, options out
  // of range, or without an output folder or with a protected folder as one
  // (TOutputFolder), before touching anything; records the recent task
  // (windowed runs only); opens the source; reads the header lines;
  // creates the output folder, or starts emptying it (AfterLoop waits for
  // the emptying to end); reads the first line.
  void Prepare() override;
  // Writes out what is pending and closes the current output file, so every
  // failure is recorded before the run's end is reported. After a run that
  // read the whole source, its line count goes into the line-count cache
  // and an unknown total becomes the number of lines handled.
  void AfterLoop() override;
  void Close() override;
  bool HasNext() override { return has_line_; }
  void Next() override;
  void ConvertOneRecord() override;
  // The total from the line-count cache for the open source; unknown (-1)
  // when the cache has none: the source is not read twice for it. Then
  // starts making pieces ahead, no more than the total needs.
  void CountTotal() override;
  int64_t CurrentRecordNumber() override { return LineIndex + 1; }
  // Lines whose bytes the writer has confirmed; never falls.
  int64_t DoneRecords() override { return writer_ ? writer_->Confirmed() : 0; }
  // The loop converts runs of lines of one piece (at most kRunLines) between
  // two progress reports and stop checks.
  void RunLoop() override;

 private:
  void RecordRecentTask();
  // Asks that the source stay as it is while copies read it; copies are
  // made only while it does.
  void HoldSource();
  // Ends the copies: waits for those queued, gives the hold back, and
  // throws EReadError naming the source when it changed all the same.
  void ReleaseSource();
  // Whether the source's bytes are in memory (sampled across the file).
  bool SourceInMemory();
  void PrepareOutputFolder();
  // Appends the current line to the current output file, opening the next
  // file first when needed. Throws for this line's failure only, except
  // EReadError, which ends the run.
  void WriteLine();
  // The record's bytes that follow its first line, for a CSV record whose
  // first line ends inside a quoted field: each line with its own end, the last
  // with the piece's line end. Counts and reports a quote left open at the
  // end of the file.
  void WriteRestOfRecord(bool copying);
  // The current record's size in the piece, when it can be told before
  // writing it; -1 for a line not complete in the reader's buffer or a CSV
  // record going on beyond what is read.
  int64_t RecordSizeAhead() const;
  // Ends the current piece before a record of `size` bytes (-1: not known)
  // when the size limit says so.
  void FitRecord(int64_t size);
  void OpenNextFile();
  // Tells the output folder how many pieces to keep old files for when the
  // total is not known, judging by the first piece.
  void ExpectPiecesLikeTheFirst();
  // Appends the current line's bytes (all its parts), carrying *state
  // through them for CSV; returns the bytes added. copying: as a range of
  // the source.
  int64_t PutLineBytes(bool copying, CsvState* state);
  // Appends the current line's end: its own, or the piece's; returns the
  // bytes added.
  int64_t PutLine(bool copying, bool own_end);
  // The CSV state after a part of a line, from state.
  CsvState CsvAfter(std::string_view bytes, CsvState state) const;
  // Converts whole lines after the current one straight from the reader's
  // buffer, as many as the piece (and a known total) takes: CR LF lines as
  // one range, LF lines copied with CR LF in bulk. Lines it cannot take go
  // the line-by-line way.
  void ConvertFollowingLines();
  // Records this piece (and a known total) still takes after the current.
  int64_t RecordsLeft();
  // Gathers bytes of the current line into the buffer.
  void Append(const char* data, size_t n) {
    if (buffer_.size > 0 && buffer_.capacity - buffer_.size >= n) {
      std::memcpy(buffer_.data.get() + buffer_.size, data, n);
      buffer_.size += n;
      buffer_.lines = last_line_in_file_ - buffer_.first_line + 1;
      return;
    }
    AppendSlow(data, n);
  }
  void AppendSlow(const char* data, size_t n);
  // Adds source bytes of the current line to the range the kernel copies.
  void AddToRange(int64_t offset, int64_t size);
  // Queues the pending range, or the buffer, for writing.
  void FlushRange();
  void HandOff();
  // Queues what is pending of the current output file and its closing.
  void CloseOutput();
  // After a failed run: removes the latest pieces that hold no line.
  void RemoveUnfilledPieces();
  // Turns failed writes reported so far into record errors; throws
  // EReadError when reading the source for a copy failed.
  void RecordWriteFailures();
  // Counts line index as failed with error.
  void FailLine(int64_t index, const Exception& error);

  std::unique_ptr<TBlockTextReader> reader_;
  std::shared_ptr<SequentialFile> source_;
  std::unique_ptr<TTaskDesc> task_desc_;
  std::unique_ptr<TTaskMRUList> recent_task_list_;
  std::unique_ptr<TOutputFolder> output_folder_;
  std::unique_ptr<TPieceCreator> pieces_;
  std::unique_ptr<TOutputWriter> writer_;
  std::shared_ptr<WritableFile> output_;
  TOutputWriter::Buffer buffer_;
  std::string source_name_;
  std::string dest_folder_;
  FileInfo source_info_;
  std::string line_end_;  // CR LF in the source's encoding
  bool has_line_ = false;
  bool copying_ = false;   // lines go out as source ranges while they end in CR LF
  bool held_ = false;      // the source stays as it is while copies read it
  bool finished_ = false;  // the run reached its end without an exception
  // The latest pieces taken, newest last: a run that fails removes those
  // that never got a line.
  struct TakenPiece {
    std::string name;
    FileInfo info;
  };
  std::deque<TakenPiece> taken_;
  static constexpr size_t kTakenKept = 4096;
  bool bulk_ = false;  // byte text: whole lines may be taken in bulk
  int pieces_ahead_ = kPiecesAhead;
  int64_t max_lines_ = 0;
  int64_t lines_left_in_file_ = 0;
  int64_t file_first_line_ = 0;
  int64_t last_line_in_file_ = 0;
  int64_t range_offset_ = 0;
  int64_t range_size_ = 0;
  int64_t range_first_line_ = 0;
  std::string file_error_;  // why the current output file could not be made
  // Options of the run.
  bool csv_ = false;
  bool keep_ends_ = false;
  int64_t max_bytes_ = 0;     // 0: no limit
  std::string header_;        // the header records as every piece repeats them
  int64_t header_lines_ = 0;  // physical lines the header took
  int64_t extra_lines_ = 0;   // lines inside records beyond their first (CSV)
  int64_t piece_bytes_ = 0;   // bytes in the current piece so far
  bool piece_has_record_ = false;
  bool oversize_logged_ = false;
};

}  // namespace lorvant
