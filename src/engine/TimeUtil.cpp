#include "engine/TimeUtil.h"

#include <cmath>
#include <cstdio>

namespace lorvant {

std::string FormatElapsed(bool with_milliseconds, double ms) {
  if (ms < 0) ms = 0;
  long long hours = 0, minutes = 0;
  double rest = ms;
  if (rest >= 3600000.0) {
    hours = static_cast<long long>(std::floor(rest / 3600000.0));
    rest -= static_cast<double>(hours) * 3600000.0;
  }
  if (rest >= 60000.0) {
    minutes = static_cast<long long>(std::floor(rest / 60000.0));
    rest -= static_cast<double>(minutes) * 60000.0;
  }
  char buf[64];
  if (with_milliseconds) {
    long long seconds = static_cast<long long>(std::floor(rest / 1000.0));
    long long millis = std::llround(rest - static_cast<double>(seconds) * 1000.0);
    std::snprintf(buf, sizeof(buf), "%.2lld:%.2lld:%.2lld.%.3lld", hours, minutes, seconds, millis);
  } else {
    long long seconds = static_cast<long long>(std::nearbyint(rest / 1000.0));  // half to even
    if (seconds == 60) {
      seconds = 0;
      if (++minutes == 60) {
        minutes = 0;
        ++hours;
      }
    }
    std::snprintf(buf, sizeof(buf), "%.2lld:%.2lld:%.2lld", hours, minutes, seconds);
  }
  return buf;
}

double EstimateRemaining(int64_t done, int64_t total, double elapsed_ms) {
  if (done == 0 || total == 0) return 0;
  return elapsed_ms / (static_cast<double>(done) / static_cast<double>(total)) - elapsed_ms;
}

std::string FileTimestamp(const DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04d_%02d_%02d_%02d_%02d_%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::string DisplayTimestamp(const DateTime& t) {
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

}  // namespace lorvant
