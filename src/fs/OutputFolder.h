// The folder a split writes its pieces into, held open by descriptor from
// the moment it is checked: the folder refused or accepted is the folder
// emptied and written, whatever its path comes to name meanwhile, and no
// piece is ever written through a symbolic link.
#pragma once

#include <atomic>
#include <climits>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "os/Env.h"

namespace lorvant {

// Why a run would refuse path as its output folder, in the words the run
// uses ("The output folder "<path>" is <reason>; it is not emptied."); ""
// when it may be used. Lets a window refuse before it asks anything.
std::string OutputFolderRefusal(const std::string& path);

class TOutputFolder {
 public:
  // Opens the folder path leads to (as the kernel resolves it) when it
  // exists. Throws Exception("The output folder "<path>" is <reason>; it is
  // not emptied.") for a folder that must never be emptied (FolderGuard).
  explicit TOutputFolder(std::string path);
  // Waits for an emptying still going on.
  ~TOutputFolder();
  TOutputFolder(const TOutputFolder&) = delete;
  TOutputFolder& operator=(const TOutputFolder&) = delete;

  // Empties the open folder (files only, keeping those in keep), or creates
  // it with its parents when it did not exist. Throws Exception("Cannot
  // create folder "<path>". <reason>") when it cannot be made or is not a
  // folder ("A file of that name exists.").
  // A set *stop ends the emptying early.
  void Prepare(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop = nullptr);
  // The same, but an existing folder is emptied on a thread of its own
  // while the pieces are written: deleting many files costs about as much
  // as writing them. Its old files serve as pieces (CreatePiece); those
  // left are deleted once the pieces are made (FinishEmptying), or at once
  // when more than the pieces will need (ExpectPieces). *stop (when given)
  // must outlive the emptying.
  void PrepareInBackground(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop);
  // Says how many pieces the run will make in all (an estimate will do),
  // so the old files beyond what the pieces still to come need are deleted
  // while the pieces are written.
  void ExpectPieces(int64_t count);
  // The pieces are made: clears what is left of the old entries and waits
  // until that is done (or the emptying stopped); at once when no emptying
  // was started.
  void FinishEmptying();

  // Creates the piece `name` in the folder, never through a link; an old
  // file of that name, or else one of the other old files, may serve
  // again, emptied (Env::ReuseFileAt). Throws
  // EFCreateError naming display_name, or Exception("Output file
  // "<display_name>" is the source file itself.") when the name leads to
  // the source.
  std::unique_ptr<WritableFile> CreatePiece(const std::string& name,
                                            const std::string& display_name,
                                            const FileInfo& source);

  // Removes the entry `name` when it is still the file made (its identity
  // as the open file reported it) and holds at most at_most bytes; nothing
  // when made is not known. Returns whether it was removed.
  bool RemovePiece(const std::string& name, const FileInfo& made,
                   int64_t at_most = INT64_MAX) const;

  const std::string& Path() const { return path_; }

 private:
  void Refuse(const std::string& reason) const;
  // Whether `name` is an old entry not cleared yet, which the caller then
  // takes over; waits while the emptying is clearing it.
  bool ClaimOldEntry(const std::string& name);
  // The emptier's work: clears the listed entries not taken by pieces.
  void EmptyOldEntries(const std::vector<DirEntry>& entries);
  // Takes an old entry not cleared yet that may be a file, the last listed
  // first (the emptier starts at the other end); "" when none is left or
  // the emptying was stopped.
  std::string ClaimDonor();

  std::string path_;
  UniqueFd fd_;

  std::vector<FileInfo> keep_;
  const std::atomic<bool>* stop_ = nullptr;
  std::mutex mutex_;
  std::condition_variable cleared_;
  std::unordered_set<std::string> old_entries_;  // listed, not cleared yet
  std::vector<std::string> donors_;              // old entries not folders
  std::string clearing_;                         // the one the emptier is on
  bool pieces_done_ = false;                     // the rest may go
  int64_t deletable_files_ = 0;                  // old files no piece will need
  int64_t pieces_made_ = 0;
  std::thread emptier_;
};

}  // namespace lorvant
