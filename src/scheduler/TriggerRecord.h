// The first generation's 48-byte trigger record, its translation to and
// from a service trigger, and the description text of a service trigger.
// The record is the program's own model of a schedule in both generations.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "scheduler/TaskModel.h"

namespace lorvant {

// Record flags.
inline constexpr uint32_t kTriggerFlagHasEndDate = 0x1;
inline constexpr uint32_t kTriggerFlagKillAtDurationEnd = 0x2;
inline constexpr uint32_t kTriggerFlagDisabled = 0x4;

// The kind details, by kind; the eight bytes are shared.
union TriggerTypeUnion {
  struct {
    uint16_t DaysInterval;
  } Daily;
  struct {
    uint16_t WeeksInterval;
    uint16_t rgfDaysOfTheWeek;
  } Weekly;
  struct {
    uint32_t rgfDays;
    uint16_t rgfMonths;
  } MonthlyDate;
  struct {
    uint16_t wWhichWeek;
    uint16_t rgfDaysOfTheWeek;
    uint16_t rgfMonths;
  } MonthlyDOW;
  uint8_t Bytes[8];
};
static_assert(sizeof(TriggerTypeUnion) == 8);

struct TaskTriggerRecord {
  uint16_t cbTriggerSize = 48;
  uint16_t Reserved1 = 0;
  uint16_t wBeginYear = 0, wBeginMonth = 0, wBeginDay = 0;
  uint16_t wEndYear = 0, wEndMonth = 0, wEndDay = 0;
  uint16_t wStartHour = 0, wStartMinute = 0;
  uint32_t MinutesDuration = 0;
  uint32_t MinutesInterval = 0;
  uint32_t rgFlags = 0;
  uint32_t TriggerType = 0;
  TriggerTypeUnion Type = {};
  uint16_t Reserved2 = 0;
  uint16_t wRandomMinutesInterval = 0;
};

// The record as its 48 little-endian bytes and back.
TriggerRecordBytes PackTriggerRecord(const TaskTriggerRecord& record);
TaskTriggerRecord UnpackTriggerRecord(const TriggerRecordBytes& bytes);

// The kinds of TTriggerType in order; the first eight share the first
// generation's numbers.
enum TTriggerType : uint8_t {
  ttOnce,
  ttDaily,
  ttWeekly,
  ttMonthlyDate,
  ttMonthlyDow,
  ttOnIdle,
  ttAtStartup,
  ttAtLogon,
  ttOnConnect,
  ttOnDisconnect,
  ttOnLock,
  ttOnUnlock,
  ttUnknown
};

// The service trigger type a kind is written as; -1 for ttUnknown.
int ServiceTypeOfKind(TTriggerType kind);
// The kind of a service trigger (session triggers by their state change).
TTriggerType KindOfServiceTrigger(const TriggerDef& trigger);

// True when triggers of `kind` really fire on this machine (see
// TriggerTypeFires); the windows offer no other kind.
bool TriggerKindFires(TTriggerType kind);
// The kinds that fire, in enumeration order.
std::vector<TTriggerType> FiringTriggerKinds();

// "hh:nn:00", "yyyy-mm-ddThh:nn:00" and "yyyy-mm-ddT00:00:00" of a record.
std::string RecordStartTimeText(const TaskTriggerRecord& r);
std::string RecordBeginText(const TaskTriggerRecord& r);
std::string RecordEndText(const TaskTriggerRecord& r);

// The service trigger a record stands for. vista_weeks (bits 0-4, first to
// last) chooses the weeks of a monthly-by-weekday trigger when not 0. The
// end boundary is the end of the record's last day, which the record
// includes.
TriggerDef RecordToServiceTrigger(const TaskTriggerRecord& r, int kind, int vista_weeks,
                                  const std::string& user_name);
// The record of a service trigger.
TaskTriggerRecord ServiceTriggerToRecord(const TriggerDef& t);

// The description of a service trigger ("At 09:30:00 every day", …), times
// and dates in the user's locale formats.
std::string DescribeServiceTrigger(const TriggerDef& t);
// Long day names (Sunday first) of the set bits 0-6, joined by ", ".
std::string WeekdayNamesText(int mask);
// Month numbers of the set bits 0-11, joined by ", ".
std::string MonthNumbersText(int mask);

}  // namespace lorvant
