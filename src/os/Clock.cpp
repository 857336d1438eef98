#include "os/Clock.h"

#include "os/Env.h"

#include <cstdio>
#include <ctime>

namespace lorvant {

DateTime LocalFromNanoseconds(long long ns) {
  time_t secs = static_cast<time_t>(ns / 1000000000);
  long long rest = ns % 1000000000;
  if (rest < 0) {
    rest += 1000000000;
    --secs;
  }
  struct tm tm;
  ::localtime_r(&secs, &tm);
  DateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  d.millisecond = static_cast<int>(rest / 1000000);
  return d;
}

DateTime ToLocalDateTime(SystemTime t) {
  return LocalFromNanoseconds(
      std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count());
}

DateTime LocalNow() { return LocalFromNanoseconds(Env::Default()->WallClockNs()); }

std::string FormatLogTimestamp(const DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d:%03d", t.year, t.month, t.day,
                t.hour, t.minute, t.second, t.millisecond);
  return buf;
}

}  // namespace lorvant
