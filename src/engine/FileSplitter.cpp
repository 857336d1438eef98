#include "engine/FileSplitter.h"

#include <algorithm>
#include <cstring>

#include "base/RunMode.h"
#include "engine/TimeUtil.h"
#include "fs/AppFolders.h"
#include "fs/FileUtil.h"
#include "fs/OutputFolder.h"
#include "log/Log.h"
#include "tasks/FileSplitSession.h"
#include "tasks/TaskDesc.h"
#include "tasks/TaskMRUList.h"
#include "textio/BlockTextReader.h"
#include "textio/CharsetUtil.h"
#include "textio/FileLineCountCache.h"

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
  if (TrimText(session.DestFolder).empty()) throw Exception("The output folder is not set.");
  max_lines_ = session.MaxLines;
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
  LineIndex = 0;
  FileCount = 0;
  lines_left_in_file_ = 0;
  file_error_.clear();
  output_.reset();
  // A missing or unreadable source fails here, before the folder is touched.
  reader_ = std::make_unique<TBlockTextReader>();
  reader_->Open(session.SourceFile);
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
  // The count reads the whole source: do it while the folder is emptied.
  line_count_ = std::async(std::launch::async, [name = session.SourceFile] {
    return TFileLineCountCache::GetLineCount(name);
  });
  writer_ = std::make_unique<TOutputWriter>();
  PrepareOutputFolder();
  has_line_ = reader_->ReadLine();
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

void TFileSplitter::PrepareOutputFolder() { output_folder_->Prepare({source_info_}); }

void TFileSplitter::CountTotal() {
  LineTotal = line_count_.valid() ? line_count_.get()
                                  : TFileLineCountCache::GetLineCount(SplitSession().SourceFile);
  Status().Total = LineTotal;
}

void TFileSplitter::Next() {
  has_line_ = reader_->ReadLine();
  ++LineIndex;
}

void TFileSplitter::ConvertOneRecord() {
  try {
    WriteLine();
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
  OutputFileName = dest_folder_ + "/" + std::to_string(FileCount) + SourceExt;
  try {
    output_ = output_folder_->CreatePiece(std::to_string(FileCount) + SourceExt, OutputFileName,
                                          source_info_);
  } catch (const Exception& e) {
    file_error_ = e.Message();
    return;
  }
  if (!buffer_.data) buffer_ = writer_->TakeBuffer();
  std::memcpy(buffer_.data.get(), SourceBom.data(), SourceBom.size());
  buffer_.size = SourceBom.size();
  buffer_.lines = 0;
}

void TFileSplitter::WriteLine() {
  if (lines_left_in_file_ == 0) OpenNextFile();
  --lines_left_in_file_;
  const bool last_in_file = lines_left_in_file_ == 0 || LineIndex + 1 == LineTotal;
  if (!output_) {
    // The file could not be made: its lines have nowhere to go.
    if (last_in_file) lines_left_in_file_ = 0;
    throw Exception(file_error_);
  }
  const std::string_view line = reader_->CurrentBytes();
  const size_t need = line.size() + line_end_.size();
  if (buffer_.size + need > buffer_.capacity) {
    HandOff();
    buffer_ = writer_->TakeBuffer(need);
  }
  if (buffer_.lines == 0) buffer_.first_line = LineIndex;
  char* p = buffer_.data.get() + buffer_.size;
  std::memcpy(p, line.data(), line.size());
  std::memcpy(p + line.size(), line_end_.data(), line_end_.size());
  buffer_.size += need;
  ++buffer_.lines;
  if (last_in_file) {
    lines_left_in_file_ = 0;
    CloseOutput();
  }
}

void TFileSplitter::HandOff() {
  if (buffer_.size > 0) {
    writer_->Write(output_, std::move(buffer_));
    buffer_ = TOutputWriter::Buffer();
  }
  RecordWriteFailures();
}

void TFileSplitter::CloseOutput() {
  if (!output_) return;
  const int64_t last_line = buffer_.lines > 0 ? buffer_.first_line + buffer_.lines - 1 : LineIndex;
  HandOff();
  writer_->Close(output_, last_line);
  output_.reset();
}

void TFileSplitter::RecordWriteFailures() {
  for (const TOutputWriter::Failure& f : writer_->TakeFailures()) {
    const Exception error(f.message);
    for (int64_t i = 0; i < f.lines; ++i) FailLine(f.first_line + i, error);
  }
}

void TFileSplitter::AfterLoop() {
  CloseOutput();
  writer_->Drain();
  RecordWriteFailures();
  // Failures reported after the last record change what is done.
  Status().Done = std::max<int64_t>(0, LineIndex - Status().ErrorCount);
}

void TFileSplitter::Close() {
  if (reader_) reader_->Close();
  if (writer_) {
    // The run ended by an exception: keep what was assembled, quietly.
    if (output_) {
      if (buffer_.size > 0) writer_->Write(output_, std::move(buffer_));
      writer_->Close(output_, LineIndex);
    }
    writer_->Drain();
    writer_.reset();
  }
  output_.reset();
  buffer_ = TOutputWriter::Buffer();
  if (line_count_.valid()) line_count_.wait();
  line_count_ = std::future<int64_t>();
  reader_.reset();
  recent_task_list_.reset();
  task_desc_.reset();
  output_folder_.reset();
}

}  // namespace lorvant
