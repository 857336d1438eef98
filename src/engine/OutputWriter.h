// Writes the splitter's output buffers on a second thread, strictly in the
// order they were queued, so the kernel's copying overlaps with reading and
// assembling the next lines. Failures come back to the splitter's thread as
// line ranges, which then fail as record errors there.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "os/Env.h"

namespace lorvant {

class TOutputWriter {
 public:
  static constexpr size_t kBufferSize = 1 << 20;
  static constexpr int kBufferCount = 4;

  // Bytes of whole lines for one output file.
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

  TOutputWriter();
  // Waits for queued work, then ends the thread.
  ~TOutputWriter();
  TOutputWriter(const TOutputWriter&) = delete;
  TOutputWriter& operator=(const TOutputWriter&) = delete;

  // An empty buffer of at least `capacity` bytes; waits while every pooled
  // buffer is queued.
  Buffer TakeBuffer(size_t capacity = kBufferSize);
  // Queues buffer's bytes to be appended to file.
  void Write(const std::shared_ptr<WritableFile>& file, Buffer buffer);
  // Queues closing file; a failure is charged to line `line`.
  void Close(const std::shared_ptr<WritableFile>& file, int64_t line);
  // Waits until everything queued is done.
  void Drain();
  // The failures since the last call, in order.
  std::vector<Failure> TakeFailures();

 private:
  struct Job {
    std::shared_ptr<WritableFile> file;
    Buffer buffer;
    bool close = false;
    int64_t line = 0;
  };

  void Loop();
  void Recycle(Buffer buffer);

  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable progress_;
  std::deque<Job> jobs_;
  std::vector<Buffer> free_;
  int buffers_made_ = 0;
  bool busy_ = false;
  bool quit_ = false;
  std::vector<Failure> failures_;
  std::thread thread_;
};

}  // namespace lorvant
