#include "analysis/flight_statistics.h"

#include <gtest/gtest.h>

#include "analysis/geodesy.h"
#include "analysis/track_fixtures.h"

namespace skylode {
namespace {

// Due north at `speed` m/s, climbing `climb` m/s, one fix every `step` s.
std::vector<TrackPoint> Steady(size_t n, double speed, double climb, uint32_t step) {
  std::vector<TrackPoint> out;
  for (size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i * step);
    out.push_back(fixtures::PointAt(46.5, 8.0, {0, speed * t}, fixtures::kMorning + static_cast<uint32_t>(t),
                                    static_cast<int32_t>(std::lround(10000 + climb * 10 * t))));
  }
  return out;
}

TEST(FlightStatisticsWindows, SteadyFlightGivesItsSpeedAndClimb) {
  struct Case {
    const char* name;
    uint32_t step;
  } cases[] = {{"1 s fixes", 1}, {"7 s fixes: the window ends inside a pair", 7}, {"60 s fixes", 60}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto p = Steady(100, 10.0, 2.0, c.step);
    const SpeedAndClimb sc = MeanSpeedAndClimb60(p, 90);
    EXPECT_NEAR(sc.speed, 36.0, 0.2);
    EXPECT_NEAR(sc.climb, 2.0, 0.01);
    EXPECT_NEAR(TopSpeed10(p, 90), 36.0, 0.2);
  }
}

TEST(FlightStatisticsWindows, ShortWindowsAreStillDividedByTheirFullLength) {
  auto p = Steady(100, 10.0, 1.0, 1);
  // Segment start 30 s before: half the distance over the whole minute.
  p[69].flags = kTrackPointStartsSegment;
  const SpeedAndClimb sc = MeanSpeedAndClimb60(p, 99);
  EXPECT_NEAR(sc.speed, 18.0, 0.1);
  EXPECT_NEAR(sc.climb, 0.5, 0.01);
  // Reaching the first fix after 5 s works the same way.
  EXPECT_NEAR(TopSpeed10(p, 5), 18.0, 0.1);
  EXPECT_EQ(MeanSpeedAndClimb60(p, 0).speed, 0);
  EXPECT_EQ(MeanSpeedAndClimb60(p, 69).speed, 0);
  EXPECT_EQ(TopSpeed10(p, 69), 0);
}

double Metres(const TrackPoint& a, const TrackPoint& b) {
  return GeoDistanceSemicircles(a.latitude, a.longitude, b.latitude, b.longitude);
}

TEST(FlightStatisticsWindows, AFixAtTheTimeOfTheReferenceAddsNothing) {
  auto p = Steady(100, 10.0, 1.0, 1);
  const SpeedAndClimb plain = MeanSpeedAndClimb60(p, 99);
  // A second fix for second 80, logged after the first and 500 m off: the
  // walk takes it and skips the earlier fix of the same second.
  TrackPoint echo = p[80];
  echo.longitude += 50'000;
  p.insert(p.begin() + 81, echo);
  const double extra = Metres(p[82], echo) + Metres(echo, p[79]) - Metres(p[82], p[80]) - Metres(p[80], p[79]);
  const SpeedAndClimb sc = MeanSpeedAndClimb60(p, 100);
  EXPECT_NEAR(sc.speed, plain.speed + extra * 0.06, 1e-9);
  EXPECT_NEAR(sc.climb, plain.climb, 1e-12);
}

TEST(FlightStatisticsCompute, FillsEveryFigure) {
  FlightStatistics s;
  s.points = Steady(600, 10.0, 2.0, 1);
  s.points[100].gpsHeight = -15;  // -1.5 m truncates to -1
  s.points[200].gpsHeight = 80'000'004;  // a broken fix 8000 km up
  ComputeFlightStatistics(s);
  EXPECT_EQ(s.startTime, fixtures::kMorning);
  EXPECT_EQ(s.endTime, fixtures::kMorning + 599);
  EXPECT_EQ(s.duration, 599u);
  EXPECT_EQ(s.minHeight, -1);
  EXPECT_EQ(s.maxHeight, 8'000'000);
  double total = 0;
  for (size_t i = 1; i < s.points.size(); ++i)
    total += GeoDistanceSemicircles(s.points[i - 1].latitude, s.points[i - 1].longitude, s.points[i].latitude,
                                    s.points[i].longitude);
  EXPECT_DOUBLE_EQ(s.totalDistance, total);
  EXPECT_NEAR(s.averageSpeed, total / 599 * 3.6, 1e-9);
  EXPECT_NEAR(s.topSpeed, 36.0, 0.2);
  EXPECT_NEAR(s.maxMeanSpeed, 36.0, 0.2);
  // The two spikes of height dominate the climb extremes, clamped to the limits.
  EXPECT_EQ(s.maxClimb, 9999.0);
  EXPECT_LT(s.minClimb, -1.0);
}

TEST(FlightStatisticsCompute, ShortAndDegenerateTracks) {
  struct Case {
    const char* name;
    size_t n;
    bool top;
    bool mean;
  } cases[] = {{"9 s", 10, false, false}, {"40 s", 41, true, false}, {"2 min", 121, true, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FlightStatistics s;
    s.points = Steady(c.n, 10.0, 1.0, 1);
    ComputeFlightStatistics(s);
    EXPECT_EQ(s.topSpeed > 0, c.top);
    EXPECT_EQ(s.maxMeanSpeed > 0, c.mean);
    EXPECT_EQ(s.maxClimb > 0, c.mean);
  }
  // All fixes at one time: no average speed instead of a division by zero.
  FlightStatistics still;
  still.points = Steady(20, 10.0, 0, 1);
  for (TrackPoint& p : still.points) p.time = fixtures::kMorning;
  ComputeFlightStatistics(still);
  EXPECT_EQ(still.duration, 0u);
  EXPECT_EQ(still.averageSpeed, 0.0);
  EXPECT_GT(still.totalDistance, 0);
  FlightStatistics empty;
  ComputeFlightStatistics(empty);
  EXPECT_EQ(empty.maxHeight, 0);
}

TEST(FlightStatisticsSelection, DecidesWhatTheWindowSays) {
  auto clean = Steady(30, 10.0, 0, 1);
  auto jumpy = clean;
  jumpy[12].latitude += 100'000'000;
  std::vector<TrackPoint> hopping;
  for (uint32_t i = 0; i < 10; ++i)
    hopping.push_back(fixtures::PointAt(46.5, 8.0, {i % 2 == 0 ? 0.0 : 10000.0, 0}, fixtures::kMorning + i));
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    bool filter;
    StatisticsSelection expected;
    size_t left;
  } cases[] = {
      {"nothing", {}, true, StatisticsSelection::kNoneSelected, 0},
      {"nine", Steady(9, 10, 0, 1), true, StatisticsSelection::kTooFew, 9},
      {"clean", clean, true, StatisticsSelection::kReady, 30},
      {"one jump", jumpy, true, StatisticsSelection::kFiltered, 29},
      {"one jump, filter off", jumpy, false, StatisticsSelection::kReady, 30},
      {"no reliable stretch", hopping, true, StatisticsSelection::kTooFewAfterFilter, 10},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PrepareStatisticsSelection(c.points, c.filter), c.expected);
    EXPECT_EQ(c.points.size(), c.left);
  }
  EXPECT_STREQ(StatisticsSelectionMessage(StatisticsSelection::kTooFewAfterFilter),
               "Too few positions left after track speed analysis");
}

TEST(FlightStatisticsSource, CopiesTheLogFlags) {
  TrackLog log;
  log.gRecordValid = true;
  log.sourceClassFlag = true;
  FlightStatistics s;
  SetStatisticsSource(s, log, 123456);
  EXPECT_TRUE(s.analysisTimeValid);
  EXPECT_EQ(s.analysisTime, 123456);
  EXPECT_TRUE(s.utcFlag);
  EXPECT_FALSE(s.pressureFlag);
  log.gRecordValid = false;
  SetStatisticsSource(s, log, 123456);
  EXPECT_FALSE(s.analysisTimeValid);
  EXPECT_EQ(s.analysisTime, -1);
  EXPECT_EQ(s.civlId, -1);
}

}  // namespace
}  // namespace skylode
