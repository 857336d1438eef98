// What the runner asks of the host: whether a network is up (for tasks
// that need one) and the host's name (for the local computer's name). Real
// implementations behind SchedSystem, the room's door.
#pragma once

#include <string>

namespace lorvant {

// True when a network interface other than loopback is up and running.
bool NetworkIsUp();
// The host's name; "localhost" when it cannot be read.
std::string ThisHostName();

}  // namespace lorvant
