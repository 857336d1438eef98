#include "scheduler/Triggers.h"

#include "scheduler/SchedUtils.h"
#include "scheduler/SchedulerErrors.h"
#include "scheduler/TaskItem.h"

namespace lorvant {
namespace {

TDateTime RecordDate(uint16_t y, uint16_t m, uint16_t d) {
  if (!IsValidDate(y, m, d)) return 0;
  DateTime t;
  t.year = y;
  t.month = m;
  t.day = d;
  return EncodeDateTime(t);
}

}  // namespace

TTrigger::TTrigger(TTriggers* owner) : FTaskTriggers(owner) {}

TriggerDef* TTrigger::Vista() const {
  TTaskItem* item = FTaskTriggers->TaskItem();
  if (FInterfaceVista < 0 || !item->Vista() || !item->TaskDefinition()) return nullptr;
  auto& triggers = item->TaskDefinition()->Triggers;
  if (static_cast<size_t>(FInterfaceVista) >= triggers.size()) return nullptr;
  return &triggers[static_cast<size_t>(FInterfaceVista)];
}

TDateTime TTrigger::GetBeginDate() {
  if (FTaskTriggers->TaskItem()->Vista()) return GetStartVistaDateTime();
  return RecordDate(FTaskTrigger.wBeginYear, FTaskTrigger.wBeginMonth, FTaskTrigger.wBeginDay);
}

void TTrigger::SetBeginDate(TDateTime date) {
  DateTime c = DecodeDateTime(date);
  FTaskTrigger.wBeginYear = static_cast<uint16_t>(c.year);
  FTaskTrigger.wBeginMonth = static_cast<uint16_t>(c.month);
  FTaskTrigger.wBeginDay = static_cast<uint16_t>(c.day);
  if (TriggerDef* t = Vista()) t->StartBoundary = BeginText();
}

TDateTime TTrigger::GetStartTime() const {
  if (FTaskTrigger.wStartHour > 23 || FTaskTrigger.wStartMinute > 59) return 0;
  return (FTaskTrigger.wStartHour * 60.0 + FTaskTrigger.wStartMinute) / 1440.0;
}

void TTrigger::SetStartTime(TDateTime time) {
  DateTime c = DecodeDateTime(time);
  FTaskTrigger.wStartHour = static_cast<uint16_t>(c.hour);
  FTaskTrigger.wStartMinute = static_cast<uint16_t>(c.minute);
}

TDateTime TTrigger::GetEndDate() const {
  return RecordDate(FTaskTrigger.wEndYear, FTaskTrigger.wEndMonth, FTaskTrigger.wEndDay);
}

void TTrigger::SetEndDate(TDateTime date) {
  DateTime c = DecodeDateTime(date);
  FTaskTrigger.wEndYear = static_cast<uint16_t>(c.year);
  FTaskTrigger.wEndMonth = static_cast<uint16_t>(c.month);
  FTaskTrigger.wEndDay = static_cast<uint16_t>(c.day);
}

void TTrigger::SetHasEndDate(bool v) {
  if (v) {
    FTaskTrigger.rgFlags |= kTriggerFlagHasEndDate;
  } else {
    FTaskTrigger.rgFlags &= ~kTriggerFlagHasEndDate;
  }
}

void TTrigger::SetVistaMonthlyDOWWeeks(TVistaMDOWWeeks weeks) {
  FVistaMDOWWeeks = weeks;
  if (Vista() != nullptr) SetMonthlyDOWTrigger();
}

uint32_t TTrigger::GetDuration() const {
  if (const TriggerDef* t = Vista()) return IsoDurationToMinutes(t->Repetition.Duration);
  return FTaskTrigger.MinutesDuration;
}

void TTrigger::SetDuration(uint32_t minutes) {
  FTaskTrigger.MinutesDuration = minutes;
  if (TriggerDef* t = Vista()) t->Repetition.Duration = MinutesToIsoDuration(minutes);
}

uint32_t TTrigger::GetInterval() const {
  if (const TriggerDef* t = Vista()) return IsoDurationToMinutes(t->Repetition.Interval);
  return FTaskTrigger.MinutesInterval;
}

void TTrigger::SetInterval(uint32_t minutes) {
  FTaskTrigger.MinutesInterval = minutes;
  if (TriggerDef* t = Vista()) t->Repetition.Interval = MinutesToIsoDuration(minutes);
}

bool TTrigger::GetKillAtDurationEnd() const {
  if (const TriggerDef* t = Vista()) return t->Repetition.StopAtDurationEnd;
  return (FTaskTrigger.rgFlags & kTriggerFlagKillAtDurationEnd) != 0;
}

void TTrigger::SetKillAtDurationEnd(bool v) {
  if (v) {
    FTaskTrigger.rgFlags |= kTriggerFlagKillAtDurationEnd;
  } else {
    FTaskTrigger.rgFlags &= ~kTriggerFlagKillAtDurationEnd;
  }
  if (TriggerDef* t = Vista()) t->Repetition.StopAtDurationEnd = v;
}

std::string TTrigger::AsString() const {
  TTaskItem* item = FTaskTriggers->TaskItem();
  if (!item->Vista()) {
    if (!item->WorkItemInterface() || FInterface < 0) return "";
    return item->WorkItemInterface()->GetTriggerString(FInterface);
  }
  const TriggerDef* t = Vista();
  return t == nullptr ? "" : DescribeServiceTrigger(*t);
}

TDateTime TTrigger::GetStartVistaDateTime() const {
  const TriggerDef* t = Vista();
  if (t != nullptr && !t->StartBoundary.empty()) return IsoToDateTime(t->StartBoundary);
  if (FTaskTrigger.wBeginYear + FTaskTrigger.wBeginMonth + FTaskTrigger.wBeginDay != 0) {
    return RecordDate(FTaskTrigger.wBeginYear, FTaskTrigger.wBeginMonth, FTaskTrigger.wBeginDay);
  }
  return 0;
}

void TTrigger::ReloadBeginDate() {
  // Writes the start boundary back in BeginText's form; a trigger without
  // any start keeps having none.
  TDateTime start = GetStartVistaDateTime();
  if (start != 0) SetBeginDate(start);
}

TaskTriggerRecord TTrigger::GetDailyTrigger() {
  if (const TriggerDef* t = Vista()) {
    FTaskTrigger.Type.Daily.DaysInterval = static_cast<uint16_t>(t->DaysInterval);
  }
  ReloadBeginDate();
  return FTaskTrigger;
}

TaskTriggerRecord TTrigger::GetWeeklyTrigger() {
  if (const TriggerDef* t = Vista()) {
    FTaskTrigger.Type.Weekly.WeeksInterval = static_cast<uint16_t>(t->WeeksInterval);
    FTaskTrigger.Type.Weekly.rgfDaysOfTheWeek = static_cast<uint16_t>(t->DaysOfWeek);
  }
  ReloadBeginDate();
  return FTaskTrigger;
}

TaskTriggerRecord TTrigger::GetMonthlyTrigger() {
  if (const TriggerDef* t = Vista()) {
    FTaskTrigger.Type.MonthlyDate.rgfDays = t->DaysOfMonth;
    FTaskTrigger.Type.MonthlyDate.rgfMonths = static_cast<uint16_t>(t->MonthsOfYear);
  }
  ReloadBeginDate();
  return FTaskTrigger;
}

TaskTriggerRecord TTrigger::GetMonthlyDOWTrigger() {
  if (const TriggerDef* t = Vista()) {
    auto& d = FTaskTrigger.Type.MonthlyDOW;
    d.rgfDaysOfTheWeek = static_cast<uint16_t>(t->DaysOfWeek);
    int w = t->WeeksOfMonth;
    if (w != 0) {
      int highest = 0;
      for (int i = 0; i < 16; ++i) {
        if ((w >> i & 1) != 0) highest = i;
      }
      d.wWhichWeek = static_cast<uint16_t>(highest + 1);
      FVistaMDOWWeeks = static_cast<TVistaMDOWWeeks>(w & 0x1F);
    } else {
      d.wWhichWeek = t->RunOnLastWeekOfMonth ? 5 : 0;
    }
    if (t->RunOnLastWeekOfMonth) FVistaMDOWWeeks |= 1u << tvmdowLast;
    d.rgfMonths = static_cast<uint16_t>(t->MonthsOfYear);
  }
  ReloadBeginDate();
  return FTaskTrigger;
}

void TTrigger::WriteBoundaries(TriggerDef* t) {
  t->StartBoundary = BeginText();
  // The record's end date is its last day, so the boundary is that day's
  // end; without the flag the trigger has no end.
  if (GetHasEndDate() && GetEndDate() != 0) {
    t->EndBoundary = EndText().substr(0, 11) + "23:59:59";
  } else {
    t->EndBoundary.clear();
  }
}

void TTrigger::SetStartWhenAvailable() {
  TTaskItem* item = FTaskTriggers->TaskItem();
  if (item->TaskDefinition()) item->TaskDefinition()->Settings.StartWhenAvailable = true;
}

void TTrigger::SetTimeTrigger() {
  if (TriggerDef* t = Vista()) WriteBoundaries(t);
}

void TTrigger::SetDailyTrigger() {
  if (TriggerDef* t = Vista()) {
    uint16_t days = FTaskTrigger.Type.Daily.DaysInterval;
    t->DaysInterval = days == 0 ? 1 : days;
    WriteBoundaries(t);
  }
}

void TTrigger::SetWeeklyTrigger() {
  if (TriggerDef* t = Vista()) {
    uint16_t weeks = FTaskTrigger.Type.Weekly.WeeksInterval;
    t->WeeksInterval = weeks == 0 ? 1 : weeks;
    t->DaysOfWeek = FTaskTrigger.Type.Weekly.rgfDaysOfTheWeek;
    WriteBoundaries(t);
  }
}

void TTrigger::SetMonthlyTrigger() {
  if (TriggerDef* t = Vista()) {
    t->DaysOfMonth = FTaskTrigger.Type.MonthlyDate.rgfDays;
    t->MonthsOfYear = FTaskTrigger.Type.MonthlyDate.rgfMonths;
    WriteBoundaries(t);
  }
}

void TTrigger::SetMonthlyDOWTrigger() {
  if (TriggerDef* t = Vista()) {
    t->DaysOfWeek = FTaskTrigger.Type.MonthlyDOW.rgfDaysOfTheWeek;
    if (FVistaMDOWWeeks != 0) {
      t->WeeksOfMonth = FVistaMDOWWeeks & 0xF;
      t->RunOnLastWeekOfMonth = (FVistaMDOWWeeks >> tvmdowLast & 1) != 0;
      if (t->RunOnLastWeekOfMonth) t->WeeksOfMonth |= 0x10;
    } else {
      int w = FTaskTrigger.Type.MonthlyDOW.wWhichWeek;
      t->WeeksOfMonth = w == 0 ? 0 : static_cast<uint16_t>(1u << (w - 1));
      t->RunOnLastWeekOfMonth = w == 5;
    }
    t->MonthsOfYear = FTaskTrigger.Type.MonthlyDOW.rgfMonths;
    WriteBoundaries(t);
  }
}

void TTrigger::SetIdleTrigger() {
  if (TriggerDef* t = Vista()) {
    SetStartWhenAvailable();
    t->StartBoundary = BeginText();
  }
}

void TTrigger::SetBootTrigger() {
  if (TriggerDef* t = Vista()) {
    SetStartWhenAvailable();
    WriteBoundaries(t);
  }
}

void TTrigger::SetLogonTrigger() {
  if (TriggerDef* t = Vista()) {
    SetStartWhenAvailable();
    WriteBoundaries(t);
    if (!FUserName.empty()) t->UserId = FUserName;
  }
}

void TTrigger::SetSessionTrigger(int state_change) {
  if (TriggerDef* t = Vista()) {
    SetStartWhenAvailable();
    WriteBoundaries(t);
    t->StateChange = state_change;
    if (!FUserName.empty()) t->UserId = FUserName;
  }
}

TTrigger* TTriggers::Add(TTriggerType kind) {
  if (!FTaskItem->Vista()) {
    FTaskItem->RequireInterface();
    auto trigger = std::make_unique<TTrigger>(this);
    trigger->FInterface = FTaskItem->WorkItemInterface()->CreateTrigger();
    trigger->SetTriggerType(kind);
    items_.push_back(std::move(trigger));
    return items_.back().get();
  }
  int type = ServiceTypeOfKind(kind);
  if (type < 0) return nullptr;
  FTaskItem->RequireActivation();
  auto& triggers = FTaskItem->TaskDefinition()->Triggers;
  TriggerDef t;
  t.Type = type;
  triggers.push_back(t);
  auto trigger = std::make_unique<TTrigger>(this);
  trigger->FInterfaceVista = static_cast<int>(triggers.size()) - 1;
  trigger->SetTriggerType(kind);
  items_.push_back(std::move(trigger));
  return items_.back().get();
}

void TTriggers::Clear() {
  if (FTaskItem->Vista()) {
    if (FTaskItem->TaskDefinition()) FTaskItem->TaskDefinition()->Triggers.clear();
  } else if (FTaskItem->WorkItemInterface()) {
    for (int i = FTaskItem->WorkItemInterface()->GetTriggerCount() - 1; i >= 0; --i) {
      FTaskItem->WorkItemInterface()->DeleteTrigger(i);
    }
  }
  items_.clear();
}

void TTriggers::InitTriggers() {
  items_.clear();
  if (FTaskItem->Vista()) {
    if (!FTaskItem->TaskDefinition()) return;
    const auto& triggers = FTaskItem->TaskDefinition()->Triggers;
    for (size_t i = 0; i < triggers.size(); ++i) {
      auto trigger = std::make_unique<TTrigger>(this);
      TTrigger* tr = trigger.get();
      items_.push_back(std::move(trigger));
      tr->FInterfaceVista = static_cast<int>(i);
      tr->SetStartTime(IsoToDateTime(triggers[i].StartBoundary));
      TTriggerType kind = KindOfServiceTrigger(triggers[i]);
      tr->SetTriggerType(kind);
      tr->FUserName = triggers[i].UserId;
      // The record mirrors the end and the state too, so writing it back
      // keeps them.
      TDateTime end = IsoToDateTime(triggers[i].EndBoundary);
      if (end != 0) {
        tr->SetEndDate(end);
        tr->SetHasEndDate(true);
      }
      if (!triggers[i].Enabled) tr->FTaskTrigger.rgFlags |= kTriggerFlagDisabled;
      switch (kind) {
        case ttDaily:
          tr->GetDailyTrigger();
          break;
        case ttWeekly:
          tr->GetWeeklyTrigger();
          break;
        case ttMonthlyDate:
          tr->GetMonthlyTrigger();
          break;
        case ttMonthlyDow:
          tr->GetMonthlyDOWTrigger();
          break;
        default:
          break;
      }
    }
    return;
  }
  const WorkItemPtr& work = FTaskItem->WorkItemInterface();
  if (!work) return;
  for (int i = 0; i < work->GetTriggerCount(); ++i) {
    auto trigger = std::make_unique<TTrigger>(this);
    trigger->FTaskTrigger = UnpackTriggerRecord(work->GetTrigger(i));
    trigger->FInterface = i;
    items_.push_back(std::move(trigger));
  }
}

void TTriggers::UpdateTriggers() {
  for (const auto& tr : items_) {
    if (!FTaskItem->Vista()) {
      if (FTaskItem->WorkItemInterface() && tr->FInterface >= 0) {
        FTaskItem->WorkItemInterface()->SetTrigger(tr->FInterface,
                                                   PackTriggerRecord(tr->FTaskTrigger));
      }
      continue;
    }
    switch (tr->GetTriggerType()) {
      case ttOnce:
        tr->SetTimeTrigger();
        break;
      case ttDaily:
        tr->SetDailyTrigger();
        break;
      case ttWeekly:
        tr->SetWeeklyTrigger();
        break;
      case ttMonthlyDate:
        tr->SetMonthlyTrigger();
        break;
      case ttMonthlyDow:
        tr->SetMonthlyDOWTrigger();
        break;
      case ttOnIdle:
        tr->SetIdleTrigger();
        break;
      case ttAtStartup:
        tr->SetBootTrigger();
        break;
      case ttAtLogon:
        tr->SetLogonTrigger();
        break;
      case ttOnConnect:
        tr->SetSessionTrigger(3);
        break;
      case ttOnDisconnect:
        tr->SetSessionTrigger(4);
        break;
      case ttOnLock:
        tr->SetSessionTrigger(7);
        break;
      case ttOnUnlock:
        tr->SetSessionTrigger(8);
        break;
      default:
        break;
    }
  }
}

void TTriggers::GetTriggerStrings(std::vector<std::string>* strings) const {
  strings->clear();
  if (items_.empty()) {
    strings->push_back("<Task not scheduled>");
  } else if (items_.size() == 1) {
    strings->push_back(items_[0]->AsString());
  } else {
    for (size_t i = 0; i < items_.size(); ++i) {
      strings->push_back(std::to_string(i + 1) + ". " + items_[i]->AsString());
    }
  }
}

TTrigger* TTriggers::GetItem(int index) const {
  if (index < 0 || index >= Count()) {
    throw ETriggerError(FormatText("Trigger index out of bounds (%d)", index));
  }
  return items_[static_cast<size_t>(index)].get();
}

}  // namespace lorvant
