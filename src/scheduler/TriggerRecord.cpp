#include "scheduler/TriggerRecord.h"

#include <langinfo.h>

#include <cstdio>
#include <ctime>

#include "scheduler/SchedUtils.h"
#include "scheduler/TriggerSchedule.h"

namespace lorvant {
namespace {

void Put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

std::string Two(int v) {
  char buf[8];
  std::snprintf(buf, sizeof(buf), "%02d", v);
  return buf;
}

std::string DateText(int y, int m, int d) {
  char buf[40];
  std::snprintf(buf, sizeof(buf), "%04d-%02d-%02d", y, m, d);
  return buf;
}

std::string FormatLocale(TDateTime value, const char* pattern) {
  DateTime c = DecodeDateTime(value);
  struct tm tm = {};
  tm.tm_year = c.year - 1900;
  tm.tm_mon = c.month - 1;
  tm.tm_mday = c.day;
  tm.tm_hour = c.hour;
  tm.tm_min = c.minute;
  tm.tm_sec = c.second;
  char buf[128];
  size_t n = std::strftime(buf, sizeof(buf), pattern, &tm);
  return std::string(buf, n);
}

std::string Joined(const std::string& a, const std::string& b) {
  return a.empty() ? b : a + ", " + b;
}

}  // namespace

TriggerRecordBytes PackTriggerRecord(const TaskTriggerRecord& r) {
  TriggerRecordBytes b{};
  uint8_t* p = b.data();
  Put16(p + 0, r.cbTriggerSize);
  Put16(p + 2, r.Reserved1);
  Put16(p + 4, r.wBeginYear);
  Put16(p + 6, r.wBeginMonth);
  Put16(p + 8, r.wBeginDay);
  Put16(p + 10, r.wEndYear);
  Put16(p + 12, r.wEndMonth);
  Put16(p + 14, r.wEndDay);
  Put16(p + 16, r.wStartHour);
  Put16(p + 18, r.wStartMinute);
  Put32(p + 20, r.MinutesDuration);
  Put32(p + 24, r.MinutesInterval);
  Put32(p + 28, r.rgFlags);
  Put32(p + 32, r.TriggerType);
  // The details as their fields lay them out, little-endian.
  Put32(p + 36, static_cast<uint32_t>(r.Type.MonthlyDOW.wWhichWeek) |
                    static_cast<uint32_t>(r.Type.MonthlyDOW.rgfDaysOfTheWeek) << 16);
  Put16(p + 40, r.Type.MonthlyDOW.rgfMonths);
  Put16(p + 42, Get16(r.Type.Bytes + 6));
  Put16(p + 44, r.Reserved2);
  Put16(p + 46, r.wRandomMinutesInterval);
  return b;
}

TaskTriggerRecord UnpackTriggerRecord(const TriggerRecordBytes& b) {
  const uint8_t* p = b.data();
  TaskTriggerRecord r;
  r.cbTriggerSize = Get16(p + 0);
  r.Reserved1 = Get16(p + 2);
  r.wBeginYear = Get16(p + 4);
  r.wBeginMonth = Get16(p + 6);
  r.wBeginDay = Get16(p + 8);
  r.wEndYear = Get16(p + 10);
  r.wEndMonth = Get16(p + 12);
  r.wEndDay = Get16(p + 14);
  r.wStartHour = Get16(p + 16);
  r.wStartMinute = Get16(p + 18);
  r.MinutesDuration = Get32(p + 20);
  r.MinutesInterval = Get32(p + 24);
  r.rgFlags = Get32(p + 28);
  r.TriggerType = Get32(p + 32);
  r.Type.MonthlyDOW.wWhichWeek = Get16(p + 36);
  r.Type.MonthlyDOW.rgfDaysOfTheWeek = Get16(p + 38);
  r.Type.MonthlyDOW.rgfMonths = Get16(p + 40);
  uint16_t last = Get16(p + 42);
  r.Type.Bytes[6] = static_cast<uint8_t>(last);
  r.Type.Bytes[7] = static_cast<uint8_t>(last >> 8);
  r.Reserved2 = Get16(p + 44);
  r.wRandomMinutesInterval = Get16(p + 46);
  return r;
}

int ServiceTypeOfKind(TTriggerType kind) {
  switch (kind) {
    case ttOnce:
      return kTriggerTime;
    case ttDaily:
      return kTriggerDaily;
    case ttWeekly:
      return kTriggerWeekly;
    case ttMonthlyDate:
      return kTriggerMonthly;
    case ttMonthlyDow:
      return kTriggerMonthlyDow;
    case ttOnIdle:
      return kTriggerIdle;
    case ttAtStartup:
      return kTriggerBoot;
    case ttAtLogon:
      return kTriggerLogon;
    case ttOnConnect:
    case ttOnDisconnect:
    case ttOnLock:
    case ttOnUnlock:
      return kTriggerSessionStateChange;
    default:
      return -1;
  }
}

bool TriggerKindFires(TTriggerType kind) {
  int type = ServiceTypeOfKind(kind);
  return type >= 0 && TriggerTypeFires(type);
}

std::vector<TTriggerType> FiringTriggerKinds() {
  std::vector<TTriggerType> kinds;
  for (int k = ttOnce; k < ttUnknown; ++k) {
    if (TriggerKindFires(static_cast<TTriggerType>(k)))
      kinds.push_back(static_cast<TTriggerType>(k));
  }
  return kinds;
}

TTriggerType KindOfServiceTrigger(const TriggerDef& t) {
  switch (t.Type) {
    case kTriggerTime:
      return ttOnce;
    case kTriggerDaily:
      return ttDaily;
    case kTriggerWeekly:
      return ttWeekly;
    case kTriggerMonthly:
      return ttMonthlyDate;
    case kTriggerMonthlyDow:
      return ttMonthlyDow;
    case kTriggerIdle:
      return ttOnIdle;
    case kTriggerBoot:
      return ttAtStartup;
    case kTriggerLogon:
      return ttAtLogon;
    default:
      return ttUnknown;
  }
}

std::string RecordStartTimeText(const TaskTriggerRecord& r) {
  return Two(r.wStartHour) + ":" + Two(r.wStartMinute) + ":00";
}

std::string RecordBeginText(const TaskTriggerRecord& r) {
  return DateText(r.wBeginYear, r.wBeginMonth, r.wBeginDay) + "T" + RecordStartTimeText(r);
}

std::string RecordEndText(const TaskTriggerRecord& r) {
  return DateText(r.wEndYear, r.wEndMonth, r.wEndDay) + "T00:00:00";
}

TriggerDef RecordToServiceTrigger(const TaskTriggerRecord& r, int kind, int vista_weeks,
                                  const std::string& user_name) {
  TriggerDef t;
  t.Type = ServiceTypeOfKind(static_cast<TTriggerType>(kind));
  if (IsValidDate(r.wBeginYear, r.wBeginMonth, r.wBeginDay) && r.wStartHour < 24 &&
      r.wStartMinute < 60) {
    t.StartBoundary = RecordBeginText(r);
  }
  if ((r.rgFlags & kTriggerFlagHasEndDate) != 0 &&
      IsValidDate(r.wEndYear, r.wEndMonth, r.wEndDay)) {
    t.EndBoundary = DateText(r.wEndYear, r.wEndMonth, r.wEndDay) + "T23:59:59";
  }
  t.Enabled = (r.rgFlags & kTriggerFlagDisabled) == 0;
  if (r.MinutesInterval > 0) {
    t.Repetition.Interval = MinutesToIsoDuration(r.MinutesInterval);
    if (r.MinutesDuration > 0) t.Repetition.Duration = MinutesToIsoDuration(r.MinutesDuration);
  }
  t.Repetition.StopAtDurationEnd = (r.rgFlags & kTriggerFlagKillAtDurationEnd) != 0;
  switch (kind) {
    case ttDaily:
      t.DaysInterval = r.Type.Daily.DaysInterval == 0 ? 1 : r.Type.Daily.DaysInterval;
      break;
    case ttWeekly:
      t.WeeksInterval = r.Type.Weekly.WeeksInterval == 0 ? 1 : r.Type.Weekly.WeeksInterval;
      t.DaysOfWeek = r.Type.Weekly.rgfDaysOfTheWeek;
      break;
    case ttMonthlyDate:
      t.DaysOfMonth = r.Type.MonthlyDate.rgfDays;
      t.MonthsOfYear = r.Type.MonthlyDate.rgfMonths;
      break;
    case ttMonthlyDow:
      t.DaysOfWeek = r.Type.MonthlyDOW.rgfDaysOfTheWeek;
      t.MonthsOfYear = r.Type.MonthlyDOW.rgfMonths;
      if (vista_weeks != 0) {
        t.WeeksOfMonth = (vista_weeks & 0xF) | ((vista_weeks & 0x10) != 0 ? 0x10 : 0);
        t.RunOnLastWeekOfMonth = (vista_weeks & 0x10) != 0;
      } else {
        int w = r.Type.MonthlyDOW.wWhichWeek;
        t.WeeksOfMonth = w == 0 ? 0 : static_cast<uint16_t>(1u << (w - 1));
        t.RunOnLastWeekOfMonth = w == 5;
      }
      break;
    case ttAtLogon:
      t.UserId = user_name;
      break;
    case ttOnConnect:
      t.StateChange = 3;
      t.UserId = user_name;
      break;
    case ttOnDisconnect:
      t.StateChange = 4;
      t.UserId = user_name;
      break;
    case ttOnLock:
      t.StateChange = 7;
      t.UserId = user_name;
      break;
    case ttOnUnlock:
      t.StateChange = 8;
      t.UserId = user_name;
      break;
    default:
      break;
  }
  return t;
}

TaskTriggerRecord ServiceTriggerToRecord(const TriggerDef& t) {
  TaskTriggerRecord r;
  TDateTime start = IsoToDateTime(t.StartBoundary);
  if (start != 0) {
    DateTime c = DecodeDateTime(start);
    r.wBeginYear = static_cast<uint16_t>(c.year);
    r.wBeginMonth = static_cast<uint16_t>(c.month);
    r.wBeginDay = static_cast<uint16_t>(c.day);
    r.wStartHour = static_cast<uint16_t>(c.hour);
    r.wStartMinute = static_cast<uint16_t>(c.minute);
  }
  TDateTime end = IsoToDateTime(t.EndBoundary);
  if (end != 0) {
    DateTime c = DecodeDateTime(end);
    r.wEndYear = static_cast<uint16_t>(c.year);
    r.wEndMonth = static_cast<uint16_t>(c.month);
    r.wEndDay = static_cast<uint16_t>(c.day);
    r.rgFlags |= kTriggerFlagHasEndDate;
  }
  if (!t.Enabled) r.rgFlags |= kTriggerFlagDisabled;
  if (t.Repetition.StopAtDurationEnd) r.rgFlags |= kTriggerFlagKillAtDurationEnd;
  r.MinutesInterval = IsoDurationToMinutes(t.Repetition.Interval);
  r.MinutesDuration = IsoDurationToMinutes(t.Repetition.Duration);
  TTriggerType kind = KindOfServiceTrigger(t);
  if (t.Type == kTriggerSessionStateChange) {
    kind = t.StateChange == 3   ? ttOnConnect
           : t.StateChange == 4 ? ttOnDisconnect
           : t.StateChange == 7 ? ttOnLock
                                : ttOnUnlock;
  }
  r.TriggerType = kind;
  switch (kind) {
    case ttDaily:
      r.Type.Daily.DaysInterval = static_cast<uint16_t>(t.DaysInterval);
      break;
    case ttWeekly:
      r.Type.Weekly.WeeksInterval = static_cast<uint16_t>(t.WeeksInterval);
      r.Type.Weekly.rgfDaysOfTheWeek = static_cast<uint16_t>(t.DaysOfWeek);
      break;
    case ttMonthlyDate:
      r.Type.MonthlyDate.rgfDays = t.DaysOfMonth;
      r.Type.MonthlyDate.rgfMonths = static_cast<uint16_t>(t.MonthsOfYear);
      break;
    case ttMonthlyDow: {
      r.Type.MonthlyDOW.rgfDaysOfTheWeek = static_cast<uint16_t>(t.DaysOfWeek);
      r.Type.MonthlyDOW.rgfMonths = static_cast<uint16_t>(t.MonthsOfYear);
      int w = t.WeeksOfMonth, highest = -1;
      for (int i = 0; i < 16; ++i) {
        if ((w >> i & 1) != 0) highest = i;
      }
      r.Type.MonthlyDOW.wWhichWeek =
          static_cast<uint16_t>(w != 0 ? highest + 1 : (t.RunOnLastWeekOfMonth ? 5 : 0));
      break;
    }
    default:
      break;
  }
  return r;
}

std::string WeekdayNamesText(int mask) {
  static const nl_item kDays[] = {DAY_1, DAY_2, DAY_3, DAY_4, DAY_5, DAY_6, DAY_7};
  std::string out;
  for (int i = 0; i < 7; ++i) {
    if ((mask >> i & 1) != 0) out = Joined(out, nl_langinfo(kDays[i]));
  }
  return out;
}

std::string MonthNumbersText(int mask) {
  std::string out;
  for (int i = 0; i < 12; ++i) {
    if ((mask >> i & 1) != 0) out = Joined(out, std::to_string(i + 1));
  }
  return out;
}

std::string DescribeServiceTrigger(const TriggerDef& t) {
  TDateTime start = IsoToDateTime(t.StartBoundary);
  std::string time = FormatLocale(start, "%X");
  std::string date = FormatLocale(start, "%x");
  char buf[512];
  switch (t.Type) {
    case kTriggerEvent:
      return "At event";
    case kTriggerTime:
      return "At " + time + " on " + date;
    case kTriggerDaily:
      if (t.DaysInterval <= 1) return "At " + time + " every day";
      return "At " + time + " every " + std::to_string(t.DaysInterval) + " days";
    case kTriggerWeekly:
      if (t.WeeksInterval <= 1) {
        return "At " + time + " every " + WeekdayNamesText(t.DaysOfWeek) +
               " of every week, starting " + date;
      }
      return "At " + time + " every " + WeekdayNamesText(t.DaysOfWeek) + " of every " +
             std::to_string(t.WeeksInterval) + " weeks, starting " + date;
    case kTriggerMonthly: {
      std::string days;
      for (int d = 1; d <= 31; ++d) {
        if ((t.DaysOfMonth >> (d - 1) & 1) != 0) days = Joined(days, std::to_string(d));
      }
      return "At " + time + " on day " + days + " of month " + MonthNumbersText(t.MonthsOfYear) +
             ", starting " + date;
    }
    case kTriggerMonthlyDow: {
      static const char* kWeeks[] = {"First", "Second", "Third", "Fourth", "Last"};
      std::string weeks;
      for (int i = 1; i <= 5; ++i) {
        if ((t.WeeksOfMonth >> (i - 1) & 1) != 0) weeks = Joined(weeks, kWeeks[i - 1]);
      }
      if ((t.WeeksOfMonth & 0x10) == 0 && t.RunOnLastWeekOfMonth) weeks = Joined(weeks, "Last");
      return "Runs at " + time + " on the " + weeks + " " + WeekdayNamesText(t.DaysOfWeek) +
             " of month " + MonthNumbersText(t.MonthsOfYear) + ", starting " + date;
    }
    case kTriggerIdle:
      return "When computer is idle";
    case kTriggerRegistration:
      return "At task creation/modification";
    case kTriggerBoot:
      return "On system startup";
    case kTriggerLogon:
      return "At logon";
    case kTriggerSessionStateChange:
      switch (t.StateChange) {
        case 3:
          return "At connect to user session";
        case 4:
          return "At disconnect from user session";
        case 7:
          return "At session lock";
        default:
          return "At session unlock";
      }
    default:
      std::snprintf(buf, sizeof(buf), "Trigger %d", t.Type);
      return buf;
  }
}

}  // namespace lorvant
