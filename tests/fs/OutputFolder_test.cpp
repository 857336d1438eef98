#include "fs/OutputFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

void WritePiece(TOutputFolder& folder, const std::string& name, const std::string& data) {
  auto file = folder.CreatePiece(name, folder.Path() + "/" + name, FileInfo());
  file->Append(data.data(), data.size());
  file->Close();
}

// Holds the threads that call Wait until Open is called.
struct Gate {
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex);
    opened.wait(lock, [this] { return open; });
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      open = true;
    }
    opened.notify_all();
  }
  std::mutex mutex;
  std::condition_variable opened;
  bool open = false;
};

struct GateOpener {
  Gate& gate;
  ~GateOpener() { gate.Open(); }
};

// Keeps the emptier from clearing anything until opened, while old files
// serve as pieces as with the real Env: which old files the pieces find is
// then certain.
struct EmptierHeld : EnvWrapper, Gate {
  EmptierHeld() : EnvWrapper(Env::Default()), maker(std::this_thread::get_id()) {}
  FileInfo StatAt(int d, const std::string& n, bool follow) override {
    if (std::this_thread::get_id() != maker) Wait();
    return EnvWrapper::StatAt(d, n, follow);
  }
  std::unique_ptr<WritableFile> ReuseFileAt(int d, const std::string& n, const std::string& as,
                                            unsigned mode, const std::vector<FileInfo>& keep,
                                            const std::string& shown) override {
    return target()->ReuseFileAt(d, n, as, mode, keep, shown);
  }
  const std::thread::id maker;
};

// A link planted at a piece's name is never written through: the piece
// fails with the reason and what the link leads to stays as it was.
TEST(OutputFolderTest, PieceIsNeverWrittenThroughALink) {
  const std::string dir = test::MakeTempDir("pieces"), outside = test::MakeTempDir("outside");
  test::WriteBytes(outside + "/precious.txt", "outside");
  TOutputFolder folder(dir + "/out");
  folder.Prepare({});
  fs::create_symlink(outside + "/precious.txt", dir + "/out/2.txt");
  WritePiece(folder, "1.txt", "one\r\n");
  try {
    WritePiece(folder, "2.txt", "two\r\n");
    ADD_FAILURE() << "written through the link";
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.ErrorNumber(), ELOOP);
    EXPECT_EQ(e.Message().rfind("Cannot create file \"" + dir + "/out/2.txt\". ", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.txt"), "one\r\n");
  EXPECT_EQ(test::ReadBytes(outside + "/precious.txt"), "outside");
}

// The folder checked is the folder emptied and written, whatever its path
// names by the time the pieces are made.
TEST(OutputFolderTest, FolderIsKnownByItsDescriptorNotItsPath) {
  const std::string dir = test::MakeTempDir("held");
  fs::create_directories(dir + "/out");
  test::WriteBytes(dir + "/out/old.txt", "old piece");
  TOutputFolder folder(dir + "/out");
  fs::rename(dir + "/out", dir + "/moved");
  fs::create_directories(dir + "/out");
  test::WriteBytes(dir + "/out/other.txt", "someone else's");
  folder.Prepare({});
  WritePiece(folder, "1.txt", "one\r\n");
  EXPECT_FALSE(fs::exists(dir + "/moved/old.txt"));
  EXPECT_EQ(test::ReadBytes(dir + "/moved/1.txt"), "one\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/other.txt"), "someone else's");
  EXPECT_FALSE(fs::exists(dir + "/out/1.txt"));
}

// Pieces are written while the folder is still being emptied: a piece's
// name is cleared of its old entry first, whoever gets to it, and the
// emptying never removes a piece. What is kept stays as when emptied at once.
TEST(OutputFolderTest, PiecesWrittenWhileEmptyingSurviveIt) {
  // Holds the emptying at the first old entry not named like a piece until
  // released, so the pieces below are made while it is still going on.
  struct HeldEmptying : EnvWrapper, Gate {
    HeldEmptying() : EnvWrapper(Env::Default()) {}
    int RemoveAt(int d, const std::string& n, bool folder) override {
      if (n.rfind("old", 0) == 0) Wait();
      return EnvWrapper::RemoveAt(d, n, folder);
    }
  } held;
  const std::string dir = test::MakeTempDir("background"), outside = test::MakeTempDir("outside");
  test::WriteBytes(outside + "/precious.txt", "outside");
  fs::create_directories(dir + "/out/sub");
  test::WriteBytes(dir + "/out/sub/old-in-sub", "x");
  for (int i = 1; i <= 3; ++i) test::WriteBytes(dir + "/out/" + std::to_string(i) + ".txt", "old");
  for (int i = 1; i <= 20; ++i) test::WriteBytes(dir + "/out/old" + std::to_string(i), "x");
  fs::remove(dir + "/out/2.txt");
  fs::create_symlink(outside + "/precious.txt", dir + "/out/2.txt");
  test::WriteBytes(dir + "/out/source.txt", "the source");
  {
    ScopedEnv scoped(&held);
    TOutputFolder folder(dir + "/out");
    GateOpener opener{held};  // however the pieces fare, before the folder waits
    folder.PrepareInBackground({Env::Default()->Stat(dir + "/out/source.txt")}, nullptr);
    WritePiece(folder, "1.txt", "one\r\n");
    WritePiece(folder, "2.txt", "two\r\n");
  }
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.txt"), "one\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/2.txt"), "two\r\n");
  EXPECT_FALSE(fs::is_symlink(dir + "/out/2.txt"));
  EXPECT_EQ(test::ReadBytes(outside + "/precious.txt"), "outside");
  EXPECT_EQ(test::ReadBytes(dir + "/out/source.txt"), "the source");
  EXPECT_TRUE(fs::is_directory(dir + "/out/sub"));
  EXPECT_TRUE(fs::is_empty(dir + "/out/sub"));
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(dir + "/out")) left.push_back(e.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"1.txt", "2.txt", "source.txt", "sub"}));
}

