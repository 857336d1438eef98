// What the scheduled-task windows share: the status texts of the task
// list, date-times of the scheduler shown in the user's formats, the clock
// they read "now" from (the scheduler's, so tests can set it), a program's
// icon from the icon theme, and which schedule kinds fire on this machine.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDateTime>
#include <QIcon>
#include <QRadioButton>
#include <QSpinBox>
#include <QString>
#include <QTime>
#include <QTimeEdit>
#include <array>
#include <cstdint>
#include <string>

#include "scheduler/SchedTime.h"
#include "scheduler/TaskItem.h"
#include "scheduler/TriggerRecord.h"
#include "scheduler/Triggers.h"

class QGridLayout;
class QLabel;
class QWidget;

namespace lorvant {

// The task list's text for a status ("Ready", "Has not run", "Queued" …).
QString TaskStatusText(TTaskStatus status);

// The scheduler's "now" as a local date-time.
TDateTime SchedNow();
QDateTime ToQDateTime(TDateTime value);
TDateTime FromQDateTime(const QDateTime& value);
// The date part and the time part of a picker's value as a TDateTime.
TDateTime FromQDate(const QDate& date);
TDateTime FromQTime(const QTime& time);

// "Never" unless value is greater than 1.0; else the user's short date and
// long time (list) or long time, comma and long date (properties).
QString ListDateTimeText(TDateTime value);
QString LongDateTimeText(TDateTime value);

// The icon theme's small icon for a file, chosen by its name alone (the
// file is not opened); a generic one when the theme has none.
QIcon FileIconByName(const std::string& path);

// True when triggers of the kind fire on this machine (the scheduler says
// which); otherwise *reason (when given) says why not, for a tooltip.
bool TriggerKindFiresHere(TTriggerType kind, std::string* reason = nullptr);

// Whether the user is root, who alone may raise a task's privileges or
// schedule it for another account.
bool UserIsRoot();

// A label for field with its accelerator; the field's accessible name is
// the label's text without "&" and a final ":".
QLabel* BuddyLabel(const QString& text, QWidget* field, QWidget* parent);

// Weekday boxes, Monday to Sunday, in a grid of four columns; the mask
// has bit 0 for Sunday … bit 6 for Saturday.
using TWeekdayBoxes = std::array<QCheckBox*, 7>;
TWeekdayBoxes MakeWeekdayBoxes(QWidget* parent, QGridLayout* grid);
uint16_t WeekdayMask(const TWeekdayBoxes& boxes);
void SetWeekdayMask(const TWeekdayBoxes& boxes, uint16_t mask);
// Month boxes, January to December; bit 0 for January … bit 11.
using TMonthBoxes = std::array<QCheckBox*, 12>;
TMonthBoxes MakeMonthBoxes(QWidget* parent, QGridLayout* grid);
uint16_t MonthMask(const TMonthBoxes& boxes);
void SetMonthMask(const TMonthBoxes& boxes, uint16_t mask);
// Whether any box is checked.
template <size_t N>
bool AnyChecked(const std::array<QCheckBox*, N>& boxes) {
  for (QCheckBox* b : boxes) {
    if (b->isChecked()) return true;
  }
  return false;
}

// What a schedule panel says of a trigger of one kind.
struct TScheduleInput {
  QTime time;                   // every kind
  QDate date;                   // once and daily: the first day
  uint16_t days_interval = 1;   // daily
  uint16_t weeks_interval = 1;  // weekly
  uint16_t weekdays = 0;        // weekly, monthly by weekday: bit 0 Sunday
  uint32_t month_days = 0;      // monthly by date: bit d-1 for day d
  uint16_t months = 0;          // monthly kinds: bit 0 January
  uint16_t which_week = 1;      // monthly by weekday: 1 first … 5 last
};
// The pickers of the schedule panels that both task windows lay out alike.
struct TSchedulePickers {
  QTimeEdit* once_time;
  QDateEdit* once_date;
  QTimeEdit* daily_time;
  QDateEdit* daily_date;
  QRadioButton* every_day;  // else every days_interval days
  QSpinBox* days_interval;
  QTimeEdit* weekly_time;
  QSpinBox* weeks_interval;
  const TWeekdayBoxes* week_days;
  QTimeEdit* monthly_time;
  const TMonthBoxes* months;
  QComboBox* which_week;  // first … last
};
// What the pickers say for a trigger of kind. The monthly kinds' days and
// weekdays are left 0: each window picks them its own way.
TScheduleInput ReadSchedulePickers(const TSchedulePickers& pickers, TTriggerType kind);
// Writes the input into the trigger's record for its kind (a weekly or
// monthly-by-date trigger begins today), keeping the record's other
// details; the caller writes the triggers to the task.
void WriteTrigger(TTrigger* trigger, const TScheduleInput& input, TDateTime today);

// The application's icon, for the wizard's side image.
QIcon ProgramIcon();

}  // namespace lorvant

namespace lorvant {

// Keeps a task activated for one scope and lets it go unsaved at its end.
class ScopedActivation {
 public:
  explicit ScopedActivation(TTaskItem* item) : item_(item) { item_->Activate(); }
  ~ScopedActivation();
  ScopedActivation(const ScopedActivation&) = delete;
  ScopedActivation& operator=(const ScopedActivation&) = delete;

 private:
  TTaskItem* item_;
};

}  // namespace lorvant
