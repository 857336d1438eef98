// Taking over an old file so that it serves as a new one: emptied, renamed
// and given a new file's attributes, but only where no other process, link,
// mount, owner or permission could tell it from a file deleted and made
// anew. Anything else is left exactly as it was.
#pragma once

#include <string>
#include <vector>

#include "os/Env.h"

namespace lorvant {

// Opens the old entry name of the open folder dir for writing, as the file
// `as` (renamed when the names differ, never over an entry already there),
// emptied and with permission bits `bits`, and returns its descriptor.
// Returns an invalid descriptor, the entry untouched, unless it is a
// regular file with one name, owned by this user, on the folder's own mount,
// with the group, flags, ACL and extended attributes a new file would have
// (none), that no process (this one included) has open or mapped, and that
// is none of keep. Nothing but a regular file is ever opened for writing.
UniqueFd TakeOverFile(int dir, const std::string& name, const std::string& as, unsigned bits,
                      const std::vector<FileInfo>& keep);

}  // namespace lorvant
