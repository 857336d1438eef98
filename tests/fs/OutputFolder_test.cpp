#include "fs/OutputFolder.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
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

// A file's inode with its generation: unlike the inode number alone, never
// the same for a file made after another was deleted.
using FileIdentity = std::pair<uint64_t, uint32_t>;
FileIdentity IdentityOf(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  struct stat st;
  uint32_t generation = 0;
  if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return {0, 0};
  ::ioctl(fd.get(), _IOR('v', 1, long), &generation);  // FS_IOC_GETVERSION
  return {st.st_ino, generation};
}

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

// A link planted at a piece's name once the folder was listed is never
// written through: it goes as an entry, as the emptying takes links, and
// what it leads to stays as it was.
TEST(OutputFolderTest, PieceIsNeverWrittenThroughALink) {
  const std::string dir = test::MakeTempDir("pieces"), outside = test::MakeTempDir("outside");
  test::WriteBytes(outside + "/precious.txt", "outside");
  TOutputFolder folder(dir + "/out");
  folder.Prepare({});
  fs::create_symlink(outside + "/precious.txt", dir + "/out/2.txt");
  WritePiece(folder, "1.txt", "one\r\n");
  WritePiece(folder, "2.txt", "two\r\n");
  EXPECT_EQ(test::ReadBytes(dir + "/out/1.txt"), "one\r\n");
  EXPECT_FALSE(fs::is_symlink(dir + "/out/2.txt"));
  EXPECT_EQ(test::ReadBytes(dir + "/out/2.txt"), "two\r\n");
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
  const FileIdentity old1 = IdentityOf(out + "/1.txt");
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
  EXPECT_EQ(IdentityOf(out + "/1.txt"), old1);  // emptied and written again
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
  // Their identities show which files became pieces.
  std::map<std::string, FileIdentity> old_files;
  for (const char* name : {"xaa", "xab", "xac"}) old_files[name] = IdentityOf(out + "/" + name);
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
  std::map<FileIdentity, std::string> pieces;
  for (int i = 1; i <= kPieces; ++i) {
    pieces[IdentityOf(out + "/" + std::to_string(i) + ".txt")] = std::to_string(i);
  }
  size_t became = 0;
  for (const auto& [name, identity] : old_files) {
    if (pieces.count(identity) != 0) {
      ++became;
    } else {
      EXPECT_EQ(name, first);
    }
  }
  EXPECT_GE(became, old_files.size() - 1);
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
    std::set<FileIdentity> old_files;  // they show what became of each
    for (int i = 1; i <= 6; ++i) {
      const std::string name = out + "/old" + std::to_string(i);
      test::WriteBytes(name, "old");
      old_files.insert(IdentityOf(name));
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
    for (const char* piece : {"/1.txt", "/2.txt"})
      became_pieces += old_files.count(IdentityOf(out + piece));
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

// What an old entry at a piece's name is, and what holds it: the piece is
// exactly a new file's, and whoever held the old one keeps it unchanged.
struct OldEntryCase {
  const char* kind;
  bool reused;  // the old file may serve as the piece
  // Makes the entry at path; returns false to skip (not allowed here).
  std::function<bool(const std::string& path, const std::string& dir)> make;
  // After the split: the holder still has its own file, unchanged.
  std::function<void(const std::string& path)> check;
};

// Holders of old entries, kept between make and check.
struct Holders {
  UniqueFd fd;
  void* map = nullptr;
  int watch = -1;
  UniqueFd inotify;
  std::string mounted;
  ~Holders() { Reset(); }
  void Reset() {
    if (map != nullptr && map != MAP_FAILED) ::munmap(map, 4096);
    if (!mounted.empty()) ::umount2(mounted.c_str(), MNT_DETACH);
    map = nullptr;
    mounted.clear();
    fd = UniqueFd();
    inotify = UniqueFd();
  }
  // Watches path for any close of a file opened for writing.
  void WatchWrites(const std::string& path) {
    inotify = UniqueFd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    watch = ::inotify_add_watch(inotify.get(), path.c_str(), IN_CLOSE_WRITE);
    ASSERT_GE(watch, 0);
  }
  bool WrittenTo() {
    alignas(struct inotify_event) char events[4096];
    const ssize_t n = ::read(inotify.get(), events, sizeof(events));
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const struct inotify_event*>(events + at);
      if ((e->mask & IN_CLOSE_WRITE) != 0) return true;  // not IN_IGNORED, as a removal gives
      at += static_cast<ssize_t>(sizeof(struct inotify_event) + e->len);
    }
    return false;
  }
};

// ACL "user::rw-, user:12345:r--, group::r--, mask::r--, other::---" as the
// kernel stores it.
std::string AclGrantingAnotherUser() {
  std::string acl;
  auto put = [&acl](uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) acl.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
  };
  put(2, 4);  // version
  const uint32_t entries[][3] = {{0x01, 6, 0xffffffff},
                                 {0x02, 4, 12345},
                                 {0x04, 4, 0xffffffff},
                                 {0x10, 4, 0xffffffff},
                                 {0x20, 0, 0xffffffff}};
  for (const auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4);
  return acl;
}

