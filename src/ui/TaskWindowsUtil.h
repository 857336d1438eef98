// What the scheduled-task windows share: the status texts of the task
// list, date-times of the scheduler shown in the user's formats, the clock
// they read "now" from (the scheduler's, so tests can set it), a program's
// icon from the icon theme, and which schedule kinds fire on this machine.
#pragma once

#include <QDate>
#include <QDateTime>
#include <QIcon>
#include <QString>
#include <QTime>
#include <string>

#include "scheduler/SchedTime.h"
#include "scheduler/TaskItem.h"
#include "scheduler/TriggerRecord.h"

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
