#include "ui/TaskWindowsUtil.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>
#include <QStyle>

#include "scheduler/SchedSystem.h"

// The static windows library carries the icon; it must be registered.
static void InitTaskWindowResources() { Q_INIT_RESOURCE(lorvant); }

namespace lorvant {

QString TaskStatusText(TTaskStatus status) {
  static const char* const kTexts[] = {
      "Ready",      "Running",           "Disabled", "Has not run", "No more runs", "Not scheduled",
      "Terminated", "No valid triggers", "Unknown",  "Disabled",    "Queued",       "Ready",
      "Running"};
  auto index = static_cast<size_t>(status);
  return index < std::size(kTexts) ? QString(kTexts[index]) : QString("Unknown");
}

TDateTime SchedNow() { return EpochToDateTime(NowSeconds()); }

QDateTime ToQDateTime(TDateTime value) {
  DateTime t = DecodeDateTime(value);
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

TDateTime FromQDate(const QDate& date) {
  DateTime t;
  t.year = date.year();
  t.month = date.month();
  t.day = date.day();
  return EncodeDateTime(t);
}

TDateTime FromQTime(const QTime& time) {
  DateTime t;
  t.year = 1899;
  t.month = 12;
  t.day = 30;
  t.hour = time.hour();
  t.minute = time.minute();
  t.second = time.second();
  return EncodeDateTime(t);
}

TDateTime FromQDateTime(const QDateTime& value) {
  return FromQDate(value.date()) + FromQTime(value.time());
}

namespace {

// The locale's long time format without the time zone, which a wall-clock
// time of the scheduler does not carry.
QString LongTimeFormat() {
  QString format = QLocale().timeFormat(QLocale::LongFormat);
  format.remove(QRegularExpression("\\s*t+"));
  return format.trimmed();
}

}  // namespace

QString ListDateTimeText(TDateTime value) {
  if (value <= 1.0) return "Never";
  QDateTime dt = ToQDateTime(value);
  QLocale locale;
  return locale.toString(dt.date(), QLocale::ShortFormat) + " " +
         locale.toString(dt.time(), LongTimeFormat());
}

QString LongDateTimeText(TDateTime value) {
  if (value <= 1.0) return "Never";
  QDateTime dt = ToQDateTime(value);
  QLocale locale;
  return locale.toString(dt.time(), LongTimeFormat()) + ", " +
         locale.toString(dt.date(), QLocale::LongFormat);
}

QIcon FileIconByName(const std::string& path) {
  static QMimeDatabase db;
  QMimeType type = db.mimeTypeForFile(QString::fromStdString(path), QMimeDatabase::MatchExtension);
  // Without an icon theme the style's file icon stands in.
  QIcon fallback = QIcon::fromTheme("application-x-executable",
                                    QApplication::style()->standardIcon(QStyle::SP_FileIcon));
  QIcon generic = QIcon::fromTheme(type.genericIconName(), fallback);
  return QIcon::fromTheme(type.iconName(), generic);
}

bool TriggerKindFiresHere(TTriggerType kind, std::string* reason) {
  if (TriggerKindFires(kind)) return true;
  if (reason != nullptr) {
    *reason = kind == ttOnIdle ? "Nothing on this computer tells the scheduler when it is idle."
              : kind == ttUnknown
                  ? "An unknown kind of schedule."
                  : "Nothing on this computer tells the scheduler of session changes.";
  }
  return false;
}

ScopedActivation::~ScopedActivation() {
  try {
    item_->Deactivate(false);
  } catch (const std::exception&) {
    // letting go without saving changes nothing that could be lost
  }
}

QLabel* BuddyLabel(const QString& text, QWidget* field, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setBuddy(field);
  QString name = text;
  name.remove('&');
  if (name.endsWith(':')) name.chop(1);
  field->setAccessibleName(name);
  return label;
}

namespace {

constexpr uint16_t kWeekdayMasks[] = {0x2, 0x4, 0x8, 0x10, 0x20, 0x40, 0x1};  // Monday first
constexpr const char* kWeekdayNames[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                         "Friday", "Saturday", "Sunday"};
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

template <size_t N>
std::array<QCheckBox*, N> MakeBoxes(const char* const (&names)[N], QWidget* parent,
                                    QGridLayout* grid) {
  std::array<QCheckBox*, N> boxes;
  for (size_t i = 0; i < N; ++i) {
    boxes[i] = new QCheckBox(names[i], parent);
    grid->addWidget(boxes[i], static_cast<int>(i / 4), static_cast<int>(i % 4));
  }
  return boxes;
}

}  // namespace

TWeekdayBoxes MakeWeekdayBoxes(QWidget* parent, QGridLayout* grid) {
  return MakeBoxes(kWeekdayNames, parent, grid);
}

uint16_t WeekdayMask(const TWeekdayBoxes& boxes) {
  uint16_t mask = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i]->isChecked()) mask |= kWeekdayMasks[i];
  }
  return mask;
}

