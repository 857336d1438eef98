// Shell commands over the scheduler service, for the runner executable:
// schedule a program at a time, show a task's state and times, remove a
// task with its crontab lines.
#pragma once

#include <string>
#include <vector>

namespace lorvant {

// args[0] is "schedule", "show" or "remove" (see the runner's usage).
// Writes what the user is to see into *out; returns the exit code (0 done,
// 1 failed, 2 bad usage). Throws Exception for a failure of the service.
int RunSchedulerCommand(const std::vector<std::string>& args, std::string* out);

// The local date-time as "yyyy-mm-dd hh:nn:ss", or "never" for 0.
std::string DisplayDateTime(double value);

}  // namespace lorvant
