// The split engine under faults: lines longer than the output buffers, a
// piece whose writes and close fail, a source that cannot be read, the
// source reached through a link inside the output folder, and the totals a
// run starts with and leaves in the line-count cache.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "engine/FileSplitSessionExecutor.h"
#include "engine/FileSplitter.h"
#include "engine/LogConvertOutputer.h"
#include "log/Log.h"
#include "support/RunLorvant.h"
#include "support/TestEnv.h"
#include "tasks/FileSplitSession.h"
#include "textio/FileLineCountCache.h"

namespace lorvant {
namespace {

// A log outputer that also keeps what the run reported along the way.
class RecordingOutputer : public TLogConvertOutputer {
 public:
  int64_t total_at_begin = 0;
  std::vector<int64_t> done;

 protected:
  void HandleBegin() override { total_at_begin = Status->Total; }
  void HandleProgress() override { done.push_back(Status->Done); }
};

// Output files whose name ends in `suffix` fail their writes and/or their
// close with an I/O error.
class FailingPieceEnv : public EnvWrapper {
 public:
  FailingPieceEnv(std::string suffix, bool fail_append, bool fail_close)
      : EnvWrapper(Env::Default()),
        suffix_(std::move(suffix)),
        fail_append_(fail_append),
        fail_close_(fail_close) {}

  std::unique_ptr<WritableFile> CreateFileAt(int dir, const std::string& name, bool exclusive,
                                             unsigned mode, const std::string& shown) override {
    std::unique_ptr<WritableFile> real = target()->CreateFileAt(dir, name, exclusive, mode, shown);
    if (!shown.ends_with(suffix_)) return real;
    struct File : WritableFile {
      std::unique_ptr<WritableFile> real;
      bool fail_append, fail_close;
      void Append(const char* data, size_t n) override {
        if (fail_append) throw EWriteError("Cannot write to file. Input/output error");
        real->Append(data, n);
      }
      void Sync() override { real->Sync(); }
      void Close() override {
        real->Close();
        if (fail_close) throw EWriteError("Cannot close file. Input/output error");
      }
    };
    auto file = std::make_unique<File>();
    file->real = std::move(real);
    file->fail_append = fail_append_;
    file->fail_close = fail_close_;
    return file;
  }

 private:
  std::string suffix_;
  bool fail_append_, fail_close_;
};

// The file `name` cannot be opened (open_fails) or fails every read after
// its first `good_bytes` bytes.
class FailingSourceEnv : public EnvWrapper {
 public:
  FailingSourceEnv(std::string name, bool open_fails, size_t good_bytes)
      : EnvWrapper(Env::Default()),
        name_(std::move(name)),
        open_fails_(open_fails),
        good_bytes_(good_bytes) {}

  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    if (name != name_) return target()->OpenForRead(name);
    if (open_fails_) throw EFOpenError(name, "Permission denied");
    struct File : SequentialFile {
      std::unique_ptr<SequentialFile> real;
      size_t left;
      size_t Read(char* buf, size_t n) override {
        if (left == 0) throw EReadError("Stream read error: Input/output error");
        size_t r = real->Read(buf, std::min(n, left));
        left -= r;
        return r;
      }
      FileInfo Info() override { return real->Info(); }
    };
    auto file = std::make_unique<File>();
    file->real = target()->OpenForRead(name);
    file->left = good_bytes_;
    return file;
  }

 private:
  std::string name_;
  bool open_fails_;
  size_t good_bytes_;
};

// Runs fn on its own thread; a run that does not end within the time-out
// is a hang, which would otherwise stall the whole test binary.
void WithinTimeout(const std::function<void()>& fn, int seconds = 120) {
  auto done = std::async(std::launch::async, fn);
  if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::timeout) {
    std::fprintf(stderr, "hung: no end after %d s\n", seconds);
    std::abort();
  }
  done.get();
}

class FileSplitterFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("faults");
    session_.SourceFile = dir_ + "/src.txt";
    session_.DestFolder = dir_ + "/out";
    executor_.SetSession(&session_);
    executor_.SetOutputer(&outputer_);
    outputer_.SetLogFileName(dir_ + "/run.log");
  }

  void WriteSource(const std::string& bytes) {
    source_ = bytes;
    test::WriteBytes(session_.SourceFile, bytes);
  }

  std::string Piece(int n) { return test::ReadBytes(dir_ + "/out/" + std::to_string(n) + ".txt"); }
  TConvertStatus& Status() { return executor_.Converter->Status(); }

  std::string dir_, source_;
  TFileSplitSession session_;
  RecordingOutputer outputer_;
  TFileSplitSessionExecutor executor_;
};

std::string NumberedLines(int n, const char* end = "\n") {
  std::string s;
  for (int i = 1; i <= n; ++i) s += "line " + std::to_string(i) + end;
  return s;
}

TEST_F(FileSplitterFaultsTest, PiecesStartingWithLinesLongerThanABufferNeverHang) {
  struct Case {
    size_t long_line;
    int pieces;
    int lines_per_piece;  // the first of each is long, the others short
    const char* end;
  };
  const Case cases[] = {
      {(3 << 20) / 2, 6, 1, "\n"},
      {(11 << 20) / 10, 6, 10, "\n"},
      {(11 << 20) / 10, 6, 10, "\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.lines_per_piece) + " lines per piece");
    std::string source, expected_first;
    for (int p = 0; p < c.pieces; ++p) {
      source += "{\"n\":" + std::to_string(p) + ",\"pad\":\"" + std::string(c.long_line, 'x') +
                "\"}" + c.end;
      for (int k = 1; k < c.lines_per_piece; ++k) source += std::string("{}") + c.end;
    }
    WriteSource(source);
    session_.MaxLines = c.lines_per_piece;
    WithinTimeout([&] { EXPECT_TRUE(executor_.Execute()); });
    EXPECT_EQ(Status().ErrorCount, 0);
    EXPECT_EQ(Status().Done, c.pieces * c.lines_per_piece);
    std::string joined;
    for (int p = 1; p <= c.pieces; ++p) joined += Piece(p);
    std::string expected = source;
    if (std::string(c.end) == "\n") {
      expected.clear();
      for (char ch : source) expected += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    }
    EXPECT_TRUE(joined == expected) << "pieces differ from the source's lines";
  }
}

TEST_F(FileSplitterFaultsTest, ALineFailsAtMostOnce) {
  WriteSource(NumberedLines(10));
  session_.MaxLines = 4;
  struct Case {
    const char* name;
    bool fail_append, fail_close;
    int64_t errors;
    const char* last_error;
  };
  const Case cases[] = {
      {"write and close fail", true, true, 4, "Serial: 4\r\n"},
      {"write fails", true, false, 4, "Serial: 4\r\n"},
      {"close fails: the piece's last line", false, true, 1, "Serial: 4\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::remove((dir_ + "/run.log").c_str());
    FailingPieceEnv env("/1.txt", c.fail_append, c.fail_close);
    {
      ScopedEnv scoped(&env);
      EXPECT_TRUE(executor_.Execute());
    }
    EXPECT_EQ(Status().ErrorCount, c.errors);
    EXPECT_EQ(Status().Done, 10 - c.errors);
    EXPECT_EQ(Status().ErrorText.rfind(c.last_error, 0), 0u) << Status().ErrorText;
    std::vector<std::string> entries = test::LogEntries(dir_ + "/run.log");
    EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                            [](const std::string& e) { return e.starts_with("Serial: 4\r\n"); }),
              1);
    EXPECT_EQ(Piece(2), "line 5\r\nline 6\r\nline 7\r\nline 8\r\n");
  }
}

TEST_F(FileSplitterFaultsTest, DoneNeverFalls) {
  for (const char* end : {"\n", "\r\n"}) {  // buffers, and ranges the kernel copies
    SCOPED_TRACE(end[0] == '\r' ? "CR LF" : "LF");
    WriteSource(NumberedLines(300000, end));
    session_.MaxLines = 100000;
    outputer_.done.clear();
    FailingPieceEnv env("/1.txt", true, false);
    {
      ScopedEnv scoped(&env);
      EXPECT_TRUE(executor_.Execute());
    }
    ASSERT_FALSE(outputer_.done.empty());
    EXPECT_TRUE(std::is_sorted(outputer_.done.begin(), outputer_.done.end()));
    EXPECT_LE(outputer_.done.back(), 200000);
    EXPECT_EQ(Status().Done, 200000);
    EXPECT_EQ(Status().ErrorCount, 100000);
    EXPECT_EQ(Status().Total, 300000);
  }
}

