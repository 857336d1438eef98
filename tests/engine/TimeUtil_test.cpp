#include "engine/TimeUtil.h"

#include <gtest/gtest.h>

namespace lorvant {
namespace {

TEST(TimeUtilTest, FormatElapsed) {
  const struct {
    bool ms;
    double value;
    const char* text;
  } cases[] = {
      {true, 0, "00:00:00.000"},    {true, 3723004, "01:02:03.004"},
      {false, 3723004, "01:02:03"}, {false, 1499, "00:00:01"},
      {false, 1500, "00:00:02"},    {false, 2500, "00:00:02"},  // halves to even
      {false, 59600, "00:01:00"},                               // a rounded 60 carries
      {false, 3599700, "01:00:00"}, {true, 360000000, "100:00:00.000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatElapsed(c.ms, c.value), c.text) << c.value;
}

TEST(TimeUtilTest, EstimateRemaining) {
  EXPECT_EQ(EstimateRemaining(0, 100, 5000), 0);
  EXPECT_EQ(EstimateRemaining(25, 0, 5000), 0);
  EXPECT_DOUBLE_EQ(EstimateRemaining(25, 100, 5000), 15000);
  EXPECT_DOUBLE_EQ(EstimateRemaining(3000000000LL, 6000000000LL, 1000), 1000);
}

TEST(TimeUtilTest, Timestamps) {
  DateTime t;
  t.year = 2020, t.month = 12, t.day = 8, t.hour = 4, t.minute = 3, t.second = 9;
  EXPECT_EQ(FileTimestamp(t), "2020_12_08_04_03_09");
  EXPECT_EQ(DisplayTimestamp(t), "2020-12-08 04:03:09");
}

}  // namespace
}  // namespace lorvant
