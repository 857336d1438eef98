#include "scheduler/SchedTime.h"

#include "os/Env.h"

#include <time.h>

#include <cmath>

namespace lorvant {
namespace {

// TDateTime day 0 (1899-12-30) counted from 1970-01-01.
constexpr int64_t kDelphiEpochDays = -25569;

bool FromTm(const DateTime& t, int isdst, int64_t* out) {
  struct tm tm = {};
  tm.tm_year = t.year - 1900;
  tm.tm_mon = t.month - 1;
  tm.tm_mday = t.day;
  tm.tm_hour = t.hour;
  tm.tm_min = t.minute;
  tm.tm_sec = t.second;
  tm.tm_isdst = isdst;
  time_t r = ::mktime(&tm);
  if (r == static_cast<time_t>(-1) && tm.tm_year != 69) return false;
  *out = static_cast<int64_t>(r);
  return true;
}

bool Matches(const DateTime& t, int64_t seconds) {
  DateTime back = EpochToLocal(seconds);
  return back.year == t.year && back.month == t.month && back.day == t.day && back.hour == t.hour &&
         back.minute == t.minute && back.second == t.second;
}

}  // namespace

int64_t DaysFromCivil(int year, int month, int day) {
  int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t mp = (month + 9) % 12;
  int64_t doy = (153 * mp + 2) / 5 + day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(int64_t z, int* year, int* month, int* day) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  *year = static_cast<int>(y + (m <= 2 ? 1 : 0));
  *month = static_cast<int>(m);
  *day = static_cast<int>(d);
}

int DayOfWeek(int year, int month, int day) {
  int64_t days = DaysFromCivil(year, month, day);
  return static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
}

int DaysInMonth(int year, int month) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

TDateTime EncodeDateTime(const DateTime& t) {
  double days = static_cast<double>(DaysFromCivil(t.year, t.month, t.day) - kDelphiEpochDays);
  double ms = ((t.hour * 60.0 + t.minute) * 60.0 + t.second) * 1000.0 + t.millisecond;
  return days + ms / 86400000.0;
}

DateTime DecodeDateTime(TDateTime value) {
  // Rounded to the millisecond first, so 10:30:00 never reads 10:29:59.999.
  int64_t total_ms = std::llround(value * 86400000.0);
  int64_t days = total_ms >= 0 ? total_ms / 86400000 : -((-total_ms + 86399999) / 86400000);
  int64_t ms = total_ms - days * 86400000;
  DateTime t;
  CivilFromDays(days + kDelphiEpochDays, &t.year, &t.month, &t.day);
  t.hour = static_cast<int>(ms / 3600000);
  t.minute = static_cast<int>(ms / 60000 % 60);
  t.second = static_cast<int>(ms / 1000 % 60);
  t.millisecond = static_cast<int>(ms % 1000);
  return t;
}

TDateTime DatePart(TDateTime value) {
  DateTime t = DecodeDateTime(value);
  t.hour = t.minute = t.second = t.millisecond = 0;
  return EncodeDateTime(t);
}

TDateTime TimePart(TDateTime value) {
  DateTime t = DecodeDateTime(value);
  return ((t.hour * 60.0 + t.minute) * 60.0 + t.second + t.millisecond / 1000.0) / 86400.0;
}

int64_t LocalToEpoch(const DateTime& t) {
  int64_t standard = 0, summer = 0;
  bool has_standard = FromTm(t, 0, &standard) && Matches(t, standard);
  bool has_summer = FromTm(t, 1, &summer) && Matches(t, summer);
  if (has_standard && has_summer) return standard < summer ? standard : summer;
  if (has_standard) return standard;
  if (has_summer) return summer;
  // In a gap: read with both offsets; the later instant is the wall-clock
  // time moved forward by the gap.
  int64_t a = 0, b = 0;
  bool ok_a = FromTm(t, 0, &a);
  bool ok_b = FromTm(t, 1, &b);
  if (ok_a && ok_b) return a > b ? a : b;
  if (ok_a) return a;
  if (ok_b) return b;
  return (DaysFromCivil(t.year, t.month, t.day) * 24 + t.hour) * 3600 + t.minute * 60 + t.second;
}

int64_t NowSeconds() { return Env::Default()->WallClockNs() / 1000000000; }

DateTime EpochToLocal(int64_t seconds) {
  return LocalFromNanoseconds(static_cast<long long>(seconds) * 1000000000);
}

TDateTime EpochToDateTime(int64_t seconds) {
  if (seconds == 0) return 0;
  return EncodeDateTime(EpochToLocal(seconds));
}

int64_t DateTimeToEpoch(TDateTime value) {
  if (value == 0) return 0;
  return LocalToEpoch(DecodeDateTime(value));
}

}  // namespace lorvant