// The source's copies cannot be read past `good_bytes` (the scan reads it
// all): the copies of later pieces fail.
class FailingCopiesEnv : public EnvWrapper {
 public:
  FailingCopiesEnv(std::string name, int64_t good_bytes)
      : EnvWrapper(Env::Default()), name_(std::move(name)), good_bytes_(good_bytes) {}

  std::unique_ptr<SequentialFile> OpenForRead(const std::string& name) override {
    if (name != name_) return target()->OpenForRead(name);
    return std::make_unique<File>(target()->OpenForRead(name), good_bytes_);
  }

 private:
  struct File : SequentialFile {
    File(std::unique_ptr<SequentialFile> real, int64_t good) : real(std::move(real)), good(good) {}
    size_t Read(char* buf, size_t n) override { return real->Read(buf, n); }
    FileInfo Info() override { return real->Info(); }
    bool SupportsReadAt() const override { return true; }
    size_t ReadAt(char* buf, size_t n, int64_t offset) override {
      if (offset + static_cast<int64_t>(n) > good) throw EReadError("src.txt", EIO);
      return real->ReadAt(buf, n, offset);
    }
    bool Hold() override { return true; }
    bool HoldWanted() override { return false; }
    std::unique_ptr<SequentialFile> real;
    int64_t good;
  };
  std::string name_;
  int64_t good_bytes_;
};

// A run that fails leaves no piece without a line: pieces whose copies
// could not be read go.
TEST_F(FileSplitterFaultsTest, AFailedRunLeavesNoEmptyPiece) {
  WriteSource(NumberedLines(20000, "\r\n"));
  session_.MaxLines = 100;
  FailingCopiesEnv env(session_.SourceFile, static_cast<int64_t>(source_.size() / 2));
  {
    ScopedEnv scoped(&env);
    EXPECT_FALSE(executor_.Execute());
  }
  int pieces = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_ + "/out")) {
    ++pieces;
    EXPECT_GT(e.file_size(), 0u) << e.path();
  }
  EXPECT_GT(pieces, 0);
}

TEST_F(FileSplitterFaultsTest, AFailedReadFailsTheRunAndLeavesNothingInTheCache) {
  WriteSource(NumberedLines(200000));  // bigger than one read
  session_.MaxLines = 1000;
  TLog::DebugLog()->Clear();
  FailingSourceEnv env(session_.SourceFile, false, 1 << 20);
  {
    ScopedEnv scoped(&env);
    EXPECT_FALSE(executor_.Execute());
  }
  const std::string message =
      "Cannot read file \"" + session_.SourceFile + "\". Stream read error: Input/output error";
  std::vector<std::string> entries = test::LogEntries(dir_ + "/run.log");
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back(), message);
  for (const std::string& e : entries) EXPECT_EQ(e.find(" records    Elapsed: "), e.npos) << e;
  EXPECT_NE(TLog::DebugLog()->GetText().find(message), std::string::npos);
  int64_t cached = 0;
  FileInfo info = Env::Default()->Stat(session_.SourceFile);
  EXPECT_FALSE(TFileLineCountCache::Lookup(session_.SourceFile, info, &cached));
}

// Another program rewrites the source in place (same size, other lines)
// when the split reaches piece `at`: synchronously when it may write at
// once, else on a thread of its own that waits until it may.
class RewritingEnv : public EnvWrapper {
 public:
  RewritingEnv(std::string source, std::string text, int at)
      : EnvWrapper(Env::Default()), source_(std::move(source)), text_(std::move(text)), at_(at) {}
  ~RewritingEnv() override { Join(); }

