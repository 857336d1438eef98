#include "engine/FileSplitter.h"

#include <algorithm>
#include <cstring>

#include "base/RunMode.h"
#include "engine/PieceCreator.h"
#include "engine/TimeUtil.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "fs/OutputFolder.h"
#include "log/Log.h"
#include "os/MemoryInfo.h"
#include "tasks/FileSplitSession.h"
#include "tasks/TaskDesc.h"
#include "tasks/TaskMRUList.h"
#include "textio/BlockTextReader.h"
#include "textio/CharsetUtil.h"
#include "textio/CsvFields.h"
#include "textio/FileLineCountCache.h"
#include "textio/HeaderRecords.h"

namespace lorvant {

TFileSplitter::TFileSplitter() = default;
TFileSplitter::~TFileSplitter() = default;

TFileSplitSession& TFileSplitter::SplitSession() const {
  auto* session = dynamic_cast<TFileSplitSession*>(Session);
  if (session == nullptr) throw EInvalidCast();
  return *session;
}

void TFileSplitter::Prepare() {
  TFileSplitSession& session = SplitSession();
  if (session.MaxLines < 1 || session.MaxLines > kMaxLinesLimit) {
    throw Exception("Max lines per split file must be from 1 to " + std::to_string(kMaxLinesLimit) +
                    ", not " + std::to_string(session.MaxLines) + ".");
  }
  if (session.HeaderLines < 0 || session.HeaderLines > kMaxHeaderLines) {
    throw Exception("Header lines must be from 0 to " + std::to_string(kMaxHeaderLines) + ", not " +
                    std::to_string(session.HeaderLines) + ".");
  }
  if (!session.OptionError.empty()) throw Exception(session.OptionError);
  if (session.MaxBytes < 0) {
    throw Exception("Max bytes per split file must be a size such as 500K, 10M or 2G.");
  }
  if (TrimText(session.DestFolder).empty()) throw Exception("The output folder is not set.");
  max_lines_ = session.MaxLines;
  max_bytes_ = session.MaxBytes;
  csv_ = session.CsvRecords;
  keep_ends_ = session.KeepLineEnds;
  dest_folder_ = session.DestFolder;
  while (dest_folder_.size() > 1 && dest_folder_.back() == '/') dest_folder_.pop_back();
  // Held open from here on: the folder checked is the folder emptied and
  // written, whatever its path comes to name meanwhile.
  output_folder_ = std::make_unique<TOutputFolder>(dest_folder_);

  task_desc_ = std::make_unique<TTaskDesc>();
  if (IsWindowedRun()) {
    recent_task_list_ = std::make_unique<TTaskMRUList>(RecentTaskListFile());
    RecordRecentTask();
  }

  SourceExt = ExtractFileExt(session.SourceFile);
  source_name_ = session.SourceFile;
  LineIndex = 0;
  FileCount = 0;
  LineTotal = -1;
  lines_left_in_file_ = 0;
  range_size_ = 0;
  file_error_.clear();
  output_.reset();
  header_.clear();
  header_lines_ = 0;
  extra_lines_ = 0;
  piece_bytes_ = 0;
  piece_has_record_ = false;
  oversize_logged_ = false;
  // A missing or unreadable source fails here, before the folder is touched.
  // From here on the source is known by this open file alone, whatever
  // happens to its name while the folder is emptied.
  reader_ = std::make_unique<TBlockTextReader>(TBlockTextReader::kBlockSize,
                                               TBlockTextReader::kBlockSize);
  reader_->Open(session.SourceFile);
  source_ = reader_->SharedFile();
  SourceBom = reader_->Bom();
  switch (reader_->Layout().unit) {
    case LineUnit::kByte:
      line_end_ = "\r\n";
      break;
    case LineUnit::kUtf16LE:
      line_end_ = std::string("\r\0\n\0", 4);
      break;
    case LineUnit::kUtf16BE:
      line_end_ = std::string("\0\r\0\n", 4);
      break;
  }
  // The identity of the open source: it is never deleted or overwritten,
  // whatever name leads to it.
  source_info_ = reader_->OpenFileInfo();
  // Kernel copies pay off while the source is in memory: they then copy
  // page-cache bytes. A source that is not (larger than memory, or not
  // read for a while) would be read from storage twice: once by the scan,
  // again by the copies, so its lines go out from what the scan reads.
  const bool in_memory = SourceInMemory();
  // Nor can one larger than the memory this run may use stay there: read
  // once from storage, its pages go once scanned, leaving the memory to
  // the pieces being written.
  if (!in_memory && source_info_.size > MemoryForCaching()) source_->DropBehind(kDropLag);
  // A source that reports no size (the kernel's own files) may give other
  // bytes when read again: only what the scan reads goes out.
  copying_ = source_->SupportsReadAt() && in_memory && source_info_.size > 0;
  // Copies read the source behind the scan; a file of their own keeps the
  // scan's read-ahead sequential.
  if (copying_) {
    std::shared_ptr<SequentialFile> copy_source = source_->Reopen();
    if (copy_source && copy_source->SupportsReadAt()) source_ = std::move(copy_source);
    // Copies read the source again after the scan: only while nobody can
    // change it meanwhile do they hold the bytes that were scanned.
    HoldSource();
  }
  bulk_ = reader_->Layout().unit == LineUnit::kByte;
  // A line holding a quote may open a quoted field: the bulk paths leave
  // such lines to the line-by-line way, which follows the fields. A line
  // without one is a whole record.
  if (csv_) reader_->SetBulkStop('"');
  THeaderRecords header = ReadHeaderRecords(*reader_, session.HeaderLines, csv_, keep_ends_,
                                            line_end_, kMaxHeaderBytes);
  header_ = std::move(header.bytes);
  header_lines_ = header.lines;
  const int64_t fixed = static_cast<int64_t>(SourceBom.size() + header_.size());
  if (max_bytes_ > 0 && fixed >= max_bytes_) {
    throw Exception("Max bytes per split file (" + SizeText(max_bytes_) +
                    ") leaves no room for lines after the mark and the header lines (" +
                    std::to_string(fixed) + " bytes).");
  }
  Status().SourceSize = source_info_.size;
  writer_ = std::make_unique<TOutputWriter>(!in_memory);
  // Reading and writing pieces keep storage busy, and a new file may wait
  // behind them for its folder's blocks: a deeper lead hides that.
  pieces_ahead_ = in_memory ? kPiecesAhead : kPiecesAheadFromStorage;
  PrepareOutputFolder();
  has_line_ = !Stopped && reader_->ReadLine();
}

void TFileSplitter::HoldSource() {
  held_ = source_->Hold();
  const FileInfo now = source_->Info();
  // Changed between the open and the hold: what was read may be older.
  if (held_ && (now.size != source_info_.size || now.mtime_ns != source_info_.mtime_ns)) {
    source_->Unhold();
    held_ = false;
  }
  copying_ = held_;
}

void TFileSplitter::ReleaseSource() {
  if (!held_) return;
  FlushRange();
  writer_->Drain();
  // Should this process not have answered in time, the system ends the
  // hold by itself, and copies may have read what another process wrote.
  const FileInfo now = source_->Info();
  source_->Unhold();
  held_ = false;
  copying_ = false;
  RecordWriteFailures();
  if (!now.exists || now.size != source_info_.size || now.mtime_ns != source_info_.mtime_ns) {
    throw EReadError("Cannot read file \"" + source_name_ +
                     "\". It was changed by another program while it was being split.");
  }
}

bool TFileSplitter::SourceInMemory() {
  const int64_t size = source_info_.size;
  for (int k = 0; k < 8 && size > 0; ++k) {
    if (!source_->InMemory(size / 8 * k)) return false;
  }
  return size == 0 || source_->InMemory(size - 1);
}

void TFileSplitter::RecordRecentTask() {
  TFileSplitSession& session = SplitSession();
  DateTime now = LocalNow();
  std::string copy_name =
      GetAppDataFolder("Lorvant") + FileTimestamp(now) + "." + session.DefaultExt;
  session.WriteToFile(copy_name);
  TLog::Global()->Debug("Session Desc: " + session.GetDisplayName());
  TLog::Global()->Debug(ReadTextFile(copy_name));
  task_desc_->Time = DisplayTimestamp(now);
  task_desc_->TaskFile = copy_name;
  task_desc_->SourceName = ExtractFileName(session.SourceFile);
  recent_task_list_->Add(*task_desc_);
}

void TFileSplitter::PrepareOutputFolder() {
  // A stop asked for before this point leaves the folder untouched.
  if (Stopped) return;
  output_folder_->PrepareInBackground({source_info_}, &Stopped);
}

void TFileSplitter::CountTotal() {
  int64_t cached = 0;
  LineTotal = TFileLineCountCache::Lookup(source_name_, source_info_, &cached) ? cached : -1;
  // The cache counts lines: records are lines unless CSV quoting joins them.
  if (csv_) LineTotal = -1;
  if (LineTotal >= 0) LineTotal = std::max<int64_t>(0, LineTotal - header_lines_);
  Status().Total = LineTotal;
  // Pieces are made ahead from here on; a known total says how many there
  // will be, so none is made in vain (a size limit makes more).
  int64_t last =
      LineTotal >= 0 && max_bytes_ == 0 ? (LineTotal + max_lines_ - 1) / max_lines_ : INT64_MAX;
  if (last == 0 && !header_.empty()) last = 1;  // the header alone still makes a piece
  // A run stopped before it began leaves the folder as it found it.
  if (Stopped) last = 0;
  if (last != INT64_MAX) output_folder_->ExpectPieces(last);
  pieces_ = std::make_unique<TPieceCreator>(output_folder_.get(), SourceExt, dest_folder_,
                                            source_info_, pieces_ahead_, kPieceThreads, last);
}

void TFileSplitter::RunLoop() {
  while (HasNext() && !ShouldStop()) {
    ConvertOneRecord();
    bool more = true;
    for (int64_t n = 1; n < kRunLines && lines_left_in_file_ > 0; ++n) {
      ConvertFollowingLines();
      // The record after this one must lie in this piece and within a
      // known total.
      if (lines_left_in_file_ == 0 || RecordsLeft() <= 0) break;
      Next();
      if (!(more = HasNext())) break;
      ConvertOneRecord();
    }
    // Another program waits to change the source: the copies made so far
    // end first, and the lines from here on go out as the scan reads them.
    if (held_ && source_->HoldWanted()) ReleaseSource();
    Status().SourceRead = reader_->Position();
    DoAfterConvertSome();
    if (more) Next();
  }
  AfterLoop();
}

int64_t TFileSplitter::RecordsLeft() {
  const int64_t left = lines_left_in_file_;
  if (IsTotalUnknown()) return left;
  return std::min(left, Status().Total - (LineIndex + 1));
}

void TFileSplitter::ConvertFollowingLines() {
  if (!output_ || !bulk_) return;
  int64_t limit = RecordsLeft();
  // Bytes the piece still takes; the bulk paths stop before a line that
  // would pass them, and that line then ends the piece.
  auto room = [this] {
    return max_bytes_ > 0 ? std::max<int64_t>(0, max_bytes_ - piece_bytes_) : INT64_MAX;
  };
  if (copying_) {
    int64_t offset = 0, size = 0;
    const int64_t n = reader_->SkipCrLfLines(limit, &offset, &size, room(), keep_ends_);
    if (n == 0) return;
    LineIndex += n;
    last_line_in_file_ = LineIndex;
    lines_left_in_file_ -= n;
    piece_bytes_ += size;
    AddToRange(offset, size);
  } else {
    while (limit > 0) {
      if (!buffer_.data) buffer_ = writer_->TakeBuffer();
      if (buffer_.size == 0) buffer_.first_line = LineIndex + 1;
      char* to = buffer_.data.get() + buffer_.size;
      const size_t space = buffer_.capacity - buffer_.size;
      const size_t cap = static_cast<size_t>(std::min<int64_t>(space, room()));
      size_t written = 0;
      bool full = false;
      int64_t n = 0;
      if (!keep_ends_) n = reader_->CopyLfLines(limit, to, cap, &written, &full);
      if (n == 0 && !full) n = reader_->CopyCrLfLines(limit, to, cap, &written, &full, keep_ends_);
      if (n > 0) {
        buffer_.size += written;
        piece_bytes_ += static_cast<int64_t>(written);
        LineIndex += n;
        last_line_in_file_ = LineIndex;
        lines_left_in_file_ -= n;
        limit -= n;
        buffer_.lines = LineIndex - buffer_.first_line + 1;
        continue;  // lines of the other kind may follow
      }
      // A line longer than a whole buffer goes the line-by-line way, as
      // does one the piece has no room for (it starts the next piece).
      if (!full || buffer_.size == 0 || cap < space) break;
      HandOff();
    }
  }
  if (lines_left_in_file_ == 0) CloseOutput();
}

void TFileSplitter::Next() {
  has_line_ = reader_->ReadLine();
  ++LineIndex;
}

void TFileSplitter::ConvertOneRecord() {
  try {
    WriteLine();
  } catch (const EReadError&) {
    throw;  // the source cannot be read: the run cannot go on
  } catch (const Exception& e) {
    FailLine(LineIndex, e);
  }
}

void TFileSplitter::FailLine(int64_t index, const Exception& error) {
  ++Status().ErrorCount;
  RecordError("Serial: " + std::to_string(index + 1), error);
}

void TFileSplitter::OpenNextFile() {
  ++FileCount;
  lines_left_in_file_ = max_lines_;
  file_error_.clear();
  file_first_line_ = LineIndex;
  last_line_in_file_ = LineIndex;
  OutputFileName = dest_folder_ + "/" + std::to_string(FileCount) + SourceExt;
  if (FileCount == 2 && (IsTotalUnknown() || max_bytes_ > 0)) ExpectPiecesLikeTheFirst();
  try {
    output_ = pieces_->Take(FileCount);
  } catch (const Exception& e) {
    file_error_ = e.Message();
    return;
  }
  taken_.push_back({std::to_string(FileCount) + SourceExt, output_->Info()});
  if (taken_.size() > kTakenKept) taken_.pop_front();
  if (!SourceBom.empty()) Append(SourceBom.data(), SourceBom.size());
  if (!header_.empty()) Append(header_.data(), header_.size());
  piece_bytes_ = static_cast<int64_t>(SourceBom.size() + header_.size());
  piece_has_record_ = false;
}

void TFileSplitter::ExpectPiecesLikeTheFirst() {
  // The rest of the source in pieces the size of the first, with room for
  // longer ones: too few leaves old files to delete at the end, too many
  // makes a few pieces anew.
  const int64_t first = reader_->Position();
  if (first <= 0 || source_info_.size <= 0) return;      // no size to judge by
  const int64_t rest = (source_info_.size - 1) / first;  // after the first, rounded up
  output_folder_->ExpectPieces(1 + rest + rest / 4 + 4);
}

CsvState TFileSplitter::CsvAfter(std::string_view bytes, CsvState state) const {
  return ScanCsv(bytes, reader_->Layout().unit, state);
}

void TFileSplitter::FitRecord(int64_t size) {
  if (max_bytes_ == 0 || lines_left_in_file_ == 0 || !piece_has_record_) return;
  if (size >= 0 && piece_bytes_ + size <= max_bytes_) return;
  CloseOutput();
  lines_left_in_file_ = 0;  // the record opens the next piece
}

int64_t TFileSplitter::RecordSizeAhead() const {
  if (!reader_->LineComplete()) return -1;
  const std::string_view line = reader_->CurrentBytes();
  const size_t own_end = reader_->LineEndSize();
  const int64_t end = static_cast<int64_t>(keep_ends_ ? own_end : line_end_.size());
  if (!csv_ || !CsvRecordGoesOn(CsvAfter(line, CsvState::kFieldStart)) || own_end == 0) {
    return static_cast<int64_t>(line.size()) + end;
  }
  size_t last_end = 0;
  const int64_t rest = reader_->PeekRecordRest(&last_end);
  if (rest < 0) return -1;
  return static_cast<int64_t>(line.size() + own_end) + rest +
         static_cast<int64_t>(keep_ends_ ? last_end : line_end_.size());
}

void TFileSplitter::WriteLine() {
  if (max_bytes_ > 0) FitRecord(RecordSizeAhead());
  if (lines_left_in_file_ == 0) OpenNextFile();
  --lines_left_in_file_;
  last_line_in_file_ = LineIndex;
  // The file could not be made: its lines have nowhere to go.
  if (!output_) throw Exception(file_error_);
  const bool copying = copying_;
  CsvState state = CsvState::kFieldStart;
  piece_bytes_ += PutLineBytes(copying, &state);
  // A CSV record goes on past this line when it ends inside a quoted field.
  if (csv_ && CsvRecordGoesOn(state) && reader_->LineEndSize() != 0) {
    WriteRestOfRecord(copying);
  } else {
    piece_bytes_ += PutLine(copying, keep_ends_);
  }
  piece_has_record_ = true;
  if (max_bytes_ > 0 && piece_bytes_ > max_bytes_) {
    if (!oversize_logged_) {
      oversize_logged_ = true;
      Status().Message = "A record larger than " + SizeText(max_bytes_) +
                         " went into a piece of its own (" + std::to_string(FileCount) + SourceExt +
                         ").";
      TLog::Global()->Info(Status().Message);
      Status().NotifyMessage();
    }
    lines_left_in_file_ = 0;
  }
  if (lines_left_in_file_ == 0) CloseOutput();
}

int64_t TFileSplitter::PutLine(bool copying, bool own_end) {
  const std::string_view end = own_end ? reader_->LineEndBytes() : std::string_view(line_end_);
  if (copying && (own_end || reader_->LineEndSize() == line_end_.size())) {
    // Ends as it should already: the line end is part of the range.
    AddToRange(reader_->CurrentOffset() + static_cast<int64_t>(reader_->CurrentBytes().size()),
               static_cast<int64_t>(reader_->LineEndSize()));
    return static_cast<int64_t>(reader_->LineEndSize());
  }
  if (copying_) {
    // Line ends that change would cut the ranges short: from here on
    // lines are gathered in buffers.
    FlushRange();
    copying_ = false;
  }
  Append(end.data(), end.size());
  return static_cast<int64_t>(end.size());
}

int64_t TFileSplitter::PutLineBytes(bool copying, CsvState* state) {
  int64_t added = 0;
  // A long line comes in parts; none of them needs the whole line at once.
  std::string_view part = reader_->CurrentBytes();
  while (true) {
    if (csv_) *state = CsvAfter(part, *state);
    if (copying) {
      AddToRange(reader_->CurrentOffset(), static_cast<int64_t>(part.size()));
    } else {
      Append(part.data(), part.size());
    }
    added += static_cast<int64_t>(part.size());
    if (reader_->LineComplete()) return added;
    reader_->ReadMore();
    part = reader_->CurrentBytes();
  }
}

void TFileSplitter::WriteRestOfRecord(bool copying) {
  const int64_t first_line = LineIndex + 1 + header_lines_ + extra_lines_;
  CsvState state = CsvState::kQuoted;
  // The line break inside the quoted field is data: it stays as it is.
  piece_bytes_ += PutLine(copying && copying_, true);
  bool ends = false;
  while (!ends && reader_->ReadLine()) {
    ++extra_lines_;
    piece_bytes_ += PutLineBytes(copying && copying_, &state);
    ends = !CsvRecordGoesOn(state) || reader_->LineEndSize() == 0;
    piece_bytes_ += PutLine(copying && copying_, !ends || keep_ends_);
  }
  if (CsvRecordGoesOn(state)) {
    ++Status().ErrorCount;
    RecordError("Serial: " + std::to_string(LineIndex + 1),
                Exception("A quoted field opened in the record on line " +
                          std::to_string(first_line) + " is not closed at the end of the file."));
  }
}

void TFileSplitter::AppendSlow(const char* data, size_t n) {
  while (true) {
    if (!buffer_.data) buffer_ = writer_->TakeBuffer();
    if (buffer_.size == 0) buffer_.first_line = last_line_in_file_;
    const size_t take = std::min(n, buffer_.capacity - buffer_.size);
    std::memcpy(buffer_.data.get() + buffer_.size, data, take);
    buffer_.size += take;
    buffer_.lines = last_line_in_file_ - buffer_.first_line + 1;
    data += take;
    n -= take;
    if (n == 0) return;
    HandOff();  // full, with more to come
  }
}

void TFileSplitter::AddToRange(int64_t offset, int64_t size) {
  if (range_size_ > 0 && offset != range_offset_ + range_size_) FlushRange();
  if (range_size_ == 0) {
    if (buffer_.size > 0) HandOff();  // the mark goes first
    range_offset_ = offset;
    range_first_line_ = last_line_in_file_;
  }
  range_size_ += size;
  if (range_size_ >= kRangeLimit) FlushRange();
}

void TFileSplitter::FlushRange() {
  if (range_size_ > 0) {
    // Bytes scanned moments ago were gone from memory when copied: the
    // source does not fit, and copies read it from storage a second time.
    // From here on lines go out from what the scan read.
    if (writer_->CopiesMissedMemory()) copying_ = false;
    writer_->Copy(output_, file_first_line_, source_, range_offset_, range_size_, range_first_line_,
                  last_line_in_file_ - range_first_line_ + 1);
    range_size_ = 0;
  }
  RecordWriteFailures();
}

void TFileSplitter::HandOff() {
  if (buffer_.size > 0) {
    writer_->Write(output_, file_first_line_, std::move(buffer_));
    buffer_ = TOutputWriter::Buffer();
  }
  RecordWriteFailures();
}

void TFileSplitter::CloseOutput() {
  if (!output_) return;
  FlushRange();
  HandOff();
  writer_->Close(output_, file_first_line_, last_line_in_file_);
  output_.reset();
}

void TFileSplitter::RemoveUnfilledPieces() {
  // Pieces are filled in order: the unfilled ones are the last.
  const int64_t empty = static_cast<int64_t>(SourceBom.size() + header_.size());
  for (; !taken_.empty(); taken_.pop_back()) {
    if (!output_folder_->RemovePiece(taken_.back().name, taken_.back().info, empty)) break;
  }
}

void TFileSplitter::RecordWriteFailures() {
  for (const TOutputWriter::Failure& f : writer_->TakeFailures()) {
    const Exception error(f.message);
    for (int64_t i = 0; i < f.lines; ++i) FailLine(f.first_line + i, error);
  }
  int error_number = 0;
  const std::string source_error = writer_->SourceError(&error_number);
  if (error_number != 0) throw EReadError(source_error);  // the message names the file
  if (!source_error.empty()) {
    throw EReadError("Cannot read file \"" + source_name_ + "\". " + source_error);
  }
}

void TFileSplitter::AfterLoop() {
  // A source of header lines alone still gives one piece: its header.
  if (FileCount == 0 && !header_.empty() && !Stopped && !has_line_) {
    OpenNextFile();
    lines_left_in_file_ = 0;
    if (output_) {
      last_line_in_file_ = LineIndex - 1;
    }
  }
  // No piece is started after the loop: those made ahead go.
  if (pieces_) pieces_->Finish();
  CloseOutput();
  output_folder_->FinishEmptying();
  writer_->Drain();
  RecordWriteFailures();
  ReleaseSource();
  finished_ = true;
  Status().Done = writer_->Confirmed();
  if (has_line_ || Stopped) return;  // stopped before the end, or beyond a known total
  // The whole source went through: its count is known now. It is kept only
  // while the open file is still what it was when opened.
  if (IsTotalUnknown()) Status().Total = LineIndex;
  const FileInfo now = source_->Info();
  if (now.exists && now.size == source_info_.size && now.mtime_ns == source_info_.mtime_ns) {
    TFileLineCountCache::Store(source_name_, source_info_,
                               LineIndex + header_lines_ + extra_lines_);
  }
}

void TFileSplitter::Close() {
  if (pieces_) pieces_->Finish();
  pieces_.reset();
  if (writer_) {
    // The run ended by an exception: keep what was assembled, quietly.
    if (output_) {
      if (range_size_ > 0) {
        writer_->Copy(output_, file_first_line_, source_, range_offset_, range_size_,
                      range_first_line_, last_line_in_file_ - range_first_line_ + 1);
      }
      if (buffer_.size > 0) writer_->Write(output_, file_first_line_, std::move(buffer_));
      writer_->Close(output_, file_first_line_, last_line_in_file_);
    }
    writer_->Drain();
    writer_.reset();
    if (!finished_) RemoveUnfilledPieces();
  }
  taken_.clear();
  held_ = false;
  finished_ = false;
  range_size_ = 0;
  output_.reset();
  buffer_ = TOutputWriter::Buffer();
  if (reader_) reader_->Close();
  reader_.reset();
  source_.reset();
  recent_task_list_.reset();
  task_desc_.reset();
  output_folder_.reset();
}

}  // namespace lorvant
