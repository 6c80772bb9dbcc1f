// The program's time scale: unsigned 32-bit seconds since 1989-12-31 00:00:00 UTC.
#pragma once

#include <cstdint>
#include <optional>

namespace skylode {

struct CalendarTime {
  uint16_t year = 0;
  uint16_t month = 0;  // 1..12
  uint16_t day = 0;    // 1..31
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;
  uint16_t milliseconds = 0;  // always 0 on output
  friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

inline constexpr uint32_t kSecondsPerDay = 86400;
// 1990-01-01 00:00:00 and 2000-01-01 00:00:00 on the program's scale.
inline constexpr uint32_t kTime1990 = 86400;
inline constexpr uint32_t kTime2000 = 315619200;

// Every fourth year from 1992 is a leap year (no century rule): valid 1989..2099.
CalendarTime SecondsToDateTime(uint32_t seconds);
inline CalendarTime TimeToCalendar(uint32_t seconds) { return SecondsToDateTime(seconds); }

// The inverse, counted in 64-bit days. Gives nothing for an impossible date
// (31 February, month 13, hour 24, ...) and for one outside the 32-bit scale
// (before 1989-12-31 or after 2126). Years after 2099 follow the same
// every-fourth-year rule, as the scale has always done.
std::optional<uint32_t> CalendarToTime(const CalendarTime& t);

// Days in a month under the program's leap-year rule.
int DaysInMonth(int year, int month);

// Current UTC time on the program's scale.
uint32_t CurrentTime();

}  // namespace skylode
