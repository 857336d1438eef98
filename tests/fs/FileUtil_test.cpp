#include "fs/FileUtil.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include <gtest/gtest.h>

#include "base/Exception.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

// Every entry below root as a sorted relative path, folders with a '/'.
std::vector<std::string> Listing(const std::string& root) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    std::string rel = fs::relative(e.path(), root).string();
    out.push_back(e.is_directory() && !e.is_symlink() ? rel + "/" : rel);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void MakeDirs(const std::string& path) { fs::create_directories(path); }

void Symlink(const std::string& target, const std::string& link) {
  ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0) << link;
}

TEST(FileUtilTest, FormatFileSize) {
  const std::string dir = test::MakeTempDir("size");
  struct Case {
    uint64_t size;
    const char* text;
  } cases[] = {
      {0, "0 Bytes"},
      {512, "512 Bytes"},
      {1023, "1023 Bytes"},
      {1024, "1.000 KB"},
      {1536, "1.500 KB"},
      {1048575, "1023.999 KB"},
      {1048576, "1.000 MB"},
      {1073741823, "1024.000 MB"},
      {1610612736, "   1.500 GB"},
      {5368709120, "   5.000 GB"},
  };
  for (const Case& c : cases) {
    std::string path = dir + "/" + std::to_string(c.size);
    test::WriteBytes(path, "");
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0);  // sparse
    EXPECT_EQ(GetFileSize(path), c.size);
    EXPECT_EQ(FormatFileSize(path), c.text) << c.size;
  }
  EXPECT_THROW(GetFileSize(dir + "/missing"), EFOpenError);
  EXPECT_THROW(FormatFileSize(dir), EFOpenError);  // a folder is not a file
}

