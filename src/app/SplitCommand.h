// The "split" command: a split given by its source, output folder and
// options on the command line instead of in a task file, run by the same
// executor and engine as a task file's run.
#pragma once

#include <string>
#include <vector>

namespace lorvant {

class TFileSplitSession;

// Lines per piece when -l is not given.
inline constexpr int kDefaultSplitLines = 10000;

// Fills session from the words after "split": SOURCE, DEST and the options
// (-l/--lines N, --header N, --max-bytes SIZE, --csv, --keep-line-ends; a
// value after a blank or an "=", or right after -l), in any order; "--" ends the options, and
// the last of a repeated option counts. False, with a one-line reason in
// *error, when the words do not make a split; session is then unspecified.
bool ParseSplitCommand(const std::vector<std::string>& words, TFileSplitSession* session,
                       std::string* error);

// The "split" part of the usage, for --help; app_name is how the program
// was called.
std::string SplitCommandUsage(const std::string& app_name);

// Whether words (those after "split") ask for the usage: -h or --help
// before any "--".
bool AsksForHelp(const std::vector<std::string>& words);

// Parses words (those after "split") and runs the split; -h or --help
// prints the usage on standard output instead (exit code 0). Bad words: their
// reason and a usage hint on standard error, nothing touched. Otherwise the
// run reports on standard error: a progress line while stderr is a
// terminal, failures through the "cmdline" and "Global" loggers, then the
// summary. Returns the exit code: 0 done, 1 bad words or the run failed,
// 2 the run ended with failed lines.
int RunSplitCommand(const std::vector<std::string>& words, const std::string& app_name);

}  // namespace lorvant
