// The folder a split writes its pieces into, held open by descriptor from
// the moment it is checked: the folder refused or accepted is the folder
// emptied and written, whatever its path comes to name meanwhile, and no
// piece is ever written through a symbolic link.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "os/Env.h"

namespace lorvant {

class TOutputFolder {
 public:
  // Opens the folder path leads to (as the kernel resolves it) when it
  // exists. Throws Exception("The output folder "<path>" is <reason>; it is
  // not emptied.") for a folder that must never be emptied (FolderGuard).
  explicit TOutputFolder(std::string path);
  TOutputFolder(const TOutputFolder&) = delete;
  TOutputFolder& operator=(const TOutputFolder&) = delete;

  // Empties the open folder (files only, keeping those in keep), or creates
  // it with its parents when it did not exist. Throws Exception("Cannot
  // create folder "<path>".") when it cannot be made or is not a folder.
  // A set *stop ends the emptying early.
  void Prepare(const std::vector<FileInfo>& keep, const std::atomic<bool>* stop = nullptr);

  // Creates (or truncates) the piece `name` in the folder, never through a
  // link. Throws EFCreateError naming display_name, or Exception("Output
  // file "<display_name>" is the source file itself.") when the name leads
  // to the source.
  std::unique_ptr<WritableFile> CreatePiece(const std::string& name,
                                            const std::string& display_name,
                                            const FileInfo& source);

  // Removes the entry `name` when it is still the file made (its identity
  // as the open file reported it); nothing when made is not known.
  void RemovePiece(const std::string& name, const FileInfo& made) const;

  const std::string& Path() const { return path_; }

 private:
  void Refuse(const std::string& reason) const;

  std::string path_;
  UniqueFd fd_;
};

}  // namespace lorvant
