// Whether a task can run as written, asked before anything is stored: a
// definition that could never run (a program that cannot be started with
// its arguments, a single start that has passed, a trigger kind that never
// fires here, values the store cannot keep) is refused with the reason,
// instead of being scheduled and failing only in the runner's log.
#pragma once

#include <cstdint>
#include <string>

#include "scheduler/TaskModel.h"

namespace lorvant {

// "" when the task can be stored and run as written at `now` (seconds since
// the epoch); else the reason, a sentence the windows show as it is.
std::string DefinitionProblem(const StoredTask& task, int64_t now);

}  // namespace lorvant
