#include "engine/OutputWriter.h"

#include <algorithm>

#include "base/Exception.h"

namespace lorvant {

TOutputWriter::TOutputWriter(bool write_back_early)
    : write_backs_(write_back_early ? std::make_unique<TWriteBackQueue>() : nullptr),
      thread_([this] { Loop(); }) {}

TOutputWriter::~TOutputWriter() {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    quit_ = true;
  }
  work_ready_.notify_one();
  thread_.join();
}

TOutputWriter::Buffer TOutputWriter::TakeBuffer() {
  Buffer buffer;
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

void TOutputWriter::Push(Kind kind, const std::shared_ptr<WritableFile>& file,
                         int64_t file_first_line, Job job) {
  job.kind = kind;
  job.file = file;
  job.file_first_line = file_first_line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  work_ready_.notify_one();
}

void TOutputWriter::Write(const std::shared_ptr<WritableFile>& file, int64_t file_first_line,
                          Buffer buffer) {
  Job job;
  job.first_line = buffer.first_line;
  job.lines = buffer.lines;
  job.buffer = std::move(buffer);
  Push(Kind::kWrite, file, file_first_line, std::move(job));
}

void TOutputWriter::Copy(const std::shared_ptr<WritableFile>& file, int64_t file_first_line,
                         const std::shared_ptr<SequentialFile>& source, int64_t offset,
                         int64_t size, int64_t first_line, int64_t lines) {
  Job job;
  job.source = source;
  job.offset = offset;
  job.size = size;
  job.first_line = first_line;
  job.lines = lines;
  {
    std::unique_lock<std::mutex> lock(mutex_);
    progress_.wait(lock, [this] { return queued_copy_bytes_ <= kCopyLag; });
    queued_copy_bytes_ += size;
  }
  Push(Kind::kCopy, file, file_first_line, std::move(job));
}

void TOutputWriter::Close(const std::shared_ptr<WritableFile>& file, int64_t file_first_line,
                          int64_t last_line) {
  Job job;
  job.first_line = last_line;
  Push(Kind::kClose, file, file_first_line, std::move(job));
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

std::string TOutputWriter::SourceError(int* error_number) {
  std::lock_guard<std::mutex> lock(mutex_);
  *error_number = source_errno_;
  return source_error_;
}

void TOutputWriter::ConfirmBelow(int64_t end) {
  if (end > settled_) {
    confirmed_.fetch_add(end - settled_, std::memory_order_relaxed);
    settled_ = end;
  }
}

void TOutputWriter::FailRange(int64_t from, int64_t end, const std::string& message) {
  from = std::max(from, settled_);
  if (end <= from) return;  // every one of them has failed already
  settled_ = end;
  std::lock_guard<std::mutex> lock(mutex_);
  failures_.push_back(Failure{from, end - from, message});
}

void TOutputWriter::CopyRange(Job& job) {
  if (!job.source->InMemory(job.offset)) copies_missed_.store(true, std::memory_order_relaxed);
  int64_t offset = job.offset;
  int64_t left = job.size;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, 1 << 30));
    size_t n = kernel_copies_ ? job.file->CopyFrom(*job.source, offset, want) : 0;
    if (n == 0) {
      // The kernel cannot copy between these two: through our own buffer.
      kernel_copies_ = false;
      if (!scratch_) scratch_ = std::make_unique<char[]>(kBufferSize);
      n = job.source->ReadAt(scratch_.get(), std::min(want, kBufferSize), offset);
      if (n == 0) throw EReadError("Stream read error: the file is shorter than when scanned");
      job.file->Append(scratch_.get(), n);
    }
    offset += static_cast<int64_t>(n);
    left -= static_cast<int64_t>(n);
  }
}

std::string TOutputWriter::Perform(Job& job) {
  try {
    switch (job.kind) {
      case Kind::kWrite:
        job.file->Append(job.buffer.data.get(), job.buffer.size);
        break;
      case Kind::kCopy:
        CopyRange(job);
        break;
      case Kind::kClose:
        // A finished piece goes to storage now rather than in one late
        // burst: less dirty data holds up the pieces still to come.
        if (write_backs_) {
          std::unique_ptr<WriteBack> later = job.file->WriteBackLater();
          if (later) {
            write_backs_->Add(std::move(later));
          } else {
            job.file->StartWriteBack();
          }
        }
        job.file->Close();
        break;
    }
  } catch (const EReadError& e) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (source_error_.empty()) {
      source_error_ = e.Message();
      source_errno_ = e.ErrorNumber();
    }
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
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
    // Lines before a piece's first line that never reached this thread
    // (their piece could not be made) were failed by the splitter.
    settled_ = std::max(settled_, job.file_first_line);
    const std::string error = Perform(job);
    if (job.kind == Kind::kClose) {
      const int64_t last = job.first_line;
      if (error.empty()) {
        ConfirmBelow(last + 1);
      } else {
        ConfirmBelow(last);
        FailRange(last, last + 1, error);
      }
    } else if (error.empty()) {
      // The last line may go on in the next job, or fail when its piece is
      // closed: it stays open until then.
      ConfirmBelow(job.first_line + job.lines - 1);
    } else {
      ConfirmBelow(job.first_line);
      FailRange(job.first_line, job.first_line + job.lines, error);
    }
    job.file.reset();
    job.source.reset();
    lock.lock();
    if (job.kind == Kind::kCopy) queued_copy_bytes_ -= job.size;
    if (job.buffer.data) free_.push_back(std::move(job.buffer));
    busy_ = false;
    progress_.notify_all();
  }
}

}  // namespace lorvant
