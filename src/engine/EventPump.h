// How a running conversion lets the user interface breathe: the windows
// install a pump that processes pending events (at most every few tens of
// milliseconds); a command-line run installs none.
#pragma once

namespace lorvant {

class TEventPump {
 public:
  virtual ~TEventPump() = default;
  // Called after every record; decides itself whether it is time to work.
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace lorvant
