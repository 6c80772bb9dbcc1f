#include "records/calendar.h"

#include <chrono>

namespace skylode {
namespace {

constexpr uint16_t kDaysBefore[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335}};

constexpr bool IsLeap(int year) { return year % 4 == 0; }

// Seconds from 1970-01-01 to 1989-12-31.
constexpr int64_t kUnixOffset = 631065600;

}  // namespace

int DaysInMonth(int year, int month) {
  static constexpr int kLen[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeap(year) ? 29 : kLen[month - 1];
}

CalendarTime SecondsToDateTime(uint32_t seconds) {
  // Shift to 1989-01-01 so that four-year cycles start on a common year.
  const uint64_t s = uint64_t{seconds} + 31449600;
  CalendarTime t;
  const uint64_t secOfDay = s % 86400;
  t.hour = static_cast<uint16_t>(secOfDay / 3600);
  t.minute = static_cast<uint16_t>(secOfDay / 60 % 60);
  t.second = static_cast<uint16_t>(secOfDay % 60);
  uint64_t year = 1989 + 4 * (s / 126230400);
  uint64_t cycleDay = (s / 86400) % 1461;
  int leap = 0;
  if (cycleDay >= 1095) {
    year += 3;
    cycleDay -= 1095;
    leap = 1;
  } else {
    year += cycleDay / 365;
    cycleDay %= 365;
  }
  int month = 11;
  while (month > 0 && kDaysBefore[leap][month] > cycleDay) --month;
  t.year = static_cast<uint16_t>(year);
  t.month = static_cast<uint16_t>(month + 1);
  t.day = static_cast<uint16_t>(cycleDay - kDaysBefore[leap][month] + 1);
  return t;
}

std::optional<uint32_t> CalendarToTime(const CalendarTime& t) {
  if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > DaysInMonth(t.year, t.month) ||
      t.hour > 23 || t.minute > 59 || t.second > 59 || t.year < 1989)
    return std::nullopt;
  // Days since 1989-01-01: whole years, the leap days of 1992, 1996, ... before
  // this year, then the days of this year.
  const int64_t y = t.year;
  const int64_t leapDays = (y - 1989) / 4;
  const int64_t days = (y - 1989) * 365 + leapDays + kDaysBefore[IsLeap(static_cast<int>(y))][t.month - 1] +
                       (t.day - 1);
  const int64_t s = ((days * 24 + t.hour) * 60 + t.minute) * 60 + t.second - 31449600;
  if (s < 0 || s > 0xFFFFFFFFLL) return std::nullopt;
  return static_cast<uint32_t>(s);
}

uint32_t CurrentTime() {
  const int64_t unix = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
  const int64_t s = unix - kUnixOffset;
  return s < 0 ? 0 : static_cast<uint32_t>(s);
}

}  // namespace skylode
