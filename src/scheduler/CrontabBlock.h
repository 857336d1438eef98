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

// The word quoted for sh inside a crontab line: single quotes ('\'' for a
// quote) and '%' escaped for cron. Throws ESchedulerError for a control
// character, which no crontab line can carry.
std::string CronQuote(const std::string& word);

// The crontab line (without line end) that runs `command_words` at
// `schedule` ("30 2,3 * * *", "@reboot"), tagged with the store's mark.
// Throws ESchedulerError when a word holds a control character or the line
// is longer than cron reads.
std::string CronLine(const std::string& schedule, const std::vector<std::string>& command_words,
                     const std::string& mark);

// `crontab` with the block of `mark` replaced by `lines` (removed when
// `lines` is empty). Lines of ours outside a block and a block left half
// written (a begin marker without its end, or the reverse) are dropped; the
// new block stands where the old one began, else at the end.
std::string MergeCrontabBlock(const std::string& crontab, const std::string& mark,
                              const std::vector<std::string>& lines);

// The lines of crontab that belong to the block of `mark`, markers left out.
std::vector<std::string> CrontabBlockLines(const std::string& crontab, const std::string& mark);

}  // namespace lorvant
