// Test support for the real executable: run it without a shell, write task
// files, and read back a run's log messages without their time stamps.
#pragma once

#include <string>
#include <vector>

namespace lorvant::test {

// Runs Lorvant with exactly `args`, the test process's environment and,
// when given, `cwd` as working folder. Returns what it printed (stdout and
// stderr); fails the test when a sanitizer spoke.
std::string RunLorvant(const std::vector<std::string>& args, int* exit_code,
                       const std::string& cwd = "");
// As RunLorvant, also giving the run's peak resident memory in KiB.
std::string RunLorvantMeasured(const std::vector<std::string>& args, int* exit_code,
                               long* peak_kib);

// The text of a split task file.
std::string TaskText(const std::string& source, const std::string& dest,
                     const std::string& max_lines);
void WriteTask(const std::string& task, const std::string& source, const std::string& dest,
               const std::string& max_lines);

// The log's messages without their time stamps, whose shape is checked; a
// message spanning several physical lines comes back whole, joined by CR LF.
std::vector<std::string> LogEntries(const std::string& log_file);

}  // namespace lorvant::test
