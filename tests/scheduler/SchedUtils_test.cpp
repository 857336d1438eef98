#include "scheduler/SchedUtils.h"

#include <gtest/gtest.h>

#include "scheduler/SchedulerErrors.h"

namespace lorvant {
namespace {

TEST(SchedUtils, MinutesToIsoDuration) {
  const std::pair<uint32_t, const char*> cases[] = {{0, "PT0M"},        {59, "PT59M"},
                                                    {60, "PT1H0M"},     {90, "PT1H30M"},
                                                    {1440, "P1DT0H0M"}, {1500, "P1DT1H0M"}};
  for (const auto& [minutes, text] : cases)
    EXPECT_EQ(MinutesToIsoDuration(minutes), text) << minutes;
}

TEST(SchedUtils, IsoDurationToMinutes) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"PT1H30M", 90}, {"P1DT2H", 1560}, {"PT0S", 0},   {"P3D", 4320},     {"", 0},
      {"garbage", 0},  {"P1Y2M", 0},     {"PT45M", 45}, {"P1DT0H0M", 1440}};
  for (const auto& [text, minutes] : cases) EXPECT_EQ(IsoDurationToMinutes(text), minutes) << text;
}

TEST(SchedUtils, IsoToDateTimeReadsTheFieldsAndIgnoresTheZone) {
  TDateTime plain = IsoToDateTime("2020-12-08T10:30:00");
  DateTime t = DecodeDateTime(plain);
  EXPECT_EQ(t.year, 2020);
  EXPECT_EQ(t.month, 12);
  EXPECT_EQ(t.day, 8);
  EXPECT_EQ(t.hour, 10);
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 0);
  EXPECT_EQ(IsoToDateTime("2020-12-08T10:30:00+01:00"), plain);
  EXPECT_EQ(IsoToDateTime(""), 0);
  EXPECT_EQ(IsoToDateTime("2021-02-29T10:00:00"), 0);  // no such day
  EXPECT_EQ(IsoToDateTime("20-12-08T10:30"), 0);
  EXPECT_EQ(DateTimeToIso(plain), "2020-12-08T10:30:00");
  EXPECT_EQ(DateTimeToIso(0), "");
}

TEST(SchedUtils, DateTimeValuesCountDaysFrom1899) {
  DateTime t;
  t.year = 1899;
  t.month = 12;
  t.day = 30;
  EXPECT_EQ(EncodeDateTime(t), 0.0);
  t.year = 2024;
  t.month = 2;
  t.day = 29;
  t.hour = 23;
  t.minute = 59;
  t.second = 59;
  t.millisecond = 999;
  DateTime back = DecodeDateTime(EncodeDateTime(t));
  EXPECT_EQ(back.day, 29);
  EXPECT_EQ(back.millisecond, 999);
  EXPECT_EQ(DayOfWeek(2024, 2, 29), 4);  // a Thursday
}

TEST(SchedUtils, JobExtension) {
  EXPECT_EQ(AddJobExtension("Backup"), "Backup.job");
  EXPECT_EQ(AddJobExtension("Backup.JOB"), "Backup.JOB");
  EXPECT_EQ(StripJobExtension("Backup.JOB"), "Backup");
  EXPECT_EQ(StripJobExtension("Backup"), "Backup");
  EXPECT_EQ(AddJobExtension("v1.2"), "v1.2.job");
}

TEST(SchedUtils, TaskNamesThatCannotBeStoredAreRefused) {
  const char* bad[] = {"", ".hidden", "a/b", "line\nbreak", "tab\there", "bell\x07", "\xff\xfe"};
  for (const char* name : bad) {
    EXPECT_THROW(CheckTaskName(name), ETaskError) << name;
  }
  EXPECT_THROW(CheckTaskName(std::string(201, 'x')), ETaskError);
  const char* good[] = {"Nightly split", "it's 100% $HOME `date`", "a\\b", "Ünïcode", "x.y"};
  for (const char* name : good) EXPECT_NO_THROW(CheckTaskName(name)) << name;
  try {
    CheckTaskName("a\nb");
  } catch (const ETaskError& e) {
    EXPECT_STREQ(e.what(),
                 "The task name \"a\\x0Ab\" cannot be used: it holds a control character.");
  }
}

TEST(SchedUtils, NameOrderIgnoresCaseOnlyWhenAsked) {
  EXPECT_LT(CompareNamesNoCase("alpha", "Beta"), 0);
  EXPECT_EQ(CompareNamesNoCase("Report", "report"), 0);
  EXPECT_NE(CompareNamesCase("Report", "report"), 0);
}

TEST(SchedUtils, ServiceErrorsCarryTheirStatus) {
  EServiceError e(kErrorNotFound, "The task \"x\" does not exist.");
  EXPECT_STREQ(e.what(), "The task \"x\" does not exist. (0x80070002)");
  EXPECT_EQ(e.Status(), kErrorNotFound);
}

}  // namespace
}  // namespace lorvant
