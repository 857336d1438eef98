// The folder a split writes its pieces into, held open by descriptor from
// the moment it is checked: the folder refused or accepted is the folder
// emptied and written, whatever its path comes to name meanwhile, and no
// piece is ever written through a symbolic link.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "os/Env.h"

namespace lorvant {

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
  // create folder "<path>".") when it cannot be made or is not a folder.
  // A set *stop ends the emptying early.
  void Prepare(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop = nullptr);
  // The same, but an existing folder is emptied on a thread of its own
  // while the pieces are written: deleting many files costs about as much
  // as writing them. A piece's name is cleared of the old entry before the
  // piece is created (CreatePiece); FinishEmptying waits for the rest.
  // *stop (when given) must outlive the emptying.
  void PrepareInBackground(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop);
  // Waits until the folder's old entries are cleared (or the emptying
  // stopped); at once when no emptying was started.
  void FinishEmptying();

  // Creates the piece `name` in the folder, never through a link; an old
  // file of that name may serve again, emptied (Env::ReuseFileAt). Throws
  // EFCreateError naming display_name, or Exception("Output file
  // "<display_name>" is the source file itself.") when the name leads to
  // the source.
  std::unique_ptr<WritableFile> CreatePiece(const std::string& name,
                                            const std::string& display_name,
                                            const FileInfo& source);

  // Removes the entry `name` when it is still the file made (its identity
  // as the open file reported it); nothing when made is not known.
  void RemovePiece(const std::string& name, const FileInfo& made) const;

  const std::string& Path() const { return path_; }

 private:
  void Refuse(const std::string& reason) const;
  // Whether `name` is an old entry not cleared yet, which the caller then
  // takes over; waits while the emptying is clearing it.
  bool ClaimOldEntry(const std::string& name);

  std::string path_;
  UniqueFd fd_;

  std::vector<FileInfo> keep_;
  std::mutex mutex_;
  std::condition_variable cleared_;
  std::unordered_set<std::string> old_entries_;  // listed, not cleared yet
  std::string clearing_;                         // the one the emptier is on
  std::thread emptier_;
};

}  // namespace lorvant
