// Tells whether a folder is one that must never be emptied: the root, a
// folder directly under it, the home folder or one of its ancestors, or an
// XDG user folder itself. Folders are compared by identity (device and
// inode), so no spelling of a path and no link leads past the check.
#pragma once

#include <string>

namespace lorvant {

// Why the open folder `folder_fd` must not be emptied, as the end of a
// sentence ("the root or home folder", "a folder directly under the root",
// "an ancestor of the home folder", "the user's Documents folder"); "" when
// it may be.
std::string ProtectedFolderReason(int folder_fd);

// The same for a path, resolved as the kernel resolves it; "" also when the
// path names no folder.
std::string ProtectedFolderReason(const std::string& path);

}  // namespace lorvant