  std::unique_ptr<WritableFile> CreateFileAt(int dir, const std::string& name, bool exclusive,
                                             unsigned mode, const std::string& shown) override {
    if (++made_ == at_) {
      const int fd = ::open(source_.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
      if (fd >= 0) {
        Rewrite(fd);
      } else {
        EXPECT_EQ(errno, EWOULDBLOCK);
        rewriter_ = std::thread([this] { Rewrite(::open(source_.c_str(), O_WRONLY | O_CLOEXEC)); });
      }
    }
    return target()->CreateFileAt(dir, name, exclusive, mode, shown);
  }
  void Join() {
    if (rewriter_.joinable()) rewriter_.join();
  }

 private:
  void Rewrite(int fd) {
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pwrite(fd, text_.data(), text_.size(), 0), static_cast<ssize_t>(text_.size()));
    ::close(fd);
  }
  const std::string source_, text_;
  const int at_;
  std::atomic<int> made_{0};
  std::thread rewriter_;
};

// A source rewritten while it is split: the run fails naming the file, or
// every piece holds whole lines as the scan read them, never bytes read
// again from the file once it had changed.
TEST_F(FileSplitterFaultsTest, ASourceRewrittenDuringTheRunNeverTearsAPiece) {
  std::string old_text, new_text;
  for (int i = 1; i <= 60000; ++i) {
    old_text += "old line " + std::to_string(i) + std::string(i % 13, 'x') + "\r\n";
  }
  while (new_text.size() + 5 <= old_text.size()) new_text += "new\r\n";
  new_text += std::string(old_text.size() - new_text.size() - 2, 'n') + "\r\n";
  WriteSource(old_text);  // just written, so in memory: CR LF lines go out as copies
  session_.MaxLines = 5;
  RewritingEnv env(session_.SourceFile, new_text, 50);
  bool ok = false;
  {
    ScopedEnv scoped(&env);
    ok = executor_.Execute();
    env.Join();
  }
  if (!ok) {
    std::vector<std::string> entries = test::LogEntries(dir_ + "/run.log");
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.back(),
              "Cannot read file \"" + session_.SourceFile +
                  "\". It was changed by another program while it was being split.");
    return;
  }
  const int64_t pieces = std::distance(std::filesystem::directory_iterator(dir_ + "/out"),
                                       std::filesystem::directory_iterator());
  ASSERT_GT(pieces, 50);
  for (int64_t n = 1; n < pieces; ++n) {
    const std::string piece = Piece(static_cast<int>(n));
    size_t lines = 0;
    for (size_t at = piece.find("\r\n"); at != piece.npos; at = piece.find("\r\n", at + 2)) ++lines;
    ASSERT_EQ(lines, 5u) << "piece " << n << ": " << piece;
    ASSERT_TRUE(piece.ends_with("\r\n")) << "piece " << n;
  }
}

TEST_F(FileSplitterFaultsTest, TheTotalComesFromTheCacheOrSettlesAtTheEnd) {
  WriteSource(NumberedLines(1000));
  session_.MaxLines = 100;
  const FileInfo info = Env::Default()->Stat(session_.SourceFile);
  int64_t cached = 0;
  ASSERT_FALSE(TFileLineCountCache::Lookup(session_.SourceFile, info, &cached));

  // Nothing known: the run starts with an unknown total and reads once.
  const int64_t counts_before = TFileLineCountCache::CountsMade();
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(outputer_.total_at_begin, -1);
  EXPECT_EQ(Status().Total, 1000);
  EXPECT_EQ(Status().Done, 1000);
  EXPECT_EQ(TFileLineCountCache::CountsMade(), counts_before);
  // A clean run leaves its count in the cache: the next one starts with it.
  ASSERT_TRUE(TFileLineCountCache::Lookup(session_.SourceFile, info, &cached));
  EXPECT_EQ(cached, 1000);
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(outputer_.total_at_begin, 1000);
  EXPECT_EQ(Status().Total, 1000);

  // A total counted beforehand (as the split window does) serves as well.
  WriteSource(NumberedLines(250));
  EXPECT_EQ(TFileLineCountCache::GetLineCount(session_.SourceFile), 250);
  EXPECT_TRUE(executor_.Execute());
  EXPECT_EQ(outputer_.total_at_begin, 250);
  EXPECT_EQ(Status().Done, 250);
  EXPECT_EQ(executor_.Converter->FileCount, 3);
}

