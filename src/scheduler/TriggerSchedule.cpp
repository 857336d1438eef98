#include "scheduler/TriggerSchedule.h"

#include <limits>

#include "scheduler/SchedUtils.h"

namespace lorvant {
namespace {

constexpr int64_t kNever = std::numeric_limits<int64_t>::max();
// How far a search for a qualifying day looks: long enough for a 29
// February that only comes every eight years around a century.
constexpr int64_t kHorizonDays = 366 * 9;

struct Plan {
  int64_t start_day = 0;  // days since 1970-01-01
  DateTime start;
  int64_t start_epoch = 0;
  int64_t end_epoch = kNever;
  int64_t interval = 0;  // seconds; 0 for no repetition
  int64_t duration = 0;  // seconds; 0 for until the next start
};

bool MakePlan(const TriggerDef& t, Plan* plan) {
  if (!IsCalendarTrigger(t.Type) || !t.Enabled) return false;
  TDateTime start = IsoToDateTime(t.StartBoundary);
  if (start == 0) return false;
  plan->start = DecodeDateTime(start);
  plan->start.millisecond = 0;
  plan->start_day = DaysFromCivil(plan->start.year, plan->start.month, plan->start.day);
  plan->start_epoch = LocalToEpoch(plan->start);
  TDateTime end = IsoToDateTime(t.EndBoundary);
  plan->end_epoch = end == 0 ? kNever : DateTimeToEpoch(end);
  plan->interval = static_cast<int64_t>(IsoDurationToMinutes(t.Repetition.Interval)) * 60;
  plan->duration = static_cast<int64_t>(IsoDurationToMinutes(t.Repetition.Duration)) * 60;
  return true;
}

int64_t WeekIndex(int64_t day) {
  // Weeks begin on Sunday; 1970-01-01 was a Thursday (4).
  int64_t dow = ((day % 7) + 7 + 4) % 7;
  int64_t sunday = day - dow;
  return sunday >= 0 ? sunday / 7 : -((-sunday + 6) / 7);
}

bool Qualifies(const TriggerDef& t, const Plan& p, int64_t day) {
  if (day < p.start_day) return false;
  int y, m, d;
  CivilFromDays(day, &y, &m, &d);
  int dow = DayOfWeek(y, m, d);
  switch (t.Type) {
    case kTriggerTime:
      return day == p.start_day;
    case kTriggerDaily: {
      int64_t every = t.DaysInterval < 1 ? 1 : t.DaysInterval;
      return (day - p.start_day) % every == 0;
    }
    case kTriggerWeekly: {
      int64_t every = t.WeeksInterval < 1 ? 1 : t.WeeksInterval;
      return (t.DaysOfWeek >> dow & 1) != 0 &&
             (WeekIndex(day) - WeekIndex(p.start_day)) % every == 0;
    }
    case kTriggerMonthly:
      return (t.MonthsOfYear >> (m - 1) & 1) != 0 && (t.DaysOfMonth >> (d - 1) & 1) != 0;
    case kTriggerMonthlyDow: {
      if ((t.MonthsOfYear >> (m - 1) & 1) == 0 || (t.DaysOfWeek >> dow & 1) == 0) return false;
      int week = (d - 1) / 7 + 1;
      if (week <= 4 && (t.WeeksOfMonth >> (week - 1) & 1) != 0) return true;
      bool last_week = d + 7 > DaysInMonth(y, m);
      return last_week && ((t.WeeksOfMonth & 0x10) != 0 || t.RunOnLastWeekOfMonth);
    }
    default:
      return false;
  }
}

int64_t BaseEpoch(const Plan& p, int64_t day) {
  DateTime c = p.start;
  CivilFromDays(day, &c.year, &c.month, &c.day);
  return LocalToEpoch(c);
}

// The first qualifying day at or after `day`, or kNever.
int64_t NextDay(const TriggerDef& t, const Plan& p, int64_t day) {
  if (day < p.start_day) day = p.start_day;
  if (t.Type == kTriggerTime) return day == p.start_day ? day : kNever;
  if (t.Type == kTriggerDaily) {
    int64_t every = t.DaysInterval < 1 ? 1 : t.DaysInterval;
    int64_t n = (day - p.start_day + every - 1) / every;
    return p.start_day + n * every;
  }
  for (int64_t i = 0; i < kHorizonDays; ++i) {
    if (Qualifies(t, p, day + i)) return day + i;
  }
  return kNever;
}

// The last qualifying day at or before `day`, or kNever.
int64_t PrevDay(const TriggerDef& t, const Plan& p, int64_t day) {
  if (day < p.start_day) return kNever;
  if (t.Type == kTriggerTime) return p.start_day;
  if (t.Type == kTriggerDaily) {
    int64_t every = t.DaysInterval < 1 ? 1 : t.DaysInterval;
    return p.start_day + (day - p.start_day) / every * every;
  }
  for (int64_t i = 0; i < kHorizonDays && day - i >= p.start_day; ++i) {
    if (Qualifies(t, p, day - i)) return day - i;
  }
  return kNever;
}

int64_t DayOf(int64_t epoch) {
  DateTime c = EpochToLocal(epoch);
  return DaysFromCivil(c.year, c.month, c.day);
}

// The first start strictly after `after`.
int64_t NextBase(const TriggerDef& t, const Plan& p, int64_t after) {
  // A day earlier too: a start moved by a daylight-saving gap may fall on
  // the next local day.
  int64_t day = DayOf(after) - 1;
  for (int guard = 0; guard < 4; ++guard) {
    int64_t next = NextDay(t, p, day);
    if (next == kNever) return kNever;
    int64_t e = BaseEpoch(p, next);
    if (e > after) return e;
    day = next + 1;
  }
  return kNever;
}

}  // namespace

bool IsCalendarTrigger(int type) {
  return type == kTriggerTime || type == kTriggerDaily || type == kTriggerWeekly ||
         type == kTriggerMonthly || type == kTriggerMonthlyDow;
}

bool TriggerTypeFires(int type) {
  return IsCalendarTrigger(type) || type == kTriggerBoot || type == kTriggerLogon;
}

int64_t NextOccurrence(const TriggerDef& trigger, int64_t after) {
  Plan p;
  if (!MakePlan(trigger, &p)) return 0;
  int64_t best = NextBase(trigger, p, after);
  if (p.interval > 0) {
    // The repetition of the latest start at or before `after`.
    int64_t day = PrevDay(trigger, p, DayOf(after) + 1);
    for (int guard = 0; guard < 3 && day != kNever; ++guard) {
      int64_t base = BaseEpoch(p, day);
      if (base <= after) {
        int64_t window_end = NextBase(trigger, p, base);
        if (p.duration > 0 && base + p.duration < window_end) window_end = base + p.duration;
        int64_t k = (after - base) / p.interval + 1;
        int64_t t = base + k * p.interval;
        if (t < window_end && t < best) best = t;
        break;
      }
      day = PrevDay(trigger, p, day - 1);
    }
  }
  if (best == kNever || best > p.end_epoch) return 0;
  return best;
}

int64_t LatestOccurrence(const TriggerDef& trigger, int64_t after, int64_t until) {
  Plan p;
  if (!MakePlan(trigger, &p)) return 0;
  if (until > p.end_epoch) until = p.end_epoch;
  // The latest start at or before `until`; its repetition holds the latest
  // occurrence, since a repetition never outlasts the next start.
  int64_t day = PrevDay(trigger, p, DayOf(until) + 1);
  int64_t base = kNever;
  for (int guard = 0; guard < 3 && day != kNever; ++guard) {
    int64_t e = BaseEpoch(p, day);
    if (e <= until) {
      base = e;
      break;
    }
    day = PrevDay(trigger, p, day - 1);
  }
  if (base == kNever) return 0;
  int64_t latest = base;
  if (p.interval > 0) {
    int64_t window_end = NextBase(trigger, p, base);
    if (p.duration > 0 && base + p.duration < window_end) window_end = base + p.duration;
    int64_t last = until < window_end ? until : window_end - 1;
    latest = base + (last - base) / p.interval * p.interval;
  }
  return latest > after ? latest : 0;
}

int64_t NextRunOf(const TaskDefinitionData& definition, int64_t now) {
  if (!definition.Settings.Enabled) return 0;
  int64_t best = 0;
  for (const TriggerDef& t : definition.Triggers) {
    int64_t next = NextOccurrence(t, now);
    if (next != 0 && (best == 0 || next < best)) best = next;
  }
  return best;
}

}  // namespace lorvant