TEST(FileUtilTest, PathParts) {
  struct Case {
    const char* path;
    const char* name;
    const char* folder;
    const char* ext;
    const char* without_ext;
    const char* base;
  } cases[] = {
      {"/data.txt/big.txt", "big.txt", "/data.txt/", ".txt", "/data.txt/big", "big"},
      {"notes", "notes", "", "", "notes", "notes"},
      {"dir.d/notes", "notes", "dir.d/", "", "dir.d/notes", "notes"},
      {".hidden", ".hidden", "", ".hidden", "", ""},
      {"a/archive.tar.gz", "archive.tar.gz", "a/", ".gz", "a/archive.tar", "archive.tar"},
      {"name.", "name.", "", ".", "name", "name"},
      {"/out/", "", "/out/", "", "/out/", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(ExtractFileName(c.path), c.name);
    EXPECT_EQ(ExtractFilePath(c.path), c.folder);
    EXPECT_EQ(ExtractFileExt(c.path), c.ext);
    EXPECT_EQ(RemoveFileExt(c.path), c.without_ext);
    EXPECT_EQ(GetFileBaseName(c.path), c.base);
  }
}

TEST(FileUtilTest, ExpandFileName) {
  std::string cwd = fs::current_path().string();
  if (cwd == "/") cwd.clear();
  struct Case {
    std::string name, full;
  } cases[] = {
      {"a/./b/../c", cwd + "/a/c"},
      {"x/", cwd + "/x/"},
      {"/x/../../y", "/y"},
      {"/a//b/", "/a/b/"},
      {"/a/b/..", "/a"},
      {"/", "/"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ExpandFileName(c.name), c.full) << c.name;
}

// ".." after a link leads where the kernel goes: into the link's target's
// parent, never back to the folder holding the link.
TEST(FileUtilTest, ExpandFileNameResolvesWhatExistsAsTheKernelDoes) {
  const std::string dir = fs::canonical(test::MakeTempDir("expand")).string();
  MakeDirs(dir + "/real/sub");
  Symlink(dir + "/real/sub", dir + "/lnk");
  const std::pair<std::string, std::string> cases[] = {
      {dir + "/lnk/../t.sft", dir + "/real/t.sft"},
      {dir + "/lnk/..", dir + "/real"},
      {dir + "/lnk/../", dir + "/real/"},
      {dir + "/lnk/missing/../x", dir + "/real/sub/x"},
      {dir + "/lnk", dir + "/lnk"},  // a last name that is a link stays that name
      {dir + "//real/./sub/", dir + "/real/sub/"},
      {dir + "/none/../t", dir + "/t"},
  };
  for (const auto& [name, full] : cases) EXPECT_EQ(ExpandFileName(name), full) << name;
}

TEST(FileUtilTest, ExistenceAndEmptiness) {
  const std::string dir = test::MakeTempDir("exist");
  test::WriteBytes(dir + "/file", "x");
  MakeDirs(dir + "/empty");
  MakeDirs(dir + "/holds-folder/sub");
  MakeDirs(dir + "/holds-hidden");
  test::WriteBytes(dir + "/holds-hidden/.h", "");
  Symlink(dir + "/empty", dir + "/dirlink");
  Symlink(dir + "/nowhere", dir + "/dangling");
  struct Case {
    const char* name;
    bool file, folder, empty;
  } cases[] = {
      {"file", true, false, false},         {"empty", false, true, true},
      {"holds-folder", false, true, false}, {"holds-hidden", false, true, false},
      {"dirlink", false, true, true},       {"dangling", false, false, false},
      {"missing", false, false, false},
  };
  for (const Case& c : cases) {
    std::string path = dir + "/" + c.name;
    EXPECT_EQ(FileExists(path), c.file) << c.name;
    EXPECT_EQ(DirectoryExists(path), c.folder) << c.name;
    EXPECT_EQ(IsDirectoryEmpty(path), c.empty) << c.name;
  }
}

TEST(FileUtilTest, ClearDirectoryKeepsFoldersLinkTargetsAndProtectedFiles) {
  const std::string out = test::MakeTempDir("clear"), outside = test::MakeTempDir("outside");
  MakeDirs(out + "/s1/s2");
  for (const char* f : {"/1.txt", "/s1/2.txt", "/s1/s2/3.txt", "/s1/s2/.hidden"}) {
    test::WriteBytes(out + f, "data");
  }
  test::WriteBytes(outside + "/precious.txt", "outside");
  Symlink(outside, out + "/s1/folder-link");
  Symlink(outside + "/precious.txt", out + "/file-link");
  Symlink(out + "/nowhere", out + "/dangling");
  test::WriteBytes(out + "/source.txt", "source");
  ASSERT_EQ(::link((out + "/source.txt").c_str(), (out + "/s1/s2/same-inode").c_str()), 0);

  ClearDirectory(out, {Env::Default()->Stat(out + "/source.txt")});

  EXPECT_EQ(Listing(out),
            (std::vector<std::string>{"s1/", "s1/s2/", "s1/s2/same-inode", "source.txt"}));
  EXPECT_EQ(test::ReadBytes(out + "/source.txt"), "source");
  EXPECT_EQ(Listing(outside), std::vector<std::string>{"precious.txt"});
  EXPECT_EQ(test::ReadBytes(outside + "/precious.txt"), "outside");
}

// A subfolder swapped for a link between the walk's look at it and its
// entering is not followed: nothing outside the folder is reached.
TEST(FileUtilTest, ClearDirectoryNeverFollowsAFolderSwappedForALink) {
  const std::string out = test::MakeTempDir("swap"), outside = test::MakeTempDir("outside");
  MakeDirs(out + "/sub");
  test::WriteBytes(out + "/sub/piece.txt", "x");
  test::WriteBytes(outside + "/precious.txt", "outside");
  struct SwappingEnv : EnvWrapper {
    SwappingEnv() : EnvWrapper(Env::Default()) {}
    int OpenFolder(int dir, const std::string& name, bool follow, UniqueFd* folder) override {
      if (name == "sub" && !swapped) {
        swapped = true;
        EXPECT_EQ(::renameat(dir, "sub", dir, "moved"), 0);
        EXPECT_EQ(::symlinkat(outside.c_str(), dir, "sub"), 0);
      }
      return EnvWrapper::OpenFolder(dir, name, follow, folder);
    }
    std::string outside;
    bool swapped = false;
  } env;
  env.outside = outside;
  {
    ScopedEnv scoped(&env);
    ClearDirectory(out);
  }
  EXPECT_TRUE(env.swapped);
  EXPECT_EQ(test::ReadBytes(outside + "/precious.txt"), "outside");
  EXPECT_TRUE(fs::is_symlink(out + "/sub"));
}

TEST(FileUtilTest, ClearDirectoryIgnoresFailures) {
  // Deleting one file fails; the rest still goes and nothing is raised.
  class StubbornEnv : public EnvWrapper {
   public:
    StubbornEnv() : EnvWrapper(Env::Default()) {}
    int RemoveAt(int dir, const std::string& name, bool folder) override {
      return name == "locked" ? EACCES : EnvWrapper::RemoveAt(dir, name, folder);
    }
  } env;
  const std::string out = test::MakeTempDir("stubborn");
  MakeDirs(out + "/sub");
  for (const char* f : {"/a", "/locked", "/sub/b"}) test::WriteBytes(out + f, "x");
  {
    ScopedEnv scoped(&env);
    EXPECT_NO_THROW(ClearDirectory(out));
    EXPECT_NO_THROW(ClearDirectory(out + "/missing"));
    EXPECT_NO_THROW(ClearDirectory(""));
  }
  EXPECT_EQ(Listing(out), (std::vector<std::string>{"locked", "sub/"}));
}

TEST(FileUtilTest, ForceFolder) {
  const std::string dir = test::MakeTempDir("force");
  test::WriteBytes(dir + "/file", "x");
  ForceFolder(dir + "/a/b/c");
  EXPECT_TRUE(DirectoryExists(dir + "/a/b/c"));
  EXPECT_EQ(ForceFolder(dir + "/d//e/f/"), 0);  // doubled and trailing '/' harmless
  EXPECT_TRUE(DirectoryExists(dir + "/d/e/f"));
  // A name may end in a blank: the folder is made exactly as spelled.
  EXPECT_EQ(ForceFolder(dir + "/out "), 0);
  EXPECT_TRUE(DirectoryExists(dir + "/out "));
  EXPECT_FALSE(test::PathExists(dir + "/out"));
  EXPECT_EQ(ForceFolder(dir + "/file/x/y"), ENOTDIR);
  EXPECT_FALSE(test::PathExists(dir + "/file/x"));
  EXPECT_EQ(ForceFolder(""), ENOENT);
}

TEST(FileUtilTest, CountFiles) {
  const std::string dir = test::MakeTempDir("count");
  MakeDirs(dir + "/dir.txt");
  MakeDirs(dir + "/sub/deeper");
  for (const char* f : {"/1.txt", "/2.txt", "/.h.txt", "/a.csv", "/odd.[1]", "/dir.txt/3.txt",
                        "/sub/deeper/4.txt"}) {
    test::WriteBytes(dir + f, "");
  }
  Symlink(dir + "/sub", dir + "/link");  // not entered; counts as an entry of its own
  struct Case {
    const char* mask;
    bool recursive;
    int count;
  } cases[] = {
      {"*.txt", false, 3}, {"*.txt", true, 5},  {"?.txt", true, 4}, {"*", false, 6},
      {"*.*", false, 6},   {"*.[1]", false, 1}, {"*.csv", true, 1}, {"", true, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountFiles(dir + "/", c.mask, c.recursive), c.count)
        << c.mask << (c.recursive ? " recursive" : "");
  }
  EXPECT_EQ(CountFiles(dir + "/missing/", "*", true), 0);
}

TEST(FileUtilTest, CreateAndWriteTextFiles) {
  const std::string dir = test::MakeTempDir("write");
  const std::string path = dir + "/task.sft";
  test::WriteBytes(path, "old content");
  EXPECT_EQ(TryCreateFile(path), "");
  EXPECT_EQ(test::ReadBytes(path), "\r\n");
  const std::string bad = dir + "/missing/task.sft";
  EXPECT_EQ(TryCreateFile(bad).rfind("Cannot create file \"" + bad + "\". ", 0), 0u);

  WriteTextFile("a\r\nb \xC3\xA4", path);
  EXPECT_EQ(test::ReadBytes(path), "a\r\nb \xC3\xA4\r\n");
  EXPECT_NO_THROW(WriteTextFile("ignored", ""));
  EXPECT_THROW(WriteTextFile("x", bad), EFCreateError);
}

TEST(FileUtilTest, ModifiedTime) {
  const std::string path = test::MakeTempDir("mtime") + "/f";
  test::WriteBytes(path, "x");
  const struct timespec times[2] = {{1600000000, 123456789}, {1600000000, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  EXPECT_EQ(GetFileModifiedTimeNs(path), 1600000000123456789LL);
  DateTime local = GetFileModifiedTime(path);  // 2020-09-13 12:26:40 UTC
  EXPECT_EQ(local.year, 2020);
  EXPECT_EQ(local.month, 9);
  EXPECT_EQ(local.second, 40);
  EXPECT_EQ(local.millisecond, 123);
  EXPECT_THROW(GetFileModifiedTimeNs(path + "-missing"), EFOpenError);
  EXPECT_THROW(GetFileModifiedTime(path + "-missing"), EFOpenError);
}

}  // namespace
}  // namespace lorvant
