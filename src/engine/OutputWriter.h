// Writes the splitter's pieces on a second thread, strictly in the order
// the work was queued, so the kernel's copying overlaps with scanning the
// next lines. Work is a buffer of bytes, a byte range of the source for the
// kernel to copy, or closing a piece. The thread settles each line's fate:
// a line is done once its bytes are written (the last line of a piece once
// the piece is closed), or failed, exactly once; failures come back to the
// splitter's thread as line ranges that fail there as record errors.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/WriteBackQueue.h"
#include "os/Env.h"

namespace lorvant {

class TOutputWriter {
 public:
  static constexpr size_t kBufferSize = 1 << 20;
  // Deep enough to ride out the kernel throttling writes to a slow disk.
  static constexpr int kBufferCount = 16;
  // Source bytes queued for copying at most: the copies stay close behind
  // the scan, while the bytes are still in the page cache.
  static constexpr int64_t kCopyLag = 4 << 20;

  // Bytes for one piece: lines first_line .. first_line + lines - 1, the
  // first and the last possibly only in part.
  struct Buffer {
    std::unique_ptr<char[]> data;
    size_t capacity = 0;
    size_t size = 0;
    int64_t first_line = 0;  // 0-based index of its first line
    int64_t lines = 0;
  };

  // Lines whose bytes are not known to be on disk.
  struct Failure {
    int64_t first_line;
    int64_t lines;
    std::string message;
  };

  // With write_back_early, each piece is handed to storage as it is closed:
  // when memory is short, dirty pieces would otherwise hold up the reading.
  // With memory to spare it only adds work to the run.
  explicit TOutputWriter(bool write_back_early = false);
  // Waits for queued work, then ends the thread.
  ~TOutputWriter();
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  // An empty pooled buffer; waits while every pooled buffer is queued.
  Buffer TakeBuffer();
  // Queues buffer's bytes to be appended to file, whose first line is
  // file_first_line. The buffer returns to the pool afterwards.
  void Write(const std::shared_ptr<WritableFile>& file, int64_t file_first_line, Buffer buffer);
  // Queues appending `size` bytes of source from offset to file; they hold
  // `lines` lines from first_line (the first and last possibly in part).
  // Waits while more than kCopyLag bytes are queued.
  void Copy(const std::shared_ptr<WritableFile>& file, int64_t file_first_line,
            const std::shared_ptr<SequentialFile>& source, int64_t offset, int64_t size,
            int64_t first_line, int64_t lines);
  // Queues closing file, whose last line is last_line.
  void Close(const std::shared_ptr<WritableFile>& file, int64_t file_first_line, int64_t last_line);
  // Waits until everything queued is done.
  void Drain();
  // The failures since the last call, in order.
  std::vector<Failure> TakeFailures();
  // Lines known to be written, so far; never falls.
  int64_t Confirmed() const { return confirmed_.load(std::memory_order_relaxed); }
  // Whether a copy found its source bytes no longer in memory.
  bool CopiesMissedMemory() const { return copies_missed_.load(std::memory_order_relaxed); }
  // Why reading the source for a copy failed ("" when it did not), and the
  // system's error number (0 when the message does not name the file yet).
  std::string SourceError(int* error_number);

 private:
  enum class Kind { kWrite, kCopy, kClose };
  struct Job {
    Kind kind = Kind::kWrite;
    std::shared_ptr<WritableFile> file;
    int64_t file_first_line = 0;
    Buffer buffer;                           // kWrite
    std::shared_ptr<SequentialFile> source;  // kCopy
    int64_t offset = 0;
    int64_t size = 0;
    int64_t first_line = 0;  // kCopy, or the last line for kClose
    int64_t lines = 0;
  };

  // Queues job of kind for file.
  void Push(Kind kind, const std::shared_ptr<WritableFile>& file, int64_t file_first_line, Job job);
  void Loop();
  // Does one job; returns the failure's message ("" for none).
  std::string Perform(Job& job);
  void CopyRange(Job& job);
  // Settles lines below `end` that are not settled yet as written.
  void ConfirmBelow(int64_t end);
  // Settles lines from..end-1 not settled yet as failed.
  void FailRange(int64_t from, int64_t end, const std::string& message);

  // Set when pieces go to storage early; the writer thread adds to it.
  const std::unique_ptr<TWriteBackQueue> write_backs_;

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable progress_;
  std::deque<Job> jobs_;
  std::vector<Buffer> free_;
  int buffers_made_ = 0;
  int64_t queued_copy_bytes_ = 0;
  bool busy_ = false;
  bool quit_ = false;
  std::vector<Failure> failures_;
  std::string source_error_;
  int source_errno_ = 0;

  // Owned by the writer thread.
  int64_t settled_ = 0;  // every line below is written or failed
  bool kernel_copies_ = true;
  std::unique_ptr<char[]> scratch_;
  std::atomic<int64_t> confirmed_{0};
  std::atomic<bool> copies_missed_{false};

  std::thread thread_;
};

}  // namespace lorvant