void SetWeekdayMask(const TWeekdayBoxes& boxes, uint16_t mask) {
  for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked((mask & kWeekdayMasks[i]) != 0);
}

TMonthBoxes MakeMonthBoxes(QWidget* parent, QGridLayout* grid) {
  return MakeBoxes(kMonthNames, parent, grid);
}

uint16_t MonthMask(const TMonthBoxes& boxes) {
  uint16_t mask = 0;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i]->isChecked()) mask |= static_cast<uint16_t>(1u << i);
  }
  return mask;
}

void SetMonthMask(const TMonthBoxes& boxes, uint16_t mask) {
  for (size_t i = 0; i < boxes.size(); ++i) boxes[i]->setChecked((mask & (1u << i)) != 0);
}

TScheduleInput ReadSchedulePickers(const TSchedulePickers& pickers, TTriggerType kind) {
  TScheduleInput in;
  switch (kind) {
    case ttOnce:
      in.time = pickers.once_time->time();
      in.date = pickers.once_date->date();
      break;
    case ttDaily:
      in.time = pickers.daily_time->time();
      in.date = pickers.daily_date->date();
      in.days_interval = static_cast<uint16_t>(
          pickers.every_day->isChecked() ? 1 : pickers.days_interval->value());
      break;
    case ttWeekly:
      in.time = pickers.weekly_time->time();
      in.weeks_interval = static_cast<uint16_t>(pickers.weeks_interval->value());
      in.weekdays = WeekdayMask(*pickers.week_days);
      break;
    default:  // the monthly kinds
      in.time = pickers.monthly_time->time();
      in.months = MonthMask(*pickers.months);
      in.which_week = static_cast<uint16_t>(pickers.which_week->currentIndex() + 1);
      break;
  }
  return in;
}

void WriteTrigger(TTrigger* trigger, const TScheduleInput& in, TDateTime today) {
  TriggerTypeUnion details = trigger->GetDetails();
  trigger->SetStartTime(FromQTime(in.time));
  switch (trigger->GetTriggerType()) {
    case ttOnce:
      trigger->SetBeginDate(FromQDate(in.date));
      break;
    case ttDaily:
      trigger->SetBeginDate(FromQDate(in.date));
      details.Daily.DaysInterval = in.days_interval;
      break;
    case ttWeekly:
      trigger->SetBeginDate(today);
      details.Weekly.WeeksInterval = in.weeks_interval;
      details.Weekly.rgfDaysOfTheWeek = in.weekdays;
      break;
    case ttMonthlyDate:
      trigger->SetBeginDate(today);
      details.MonthlyDate.rgfDays = in.month_days;
      details.MonthlyDate.rgfMonths = in.months;
      break;
    case ttMonthlyDow:
      details.MonthlyDOW.wWhichWeek = in.which_week;
      details.MonthlyDOW.rgfDaysOfTheWeek = in.weekdays;
      details.MonthlyDOW.rgfMonths = in.months;
      break;
    default:
      return;
  }
  trigger->SetDetails(details);
}

QIcon ProgramIcon() {
  static const bool registered = (InitTaskWindowResources(), true);
  (void)registered;
  return QIcon(":/lorvant.svg");
}

bool UserIsRoot() { return SchedSystem::Default()->IsRoot(); }

}  // namespace lorvant
