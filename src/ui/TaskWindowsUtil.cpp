#include "ui/TaskWindowsUtil.h"

#include <QLocale>
#include <QMimeDatabase>
#include <QRegularExpression>

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

TDateTime SchedNow() { return EpochToDateTime(SchedSystem::Default()->Now()); }

QDateTime ToQDateTime(TDateTime value) {
  CivilTime t = DecodeDateTime(value);
  return QDateTime(QDate(t.year, t.month, t.day), QTime(t.hour, t.minute, t.second));
}

TDateTime FromQDate(const QDate& date) {
  CivilTime t;
  t.year = date.year();
  t.month = date.month();
  t.day = date.day();
  return EncodeDateTime(t);
}

TDateTime FromQTime(const QTime& time) {
  CivilTime t;
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
  QIcon fallback = QIcon::fromTheme("application-x-executable");
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

QIcon ProgramIcon() {
  static const bool registered = (InitTaskWindowResources(), true);
  (void)registered;
  return QIcon(":/lorvant.svg");
}

bool UserIsRoot() { return SchedSystem::Default()->IsRoot(); }

}  // namespace lorvant
