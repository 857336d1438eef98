// Advisory locks on files that a process holds while it runs a task or
// writes the store: taken without waiting, or waited for a bounded time.
// Real implementations behind SchedSystem, the room's door.
#pragma once

#include <cstdint>
#include <string>

#include "os/Env.h"

namespace lorvant {

// Takes the lock on file name (created when missing, never through a
// link) without waiting; false when another holds it or it cannot be
// opened.
bool TryLockFile(const std::string& name, UniqueFd* lock);
// Waits up to timeout_ms for the lock on file name; false when another
// still holds it then.
bool WaitLockFile(const std::string& name, int64_t timeout_ms, UniqueFd* lock);

}  // namespace lorvant
