#include "engine/PieceCreator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "base/Exception.h"
#include "fs/OutputFolder.h"
#include "support/TestEnv.h"

namespace lorvant {
namespace {

namespace fs = std::filesystem;

std::set<std::string> Names(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

class PieceCreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakeTempDir("ahead");
    folder_ = std::make_unique<TOutputFolder>(dir_ + "/out");
    folder_->Prepare({});
  }
  void Write(std::unique_ptr<WritableFile> file, const std::string& text) {
    file->Append(text.data(), text.size());
    file->Close();
  }
  std::string dir_;
  std::unique_ptr<TOutputFolder> folder_;
};

// Pieces made ahead but never needed are gone when the creator finishes;
// the pieces taken keep what was written to them.
TEST_F(PieceCreatorTest, PiecesMadeAheadAndNotTakenAreRemoved) {
  TPieceCreator pieces(folder_.get(), ".csv", dir_ + "/out", FileInfo(), 4, 2);
  for (int n = 1; n <= 3; ++n) Write(pieces.Take(n), "piece " + std::to_string(n));
  pieces.Finish();
  EXPECT_EQ(Names(dir_ + "/out"), (std::set<std::string>{"1.csv", "2.csv", "3.csv"}));
  EXPECT_EQ(test::ReadBytes(dir_ + "/out/2.csv"), "piece 2");
}

// With the number of pieces known, none is made beyond it; one asked for
// after all is still made.
TEST_F(PieceCreatorTest, AKnownLastPieceBoundsTheWorkAhead) {
  TPieceCreator pieces(folder_.get(), ".txt", dir_ + "/out", FileInfo(), 4, 1, 2);
  Write(pieces.Take(1), "a");
  Write(pieces.Take(2), "b");
  EXPECT_EQ(Names(dir_ + "/out"), (std::set<std::string>{"1.txt", "2.txt"}));
  Write(pieces.Take(3), "c");
  pieces.Finish();
  EXPECT_EQ(Names(dir_ + "/out"), (std::set<std::string>{"1.txt", "2.txt", "3.txt"}));
}

// A piece that cannot be made fails when it is taken, with the error it
// met, and the next pieces are made as usual; the source is never a piece.
TEST_F(PieceCreatorTest, AFailedPieceFailsWhenTakenAndTheRestGoOn) {
  test::WriteBytes(dir_ + "/out/2.txt", "the source");
  const FileInfo source = Env::Default()->Stat(dir_ + "/out/2.txt");
  TPieceCreator pieces(folder_.get(), ".txt", dir_ + "/out", source, 4, 1);
  Write(pieces.Take(1), "one");
  try {
    pieces.Take(2);
    ADD_FAILURE() << "the source became a piece";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Output file \"" + dir_ + "/out/2.txt\" is the source file itself.");
  }
  Write(pieces.Take(3), "three");
  pieces.Finish();
  EXPECT_EQ(test::ReadBytes(dir_ + "/out/2.txt"), "the source");
  EXPECT_EQ(Names(dir_ + "/out"), (std::set<std::string>{"1.txt", "2.txt", "3.txt"}));
}

// Removal goes by identity: a file put in place of a piece made ahead is
// someone else's, and stays.
TEST_F(PieceCreatorTest, AFileThatReplacedAPieceMadeAheadIsKept) {
  TPieceCreator pieces(folder_.get(), ".txt", dir_ + "/out", FileInfo(), 2, 1);
  Write(pieces.Take(1), "one");
  // Pieces 2 and 3 are being made ahead; wait until both are there.
  for (int spins = 0; spins < 100000 && !test::PathExists(dir_ + "/out/3.txt"); ++spins) {
    std::this_thread::yield();
  }
  ASSERT_TRUE(test::PathExists(dir_ + "/out/3.txt"));
  test::WriteBytes(dir_ + "/new.txt", "not a piece");
  fs::rename(dir_ + "/new.txt", dir_ + "/out/3.txt");
  pieces.Finish();
  EXPECT_EQ(test::ReadBytes(dir_ + "/out/3.txt"), "not a piece");
  EXPECT_FALSE(test::PathExists(dir_ + "/out/2.txt"));
}

}  // namespace
}  // namespace lorvant
