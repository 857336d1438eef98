// Local date and time broken into fields, and the few fixed-width patterns
// the system writes them in (log lines, file names, list entries).
#pragma once

#include <chrono>
#include <string>

namespace lorvant {

struct DateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};

using SystemTime = std::chrono::system_clock::time_point;

// The current local date and time.
DateTime LocalNow();
// `t` in local time.
DateTime ToLocalDateTime(SystemTime t);
// A last-write time in nanoseconds since the epoch, in local time.
DateTime LocalFromNanoseconds(long long ns);

// "yyyy-mm-dd hh:mm:ss:zzz", the time stamp of every log line.
std::string FormatLogTimestamp(const DateTime& t);

}  // namespace lorvant
