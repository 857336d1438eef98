// The text of the store's files: a task file ("<name>.task", every value of
// a stored task, one key a line under sections) and a state file (what the
// runner records). Each key of a task file is written and read through one
// table of fields, so the writer and the reader cannot drift apart.
#pragma once

#include <string>

#include "scheduler/TaskModel.h"

namespace lorvant {

// The text of a task file and back; Parse throws EServiceError naming
// `file` and the line for anything it cannot read (a bad header, line,
// escape, or a number that is not one or out of its field's range).
std::string FormatTaskFile(const StoredTask& task);
StoredTask ParseTaskFile(const std::string& text, const std::string& file);

// The text of a state file and back; Parse throws EServiceError as above.
std::string FormatStateFile(const RunState& state);
RunState ParseStateFile(const std::string& text, const std::string& file);

}  // namespace lorvant