// An old file at a piece's name serves as the piece only when nothing else
// can lose by it: never one with another name, the source, a file it may not
// write, or anything but a regular file, which are cleared as before.
TEST(OutputFolderTest, OldFileServesAsThePieceOnlyWhenSafe) {
  const std::string dir = test::MakeTempDir("reuse"), out = dir + "/out";
  fs::create_directories(out);
  for (int i = 1; i <= 5; ++i) test::WriteBytes(out + "/" + std::to_string(i) + ".txt", "old");
  fs::create_hard_link(out + "/2.txt", dir + "/other-name");
  fs::remove(out + "/4.txt");
  ASSERT_EQ(::mkfifo((out + "/4.txt").c_str(), 0644), 0);
  fs::permissions(out + "/5.txt", fs::perms::owner_read);
  auto inode = [&](const std::string& name) {
    return Env::Default()->Stat(out + "/" + name).inode;
  };
  const uint64_t old2 = inode("2.txt");
  // Held open: it shows whether the piece is this very file.
  UniqueFd old1(::open((out + "/1.txt").c_str(), O_RDONLY | O_CLOEXEC));
  ASSERT_TRUE(old1.valid());
  const FileInfo source = Env::Default()->Stat(out + "/3.txt");
  {
    // Stopped from the start, the emptier leaves every old file to the
    // pieces, which still claim the entries at their names.
    const std::atomic<bool> stopped{true};
    TOutputFolder folder(out);
    folder.PrepareInBackground({source}, &stopped);
    for (int i : {1, 2, 4, 5}) {
      const std::string name = std::to_string(i) + ".txt";
      auto file = folder.CreatePiece(name, folder.Path() + "/" + name, source);
      file->Append("new\r\n", 5);
      file->Close();
      EXPECT_EQ(test::ReadBytes(out + "/" + name), "new\r\n") << name;
    }
    EXPECT_THROW(folder.CreatePiece("3.txt", out + "/3.txt", source), Exception);
  }
  char seen[8] = {};
  EXPECT_EQ(::pread(old1.get(), seen, sizeof(seen), 0), 5);  // emptied and written again
  EXPECT_EQ(std::string(seen), "new\r\n");
  EXPECT_NE(inode("2.txt"), old2);
  EXPECT_EQ(test::ReadBytes(dir + "/other-name"), "old");
  EXPECT_EQ(test::ReadBytes(out + "/3.txt"), "old");
  EXPECT_TRUE(fs::is_regular_file(out + "/4.txt"));
  // Made anew, so writable, not the read-only file emptied.
  EXPECT_NE(fs::status(out + "/5.txt").permissions() & fs::perms::owner_write, fs::perms::none);
}

