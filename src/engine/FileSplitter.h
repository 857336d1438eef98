// Splits the source file of a split task into numbered files of at most
// MaxLines lines in the output folder. Each output file starts with the
// source's mark and holds the source's line bytes unchanged, each followed
// by CR LF in the source's encoding. Many lines go out per write, on a
// writer thread, while the next lines are read.
#pragma once

#include <cstdint>
#include <future>
#include <memory>
#include <string>

#include "engine/IterativeConverter.h"
#include "engine/OutputWriter.h"
#include "os/Env.h"

namespace lorvant {

class TBlockTextReader;
class TOutputFolder;
class TFileSplitSession;
class TTaskDesc;
class TTaskMRUList;

class TFileSplitter final : public TIterativeConverter {
 public:
  static constexpr int32_t kMaxLinesLimit = 1000000000;

  TFileSplitter();
  ~TFileSplitter() override;

  std::string SourceExt;  // with its dot, or ""
  std::string SourceBom;  // mark bytes of the source
  int64_t FileCount = 0;  // output files created in this run
  int64_t LineTotal = 0;  // lines to write, from the line-count cache
  int64_t LineIndex = 0;  // 0-based index of the current line
  std::string OutputFileName;

  // The session as a split task; throws EInvalidCast for another kind.
  TFileSplitSession& SplitSession() const;

 protected:
  friend class TIterativeConverter;  // its loop calls the steps directly

  // Refuses a task with lines per file outside 1..1000000000, or without an
  // output folder or with a protected folder as one (TOutputFolder), before
  // touching anything; records the recent task (windowed runs only); opens
  // the source; empties or creates the output folder; reads the first line.
  void Prepare() override;
  // Writes out what is buffered and closes the current output file, so
  // every failure is recorded before the run's end is reported.
  void AfterLoop() override;
  void Close() override;
  bool HasNext() override { return has_line_ && LineIndex < LineTotal; }
  void Next() override;
  void ConvertOneRecord() override;
  void CountTotal() override;
  int64_t CurrentRecordNumber() override { return LineIndex + 1; }
  void RunLoop() override { RunLoopFor(*this); }

 private:
  void RecordRecentTask();
  void PrepareOutputFolder();
  // Appends the current line to the current output file, opening the next
  // file first when needed. Throws for this line's failure only.
  void WriteLine();
  void OpenNextFile();
  // Queues the buffer for writing; its lines fail if the write does.
  void HandOff();
  // Queues the rest of the current output file and its closing.
  void CloseOutput();
  // Turns failed writes reported so far into record errors.
  void RecordWriteFailures();
  // Counts line index as failed with error.
  void FailLine(int64_t index, const Exception& error);

  std::unique_ptr<TBlockTextReader> reader_;
  std::unique_ptr<TTaskDesc> task_desc_;
  std::unique_ptr<TTaskMRUList> recent_task_list_;
  std::unique_ptr<TOutputFolder> output_folder_;
  std::unique_ptr<TOutputWriter> writer_;
  std::shared_ptr<WritableFile> output_;
  TOutputWriter::Buffer buffer_;
  std::future<int64_t> line_count_;  // counted while the folder is prepared
  std::string dest_folder_;
  FileInfo source_info_;
  std::string line_end_;  // CR LF in the source's encoding
  bool has_line_ = false;
  int64_t max_lines_ = 0;
  int64_t lines_left_in_file_ = 0;
  std::string file_error_;  // why the current output file could not be made
};

}  // namespace lorvant
