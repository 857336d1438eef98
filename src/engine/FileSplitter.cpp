#include "engine/FileSplitter.h"

#include <cstring>

#include "engine/TimeUtil.h"
#include "infra/FileUtil.h"
#include "infra/Log.h"
#include "infra/RunMode.h"
#include "infra/SystemUtil.h"
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
  if (session.MaxLines < 1) {
    throw Exception("Max lines per split file must be at least 1, not " +
                    std::to_string(session.MaxLines) + ".");
  }
  if (TrimText(session.DestFolder).empty()) throw Exception("The output folder is not set.");
  max_lines_ = session.MaxLines;
  dest_folder_ = session.DestFolder;
  while (dest_folder_.size() > 1 && dest_folder_.back() == '/') dest_folder_.pop_back();

  task_desc_ = std::make_unique<TTaskDesc>();
  recent_task_list_ = std::make_unique<TTaskMRUList>(RecentTaskListFile());
  if (IsWindowedRun()) RecordRecentTask();

  SourceExt = ExtractFileExt(session.SourceFile);
  SourceBom = GetFileBOM(session.SourceFile);
  reader_ = std::make_unique<TBlockTextReader>();

  LineIndex = 0;
  FileCount = 0;
  lines_left_in_file_ = 0;
  file_error_.clear();
  buffered_ = 0;
  buffered_lines_ = 0;
  output_.reset();
  reader_->Open(session.SourceFile);
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
  source_info_ = Env::Default()->Stat(session.SourceFile);
  PrepareOutputFolder();
  has_line_ = reader_->ReadLine();
  if (!buffer_) buffer_ = std::make_unique<char[]>(kOutputBufferSize);
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
  if (DirectoryExists(dest_folder_)) {
    ClearDirectory(dest_folder_, {source_info_});
    return;
  }
  ForceFolder(dest_folder_);
  // Without the folder every line would fail on its own; say it once.
  if (!DirectoryExists(dest_folder_)) {
    throw Exception("Cannot create folder \"" + dest_folder_ + "\".");
  }
}

void TFileSplitter::CountTotal() {
  LineTotal = TFileLineCountCache::GetLineCount(SplitSession().SourceFile);
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
    FileInfo target = Env::Default()->Stat(OutputFileName);
    if (target.exists && target.device == source_info_.device &&
        target.inode == source_info_.inode) {
      throw Exception("Output file \"" + OutputFileName + "\" is the source file itself.");
    }
    output_ = Env::Default()->CreateFile(OutputFileName);
    buffered_first_line_ = LineIndex;
    buffered_lines_ = 0;
    std::memcpy(buffer_.get(), SourceBom.data(), SourceBom.size());
    buffered_ = SourceBom.size();
  } catch (const Exception& e) {
    file_error_ = e.Message();
  }
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
  std::string_view line = reader_->CurrentBytes();
  const size_t need = line.size() + line_end_.size();
  if (buffered_ + need > kOutputBufferSize) Flush();
  if (need > kOutputBufferSize) {
    // A line longer than the buffer goes out on its own.
    try {
      output_->Append(line.data(), line.size());
      output_->Append(line_end_.data(), line_end_.size());
    } catch (const Exception&) {
      if (last_in_file) CloseOutput();
      throw;
    }
  } else {
    if (buffered_lines_ == 0) buffered_first_line_ = LineIndex;
    char* p = buffer_.get() + buffered_;
    std::memcpy(p, line.data(), line.size());
    std::memcpy(p + line.size(), line_end_.data(), line_end_.size());
    buffered_ += need;
    ++buffered_lines_;
  }
  if (last_in_file) {
    lines_left_in_file_ = 0;
    CloseOutput();
  }
}

void TFileSplitter::Flush() {
  if (!output_ || buffered_ == 0) return;
  try {
    output_->Append(buffer_.get(), buffered_);
  } catch (const Exception& e) {
    // None of these lines is known to be on disk: all of them fail.
    for (int64_t i = 0; i < buffered_lines_; ++i) FailLine(buffered_first_line_ + i, e);
  }
  buffered_ = 0;
  buffered_lines_ = 0;
}

void TFileSplitter::CloseOutput() {
  if (!output_) return;
  const int64_t last_line = buffered_lines_ > 0 ? buffered_first_line_ + buffered_lines_ - 1
                                                : LineIndex;
  Flush();
  try {
    output_->Close();
  } catch (const Exception& e) {
    FailLine(last_line, e);
  }
  output_.reset();
}

void TFileSplitter::AfterLoop() { CloseOutput(); }

void TFileSplitter::Close() {
  if (reader_) reader_->Close();
  if (output_) {
    // The run ended by an exception: keep what was buffered, quietly.
    try {
      if (buffered_ > 0) output_->Append(buffer_.get(), buffered_);
      output_->Close();
    } catch (const Exception&) {
    }
    output_.reset();
  }
  buffered_ = 0;
  buffered_lines_ = 0;
  reader_.reset();
  recent_task_list_.reset();
  task_desc_.reset();
}

}  // namespace lorvant