TEST_F(FileSplitterFaultsTest, ACountThatFailedIsNeverCached) {
  session_.MaxLines = 100;
  struct Case {
    const char* name;
    bool open_fails;
    int lines;  // a new size per case, so no case finds the last one's count
  };
  for (const Case& c : {Case{"open fails", true, 500}, Case{"read fails", false, 600}}) {
    SCOPED_TRACE(c.name);
    WriteSource(NumberedLines(c.lines));
    const int64_t counts_before = TFileLineCountCache::CountsMade();
    {
      FailingSourceEnv env(session_.SourceFile, c.open_fails, 10);
      ScopedEnv scoped(&env);
      EXPECT_EQ(TFileLineCountCache::GetLineCount(session_.SourceFile), 0);
    }
    // Readable again: counted afresh, and a split writes every line.
    EXPECT_EQ(TFileLineCountCache::GetLineCount(session_.SourceFile), c.lines);
    EXPECT_EQ(TFileLineCountCache::CountsMade(), counts_before + 2);
    EXPECT_TRUE(executor_.Execute());
    EXPECT_EQ(Status().Done, c.lines);
    EXPECT_EQ(executor_.Converter->FileCount, c.lines / 100);
  }
}

TEST_F(FileSplitterFaultsTest, PiecesAreTheSameWhereTheKernelCannotCopy) {
  std::string source;
  for (int i = 1; i <= 3000; ++i) source += "row " + std::to_string(i) + ",x\r\n";
  source += "last";
  WriteSource(source);
  session_.MaxLines = 700;
  std::string expected;
  for (int pass = 0; pass < 3; ++pass) {
    // Pass 1: the output files are the system's own, but wrapped: the
    // kernel copies nothing, the writer reads the ranges itself. Pass 2: the
    // source cannot be read at positions: its lines go out from buffers.
    FailingPieceEnv pieces("/no-such-piece", false, false);
    FailingSourceEnv whole_source(session_.SourceFile, false, SIZE_MAX);
    std::unique_ptr<ScopedEnv> scoped;
    if (pass == 1) scoped = std::make_unique<ScopedEnv>(&pieces);
    if (pass == 2) scoped = std::make_unique<ScopedEnv>(&whole_source);
    EXPECT_TRUE(executor_.Execute());
    EXPECT_EQ(Status().Done, 3001);
    std::string joined;
    for (int p = 1; p <= 5; ++p) joined += Piece(p);
    if (pass == 0) expected = joined;
    EXPECT_EQ(joined, source + "\r\n") << "pass " << pass;
  }
  // A source on another file system, where the kernel may refuse.
  if (test::PathExists("/dev/shm")) {
    const std::string other = "/dev/shm/lorvant-test-" + std::to_string(::getpid()) + ".txt";
    test::WriteBytes(other, source);
    session_.SourceFile = other;
    EXPECT_TRUE(executor_.Execute());
    std::remove(other.c_str());
    std::string joined;
    for (int p = 1; p <= 5; ++p) joined += Piece(p);
    EXPECT_EQ(joined, expected);
  }
}

TEST_F(FileSplitterFaultsTest, SourceThroughALinkInsideTheOutputFolder) {
  const std::string real = dir_ + "/real.txt";
  test::WriteBytes(real, NumberedLines(2000));
  session_.MaxLines = 500;
  session_.SourceFile = dir_ + "/out/link.txt";
  for (int run = 0; run < 20; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    ::mkdir((dir_ + "/out").c_str(), 0755);
    ::unlink(session_.SourceFile.c_str());
    ASSERT_EQ(::symlink(real.c_str(), session_.SourceFile.c_str()), 0);
    EXPECT_TRUE(executor_.Execute());
    EXPECT_EQ(Status().Done, 2000);
    EXPECT_EQ(Status().ErrorCount, 0);
    EXPECT_EQ(executor_.Converter->FileCount, 4);
    EXPECT_EQ(test::ReadBytes(real), NumberedLines(2000));
    EXPECT_FALSE(test::PathExists(session_.SourceFile));  // the link went as an entry
  }
}

}  // namespace
}  // namespace lorvant
