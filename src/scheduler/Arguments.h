// How a program action's argument text becomes the words the program is
// started with. Shared by the runner, which starts it, and the check made
// when a task is saved, which refuses a text that could never start.
#pragma once

#include <string>
#include <vector>

namespace lorvant {

// The words of an argument text: blanks separate them, "…" groups with \"
// and \\ as escapes, '…' groups literally. Nothing is expanded. Throws
// ETaskError for an unclosed quote or a control character.
std::vector<std::string> SplitArguments(const std::string& text);

}  // namespace lorvant