// Old files of other names serve as pieces too, renamed, on the same
// terms; those that may not are cleared, and nothing outside is touched.
// A piece reads and writes as a new file would, whatever file it was.
TEST(OutputFolderTest, OldFilesOfOtherNamesServeAsPiecesOnlyWhenSafe) {
  const std::string dir = test::MakeTempDir("donors"), out = dir + "/out";
  const std::string outside = test::MakeTempDir("donors-outside") + "/precious";
  fs::create_directories(out + "/sub");
  test::WriteBytes(outside, "outside");
  for (const char* name : {"xaa", "xab", "xac", "xad", "source.csv"}) {
    test::WriteBytes(out + "/" + name, "old");
  }
  fs::create_hard_link(out + "/xad", dir + "/other-name");
  fs::create_symlink(outside, out + "/xae");
  // Whatever their permission bits, pieces get those of a new file.
  fs::permissions(out + "/xaa", fs::perms(0755));
  fs::permissions(out + "/xab", fs::perms(0600));
  fs::permissions(out + "/xac", fs::perms(0666));
  const std::string fresh = dir + "/fresh";
  ::close(::open(fresh.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  const fs::perms new_file = fs::status(fresh).permissions();
  // Held open, they show which files became pieces.
  std::map<std::string, UniqueFd> old_files;
  for (const char* name : {"xaa", "xab", "xac"}) {
    old_files[name] = UniqueFd(::open((out + "/" + name).c_str(), O_RDONLY | O_CLOEXEC));
    ASSERT_TRUE(old_files[name].valid());
  }
  // The emptier holds on to the first entry listed, unless a piece takes
  // it before the emptier starts.
  const std::string first = fs::directory_iterator(out)->path().filename();
  const FileInfo source = Env::Default()->Stat(out + "/source.csv");
  const int kPieces = 7;
  EmptierHeld held;
  {
    ScopedEnv scoped(&held);
    TOutputFolder folder(out);
    GateOpener opener{held};
    folder.PrepareInBackground({source}, nullptr);
    for (int i = 1; i <= kPieces; ++i) {
      WritePiece(folder, std::to_string(i) + ".txt", std::to_string(i));
    }
  }
  std::set<std::string> left;
  for (const auto& e : fs::directory_iterator(out)) left.insert(e.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"1.txt", "2.txt", "3.txt", "4.txt", "5.txt", "6.txt",
                                         "7.txt", "source.csv", "sub"}));
  std::set<std::string> became;
  for (const auto& [name, fd] : old_files) {
    char seen[4] = {};
    ::pread(fd.get(), seen, sizeof(seen), 0);
    if (std::string(seen) == "old") {
      EXPECT_EQ(name, first);
    } else {
      EXPECT_EQ(std::strlen(seen), 1u) << seen;  // a piece's digit
      EXPECT_TRUE(became.insert(seen).second) << seen;
    }
  }
  EXPECT_GE(became.size(), old_files.size() - 1);
  for (int i = 1; i <= kPieces; ++i) {
    const std::string name = std::to_string(i);
    EXPECT_EQ(test::ReadBytes(out + "/" + name + ".txt"), name);
    EXPECT_EQ(fs::status(out + "/" + name + ".txt").permissions(), new_file) << name;
  }
  EXPECT_EQ(test::ReadBytes(out + "/source.csv"), "old");
  EXPECT_EQ(test::ReadBytes(dir + "/other-name"), "old");
  EXPECT_EQ(test::ReadBytes(outside), "outside");
}

// Old files wait for the pieces to take them over and go once the pieces
// are made; only those beyond what the expected pieces need go at once.
TEST(OutputFolderTest, OldFilesWaitForThePiecesUnlessMoreThanNeeded) {
  for (const bool expected : {false, true}) {
    SCOPED_TRACE(expected ? "pieces expected" : "pieces not expected");
    const std::string out = test::MakeTempDir("waiting") + "/out";
    fs::create_directories(out);
    std::map<std::string, UniqueFd> old_files;  // held: they show what became of each
    for (int i = 1; i <= 6; ++i) {
      const std::string name = "old" + std::to_string(i);
      test::WriteBytes(out + "/" + name, "old");
      old_files[name] = UniqueFd(::open((out + "/" + name).c_str(), O_RDONLY | O_CLOEXEC));
    }
    auto old_left = [&] {
      int n = 0;
      for (const auto& e : fs::directory_iterator(out)) n += e.path().filename().string()[0] == 'o';
      return n;
    };
    TOutputFolder folder(out);
    folder.PrepareInBackground({}, nullptr);
    if (expected) {
      folder.ExpectPieces(2);
      for (int waited = 0; old_left() > 2 && waited < 1000; ++waited) ::usleep(10000);
      EXPECT_EQ(old_left(), 2);
    }
    WritePiece(folder, "1.txt", "1");
    WritePiece(folder, "2.txt", "2");
    EXPECT_EQ(old_left(), expected ? 0 : 4);
    folder.FinishEmptying();
    EXPECT_EQ(old_left(), 0);
    int became_pieces = 0;
    for (const auto& [name, fd] : old_files) {
      char seen[4] = {};
      ::pread(fd.get(), seen, sizeof(seen), 0);
      became_pieces += std::string(seen) != "old";
    }
    EXPECT_EQ(became_pieces, 2);
  }
}

// A missing folder is made with its parents; one that cannot be made (a
// file in the way) fails once, and the file stays.
TEST(OutputFolderTest, MissingFolderIsMadeOrFailsOnce) {
  const std::string dir = test::MakeTempDir("make");
  TOutputFolder made(dir + "/a/b/out ");
  made.Prepare({});
  EXPECT_TRUE(fs::is_directory(dir + "/a/b/out "));
  test::WriteBytes(dir + "/file", "in the way");
  TOutputFolder blocked(dir + "/file");
  try {
    blocked.Prepare({});
    ADD_FAILURE() << "no error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(),
              "Cannot create folder \"" + dir + "/file\". A file of that name exists.");
  }
  EXPECT_EQ(test::ReadBytes(dir + "/file"), "in the way");
}

}  // namespace
}  // namespace lorvant
