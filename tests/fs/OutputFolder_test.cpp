#include "fs/OutputFolder.h"

#include <unistd.h>

#include <cerrno>
#include <filesystem>

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
    EXPECT_EQ(e.Message(), "Cannot create folder \"" + dir + "/file\".");
  }
  EXPECT_EQ(test::ReadBytes(dir + "/file"), "in the way");
}

}  // namespace
}  // namespace lorvant
