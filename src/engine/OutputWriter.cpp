#include "engine/OutputWriter.h"

#include "base/Exception.h"

namespace lorvant {

TOutputWriter::TOutputWriter() : thread_([this] { Loop(); }) {}

TOutputWriter::~TOutputWriter() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    quit_ = true;
  }
  work_ready_.notify_one();
  thread_.join();
}

TOutputWriter::Buffer TOutputWriter::TakeBuffer(size_t capacity) {
  Buffer buffer;
  if (capacity > kBufferSize) {  // a line longer than a buffer: one of its own
    buffer.data = std::make_unique<char[]>(capacity);
    buffer.capacity = capacity;
    return buffer;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  if (free_.empty() && buffers_made_ < kBufferCount) {
    ++buffers_made_;
    lock.unlock();
    buffer.data = std::make_unique<char[]>(kBufferSize);
    buffer.capacity = kBufferSize;
    return buffer;
  }
  progress_.wait(lock, [this] { return !free_.empty(); });
  buffer = std::move(free_.back());
  free_.pop_back();
  buffer.size = 0;
  buffer.lines = 0;
  return buffer;
}

void TOutputWriter::Write(const std::shared_ptr<WritableFile>& file, Buffer buffer) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(Job{file, std::move(buffer), false, 0});
  }
  work_ready_.notify_one();
}

void TOutputWriter::Close(const std::shared_ptr<WritableFile>& file, int64_t line) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(Job{file, Buffer(), true, line});
  }
  work_ready_.notify_one();
}

void TOutputWriter::Drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  progress_.wait(lock, [this] { return jobs_.empty() && !busy_; });
}

std::vector<TOutputWriter::Failure> TOutputWriter::TakeFailures() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Failure> taken;
  taken.swap(failures_);
  return taken;
}

void TOutputWriter::Recycle(Buffer buffer) {
  if (buffer.capacity == kBufferSize) free_.push_back(std::move(buffer));
}

void TOutputWriter::Loop() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    work_ready_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
    if (jobs_.empty()) return;  // quit with nothing left to do
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    busy_ = true;
    lock.unlock();
    std::string error;
    try {
      if (job.close) {
        job.file->Close();
      } else if (job.buffer.size > 0) {
        job.file->Append(job.buffer.data.get(), job.buffer.size);
      }
    } catch (const std::exception& e) {
      error = e.what();
    }
    job.file.reset();
    lock.lock();
    if (!error.empty()) {
      if (job.close) {
        failures_.push_back(Failure{job.line, 1, error});
      } else {
        failures_.push_back(Failure{job.buffer.first_line, job.buffer.lines, error});
      }
    }
    if (job.buffer.data) Recycle(std::move(job.buffer));
    busy_ = false;
    progress_.notify_all();
  }
}

}  // namespace lorvant
