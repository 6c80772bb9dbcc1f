#include "analysis/statistics_text.h"

#include <gtest/gtest.h>

#include <clocale>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode {
namespace {

TEST(StatisticsText, WindowFields) {
  FlightStatistics s;
  s.startTime = *CalendarToTime({2024, 7, 5, 9, 3, 7, 0});
  s.duration = 3 * 3600 + 4 * 60 + 5;
  s.endTime = s.startTime + s.duration;
  s.maxHeight = 2874;
  s.minHeight = -3;
  s.maxMeanSpeed = 41.49;
  s.topSpeed = 63.5;
  s.totalDistance = 87654.3;
  const StatisticsTexts t = FormatStatistics(s);
  EXPECT_EQ(t.date, "2024-07-05");
  EXPECT_EQ(t.start, "09:03:07");
  EXPECT_EQ(t.finish, "12:07:12");
  EXPECT_EQ(t.duration, "3 : 04 : 05");
  EXPECT_EQ(t.maxHeight, "2874 m");
  EXPECT_EQ(t.minHeight, "-3 m");
  EXPECT_EQ(t.maxMeanSpeed, "41 km/h");
  EXPECT_EQ(t.topSpeed, "64 km/h");
  EXPECT_EQ(t.totalDistance, "87.7 km");
  TripResult r;
  r.total = 12345.0;
  EXPECT_EQ(FormatTripKm(r), "12.35");
}

TEST(StatisticsText, BackwardsTimeWarningNamesTheFirstPosition) {
  std::vector<TrackPoint> p(6);
  const uint32_t times[] = {100, 110, 110, 105, 120, 90};
  for (size_t i = 0; i < p.size(); ++i) p[i].time = times[i];
  EXPECT_EQ(BackwardsTimeWarning(CheckTimeOrder(p)), "One or more points (the first at pos. 4) go backwards in time");
  p[3].time = 115;
  p[5].time = 130;
  EXPECT_EQ(BackwardsTimeWarning(CheckTimeOrder(p)), "");
}

TEST(StatisticsText, ClipboardLinesIgnoreTheLocale) {
  std::vector<TrackPoint> p(2);
  p[0].time = *CalendarToTime({2024, 7, 5, 9, 3, 7, 0});
  p[0].latitude = *DegreesToLatitude(46.5);
  p[0].longitude = *DegreesToLongitude(-8.25);
  p[0].gpsHeight = -5;  // -0.5 m
  p[1] = p[0];
  p[1].time += 30;
  p[1].gpsHeight = 12345;
  // A locale with a decimal comma, when the system has one.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
  const std::string text = BuildTrackClipboardText(p);
  std::setlocale(LC_NUMERIC, saved.c_str());
  EXPECT_EQ(text,
            "2024-07-05, 09:03:07, 46.500000, -8.250000, -0.5, 0.0\r\n"
            "2024-07-05, 09:03:37, 46.500000, -8.250000,  1234.5, 0.0\r\n");
  EXPECT_EQ(FixedDecimals(1e300, 1).size(), 303u);  // no fixed line buffer to overrun
}

// The speed is the 60-second mean that ends at the point, not the speed from
// the point before; a height has a blank or '-' before it, never '+'.
TEST(StatisticsText, ClipboardSpeedIsTheSixtySecondMean) {
  std::vector<TrackPoint> p(3);
  p[0].time = *CalendarToTime({2026, 7, 14, 11, 0, 0, 0});
  p[0].latitude = *DegreesToLatitude(45.8);
  p[0].longitude = *DegreesToLongitude(6.25);
  p[0].gpsHeight = 12345;
  p[1] = p[0];
  p[1].time += 10;
  p[1].latitude = *DegreesToLatitude(45.801);
  p[1].gpsHeight = -15;
  p[2] = p[1];
  p[2].time += 10;
  p[2].latitude = *DegreesToLatitude(45.802);
  p[2].gpsHeight = 0;
  // 0.001 degree of latitude at 45.8 N is 111.14 m: 40 km/h from one point
  // to the next, but 111.14 m and 222.28 m over the 60-second window.
  EXPECT_EQ(BuildTrackClipboardText(p),
            "2026-07-14, 11:00:00, 45.800000, 6.250000,  1234.5, 0.0\r\n"
            "2026-07-14, 11:00:10, 45.801000, 6.250000, -1.5, 6.7\r\n"
            "2026-07-14, 11:00:20, 45.802000, 6.250000,  0.0, 13.3\r\n");
}

}  // namespace
}  // namespace skylode