TEST(OutputFolderTest, OldEntryServesOnlyWhereNobodyCanTellItFromANewFile) {
  Holders h;
  auto regular = [](const std::string& path) { test::WriteBytes(path, "old\n"); };
  auto unchanged_through_fd = [&h](const std::string&) {
    char seen[16] = {};
    EXPECT_EQ(::pread(h.fd.get(), seen, sizeof(seen), 0), 4);
    EXPECT_STREQ(seen, "old\n");
  };
  const std::vector<OldEntryCase> cases = {
      {"a plain old file", true, [&](auto& p, auto&) { return regular(p), true; }, nullptr},
      {"held open by an appender", false,
       [&](auto& p, auto&) {
         regular(p);
         h.fd = UniqueFd(::open(p.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC));
         return true;
       },
       [&](auto&) {
         ASSERT_EQ(::write(h.fd.get(), "more\n", 5), 5);
         const std::string self = "/proc/self/fd/" + std::to_string(h.fd.get());
         EXPECT_EQ(test::ReadBytes(self), "old\nmore\n");
       }},
      {"held open for reading", false,
       [&](auto& p, auto&) {
         regular(p);
         h.fd = UniqueFd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
         return true;
       },
       unchanged_through_fd},
      {"mapped", false,
       [&](auto& p, auto&) {
         regular(p);
         UniqueFd fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
         h.map = ::mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fd.get(), 0);
         return h.map != MAP_FAILED;
       },
       [&](auto&) { EXPECT_EQ(std::string(static_cast<const char*>(h.map), 4), "old\n"); }},
      {"with a group of its own", false,
       [&](auto& p, auto&) { return regular(p), ::chown(p.c_str(), -1, 12345) == 0; }, nullptr},
      {"owned by another user", false,
       [&](auto& p, auto&) { return regular(p), ::chown(p.c_str(), 12345, -1) == 0; }, nullptr},
      {"with an ACL", false,
       [&](auto& p, auto&) {
         regular(p);
         const std::string acl = AclGrantingAnotherUser();
         return ::setxattr(p.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
       },
       nullptr},
      {"with an extended attribute", false,
       [&](auto& p, auto&) {
         regular(p);
         return ::setxattr(p.c_str(), "user.note", "x", 1, 0) == 0;
       },
       nullptr},
      {"a FIFO with a reader", false,
       [&](auto& p, auto&) {
         if (::mkfifo(p.c_str(), 0644) != 0) return false;
         h.fd = UniqueFd(::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
         h.WatchWrites(p);
         return h.fd.valid();
       },
       [&](auto&) {
         // A writer that came and went would show as a hang-up.
         struct pollfd reader = {h.fd.get(), POLLIN, 0};
         EXPECT_EQ(::poll(&reader, 1, 0), 0);
         EXPECT_FALSE(h.WrittenTo());
       }},
      {"a device node", false,
       [&](auto& p, auto&) {
         if (::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) return false;
         h.WatchWrites(p);
         return true;
       },
       [&](auto&) { EXPECT_FALSE(h.WrittenTo()); }},
      {"a bind mount of a file outside", false,
       [&](auto& p, auto& dir) {
         regular(p);
         h.mounted = p;
         test::WriteBytes(dir + "/outside", "outside\n");
         if (::mount((dir + "/outside").c_str(), p.c_str(), nullptr, MS_BIND, nullptr) == 0) {
           return true;
         }
         h.mounted.clear();
         return false;
       },
       [&](auto&) {}},
  };
  const std::string fresh_dir = test::MakeTempDir("fresh");
  ::close(::open((fresh_dir + "/new").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  struct stat fresh;
  ASSERT_EQ(::stat((fresh_dir + "/new").c_str(), &fresh), 0);
  for (const OldEntryCase& c : cases) {
    SCOPED_TRACE(c.kind);
    h.Reset();
    const std::string dir = test::MakeTempDir("old-entry"), out = dir + "/out";
    fs::create_directories(out);
    const std::string piece = out + "/1.txt";
    if (!c.make(piece, dir)) {
      std::printf("[  SKIPPED ] %s: not possible here (%s)\n", c.kind, std::strerror(errno));
      continue;
    }
    const FileIdentity before = IdentityOf(piece);
    const bool mounted = !h.mounted.empty();
    {
      const std::atomic<bool> stopped{true};  // the old entry is left to the piece
      TOutputFolder folder(out);
      folder.PrepareInBackground({}, &stopped);
      if (mounted) {
        // A mount point cannot be removed: the piece fails, nothing outside changes.
        EXPECT_THROW(WritePiece(folder, "1.txt", "new\r\n"), EFCreateError);
        EXPECT_EQ(test::ReadBytes(dir + "/outside"), "outside\n");
        continue;
      }
      WritePiece(folder, "1.txt", "new\r\n");
    }
    EXPECT_EQ(test::ReadBytes(piece), "new\r\n");
    EXPECT_EQ(IdentityOf(piece) == before, c.reused);
    struct stat st;
    ASSERT_EQ(::lstat(piece.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode, fresh.st_mode);
    EXPECT_EQ(st.st_uid, fresh.st_uid);
    EXPECT_EQ(st.st_gid, fresh.st_gid);
    EXPECT_EQ(::listxattr(piece.c_str(), nullptr, 0), 0) << "no ACL, no extended attributes";
    if (c.check) c.check(piece);
  }
}

}  // namespace
}  // namespace lorvant
