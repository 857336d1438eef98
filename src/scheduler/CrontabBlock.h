// The block of a crontab that belongs to one task store: our lines sit
// between a begin and an end marker that name the store, each line tagged
// with the store's mark, and everything else in the crontab stays byte for
// byte. Also the quoting that keeps a crontab line whole whatever a task's
// name or a path holds.
#pragma once

#include <string>
#include <vector>

namespace lorvant {

// A short mark derived from the store folder, so two stores (two programs'
// builds, a test's store beside the user's) never touch each other's block.
std::string StoreMark(const std::string& store_folder);

// The word quoted for sh inside a crontab line, so that cron hands sh the
// word and sh hands the program exactly the word. Cron changes only "\%"
// (to "%") and ends the command at a bare '%'; so the word goes in single
// quotes ('\'' for a quote), '%' as "\%", and every '\' is followed by a
// closing and reopening quote, never by '%' or another '\'. Throws
// ESchedulerError for a control character, which no crontab line can carry.
std::string CronQuote(const std::string& word);

// The crontab line (without line end) that runs `command_words` at
// `schedule` ("30 2,3 * * *", "@reboot"), tagged with the store's mark.
// Throws ESchedulerError when a word holds a control character or the line
// is longer than cron reads.
std::string CronLine(const std::string& schedule, const std::vector<std::string>& command_words,
                     const std::string& mark);

// The line that has the runner fire trigger `index` of task `name` of the
// store: "fire STORE TASK INDEX", or, when the store's path or the name
// holds a '\' or '%', "fire-hex" with both in hexadecimal, so that no
// rule of cron's can touch them.
std::string RunnerCronLine(const std::string& schedule, const std::string& runner,
                           const std::string& store_folder, const std::string& name, int index,
                           const std::string& mark);

// Bytes as lower-case hexadecimal and back; FromCronHex is false for a
// text that is not an even run of hexadecimal digits.
std::string ToCronHex(const std::string& bytes);
bool FromCronHex(const std::string& text, std::string* bytes);

// `crontab` with the block of `mark` replaced by `lines` (removed when
// `lines` is empty). Lines of ours outside a block and a block left half
// written (a begin marker without its end, or the reverse) are dropped; the
// new block stands where the old one began, else at the end.
std::string MergeCrontabBlock(const std::string& crontab, const std::string& mark,
                              const std::vector<std::string>& lines);

// The lines of crontab that belong to the block of `mark`, markers left out.
std::vector<std::string> CrontabBlockLines(const std::string& crontab, const std::string& mark);

}  // namespace lorvant
