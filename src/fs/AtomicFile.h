// Replacing a file so that a crash, a full disk or a concurrent reader sees
// the old content or the new, never a mix; the way every file the system
// rewrites (task files, lists, settings, scripts) is written.
#pragma once

#include <string>

namespace lorvant {

// Replaces the file `name` with `data` so that a crash leaves the old or the
// new content: a temporary file with an unpredictable short name, created
// exclusively (never through a link) in the target's folder, fsync, rename
// within the open folder, fsync of the folder. A symbolic link stays a link
// (what it leads to is replaced); the permission bits are `mode`, or when it
// is negative those of the file replaced (0644 less the umask for a new
// one). Throws EFCreateError or EWriteError naming `name`; the temporary
// file is removed on failure.
void WriteFileAtomically(const std::string& name, const std::string& data, int mode = -1);

// The same for the entry `base` of the open folder `folder`: the entry is
// replaced as an entry, so a symbolic link standing there is replaced by
// the file and what it leads to is left untouched. display_name is the
// name errors show.
void WriteFileAtomicallyAt(int folder, const std::string& base, const std::string& data, int mode,
                           const std::string& display_name);

}  // namespace lorvant
