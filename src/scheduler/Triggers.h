// A scheduled task's triggers as the program models them: each TTrigger
// keeps a 48-byte trigger record in memory in both generations; the
// collection loads them from the task, writes them back (the record itself
// in the first generation, typed service triggers in the second) and
// describes them in words.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "scheduler/SchedTime.h"
#include "scheduler/TaskModel.h"
#include "scheduler/TriggerRecord.h"

namespace lorvant {

class TTaskItem;
class TTriggers;

// Weeks of a monthly-by-weekday trigger: bits 0-4 are first to last.
enum TVistaMDOWWeek : uint8_t { tvmdowFirst, tvmdowSecond, tvmdowThird, tvmdowFourth, tvmdowLast };
using TVistaMDOWWeeks = uint8_t;

class TTrigger {
 public:
  explicit TTrigger(TTriggers* owner);
  TTrigger(const TTrigger&) = delete;
  TTrigger& operator=(const TTrigger&) = delete;

  TTriggerType GetTriggerType() const {
    return static_cast<TTriggerType>(FTaskTrigger.TriggerType & 0xFF);
  }
  void SetTriggerType(TTriggerType t) { FTaskTrigger.TriggerType = t; }
  // Second generation: GetStartVistaDateTime; first: the record's begin
  // date (0 when it is not a valid date).
  TDateTime GetBeginDate();
  // Stores the date in the record; in the second generation also the start
  // boundary, as BeginText.
  void SetBeginDate(TDateTime date);
  // The record's hour and minute (0 when invalid); writing changes the
  // record only.
  TDateTime GetStartTime() const;
  void SetStartTime(TDateTime time);
  TDateTime GetEndDate() const;
  void SetEndDate(TDateTime date);
  bool GetHasEndDate() const { return (FTaskTrigger.rgFlags & kTriggerFlagHasEndDate) != 0; }
  void SetHasEndDate(bool v);
  bool GetEnabled() const { return (FTaskTrigger.rgFlags & kTriggerFlagDisabled) == 0; }
  TriggerTypeUnion GetDetails() const { return FTaskTrigger.Type; }
  void SetDetails(const TriggerTypeUnion& d) { FTaskTrigger.Type = d; }
  const std::string& GetUserName() const { return FUserName; }
  void SetUserName(const std::string& v) { FUserName = v; }
  uint32_t GetConnectionType() const { return FConnectionType; }
  void SetConnectionType(uint32_t v) { FConnectionType = v; }
  TVistaMDOWWeeks GetVistaMonthlyDOWWeeks() const { return FVistaMDOWWeeks; }
  // Stores the set and, with a second-generation trigger attached,
  // rewrites it with SetMonthlyDOWTrigger.
  void SetVistaMonthlyDOWWeeks(TVistaMDOWWeeks weeks);
  // Repetition, in minutes; the second generation writes through.
  uint32_t GetDuration() const;
  void SetDuration(uint32_t minutes);
  uint32_t GetInterval() const;
  void SetInterval(uint32_t minutes);
  bool GetKillAtDurationEnd() const;
  void SetKillAtDurationEnd(bool v);
  // The description ("At 09:30:00 every day", …).
  std::string AsString() const;

  // The trigger's start: its start boundary when set, else the record's
  // begin date, else 0.
  TDateTime GetStartVistaDateTime() const;
  // Readers: fill the record from the attached service trigger, set
  // BeginDate from GetStartVistaDateTime and return a copy of the record.
  TaskTriggerRecord GetDailyTrigger();
  TaskTriggerRecord GetWeeklyTrigger();
  TaskTriggerRecord GetMonthlyTrigger();
  TaskTriggerRecord GetMonthlyDOWTrigger();
  // Writers: the attached service trigger from the record.
  void SetTimeTrigger();
  void SetDailyTrigger();
  void SetWeeklyTrigger();
  void SetMonthlyTrigger();
  void SetMonthlyDOWTrigger();
  void SetIdleTrigger();
  void SetBootTrigger();
  void SetLogonTrigger();
  void SetSessionTrigger(int state_change);

  // "hh:nn:00", "yyyy-mm-ddThh:nn:00", "yyyy-mm-ddT00:00:00".
  std::string StartTimeText() const { return RecordStartTimeText(FTaskTrigger); }
  std::string BeginText() const { return RecordBeginText(FTaskTrigger); }
  std::string EndText() const { return RecordEndText(FTaskTrigger); }

  const TaskTriggerRecord& Record() const { return FTaskTrigger; }

 private:
  friend class TTriggers;
  // The attached second-generation trigger, or nullptr.
  TriggerDef* Vista() const;
  void WriteBoundaries(TriggerDef* t);
  void ReloadBeginDate();
  void SetStartWhenAvailable();

  int FInterface = -1;       // first generation: the work item's trigger index
  int FInterfaceVista = -1;  // second generation: the definition's trigger index
  TaskTriggerRecord FTaskTrigger;
  TTriggers* FTaskTriggers;
  uint32_t FConnectionType = 0;
  std::string FUserName;
  TVistaMDOWWeeks FVistaMDOWWeeks = 0;
};

class TTriggers {
 public:
  explicit TTriggers(TTaskItem* item) : FTaskItem(item) {}
  TTriggers(const TTriggers&) = delete;
  TTriggers& operator=(const TTriggers&) = delete;

  // Adds a trigger of the kind to the task and the collection; nullptr for
  // ttUnknown in the second generation.
  TTrigger* Add(TTriggerType kind);
  // Removes every trigger from the task and the collection.
  void Clear();
  // Reloads the collection from the task.
  void InitTriggers();
  // Writes every trigger's record to the task.
  void UpdateTriggers();
  // "<Task not scheduled>", the one description, or "1. …" lines.
  void GetTriggerStrings(std::vector<std::string>* strings) const;
  // Throws ETriggerError "Trigger index out of bounds (%d)".
  TTrigger* GetItem(int index) const;
  TTrigger* operator[](int index) const { return GetItem(index); }
  int Count() const { return static_cast<int>(items_.size()); }

  TTaskItem* TaskItem() const { return FTaskItem; }

 private:
  TTaskItem* FTaskItem;  // not owned
  std::vector<std::unique_ptr<TTrigger>> items_;
};

}  // namespace lorvant
