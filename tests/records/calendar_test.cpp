#include "records/calendar.h"

#include <gtest/gtest.h>

namespace skylode {
namespace {

struct DateCase {
  uint32_t seconds;
  CalendarTime date;
};

class CalendarCases : public ::testing::TestWithParam<DateCase> {};

TEST_P(CalendarCases, ConvertsBothWays) {
  const auto& c = GetParam();
  EXPECT_EQ(SecondsToDateTime(c.seconds), c.date);
  auto back = CalendarToTime(c.date);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(*back, c.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    KnownDates, CalendarCases,
    ::testing::Values(DateCase{0, {1989, 12, 31, 0, 0, 0, 0}},
                      DateCase{86400, {1990, 1, 1, 0, 0, 0, 0}},
                      DateCase{63158400, {1992, 1, 1, 0, 0, 0, 0}},
                      DateCase{68256000, {1992, 2, 29, 0, 0, 0, 0}},
                      DateCase{315619200, {2000, 1, 1, 0, 0, 0, 0}},
                      DateCase{315619200 + 59 * 86400 + 3723, {2000, 2, 29, 1, 2, 3, 0}},
                      DateCase{315619200 + 60 * 86400, {2000, 3, 1, 0, 0, 0, 0}},
                      DateCase{4102444800u - 631065600u - 1, {2099, 12, 31, 23, 59, 59, 0}},
                      DateCase{0xFFFFFFFFu, {2126, 2, 5, 6, 28, 15, 0}}));

TEST(Calendar, RejectsImpossibleAndOutOfScaleDates) {
  const CalendarTime bad[] = {
      {2001, 2, 29, 0, 0, 0, 0}, {2000, 2, 30, 0, 0, 0, 0}, {2000, 2, 31, 0, 0, 0, 0},
      {2000, 4, 31, 0, 0, 0, 0}, {2000, 13, 1, 0, 0, 0, 0}, {2000, 0, 1, 0, 0, 0, 0},
      {2000, 1, 0, 0, 0, 0, 0},  {2000, 1, 1, 24, 0, 0, 0}, {2000, 1, 1, 0, 60, 0, 0},
      {2000, 1, 1, 0, 0, 60, 0}, {1989, 12, 30, 23, 59, 59, 0}, {2126, 2, 5, 6, 28, 16, 0},
      {1988, 1, 1, 0, 0, 0, 0},
  };
  for (const auto& d : bad)
    EXPECT_FALSE(CalendarToTime(d).has_value()) << d.year << "-" << d.month << "-" << d.day << " "
                                                << d.hour << ":" << d.minute << ":" << d.second;
}

TEST(Calendar, EveryDayRoundTripsAcrossTheScale) {
  // Walks day by day from 1989-12-31 to 2099 at a varying time of day.
  for (uint32_t day = 0; day < 40500; ++day) {
    const uint32_t s = day * 86400u + (day * 7919u) % 86400u;
    const CalendarTime t = SecondsToDateTime(s);
    auto back = CalendarToTime(t);
    ASSERT_TRUE(back.has_value()) << s;
    ASSERT_EQ(*back, s);
  }
}

}  // namespace
}  // namespace skylode
