// Circling phases on generated flights whose turns and climbs are known.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/thermals.h"
#include "track_fixtures.h"

namespace skylode {
namespace {

using fixtures::Metres;
using fixtures::PointAt;

// One leg of a generated flight: `seconds` of flight at `speed` m/s, turning
// `turnRate` degrees a second (right positive, 0 straight), climbing `climb`.
struct Leg {
  double seconds = 0;
  double turnRate = 0;
  double climb = 0;
  double speed = 10;
};

struct Flight {
  std::vector<TrackPoint> points;
};

// One fix a second; GPS height in decimetres and the pressure height in
// metres both follow the climb (the pressure one 40 m lower, as a badly set
// instrument reads).
std::vector<TrackPoint> Fly(const std::vector<Leg>& legs, double startHeading = 30) {
  std::vector<TrackPoint> out;
  Metres at;
  double heading = startHeading;
  double height = 1500;
  uint32_t t = fixtures::kMorning;
  auto put = [&] {
    TrackPoint p = PointAt(46.5, 8.0, at, t, static_cast<int32_t>(std::lround(height * 10)));
    p.baroHeight = static_cast<int32_t>(std::lround(height - 40));
    out.push_back(p);
  };
  put();
  for (const Leg& leg : legs) {
    for (int s = 0; s < static_cast<int>(leg.seconds); ++s) {
      // Heading at the middle of the second: a circle drawn as chords.
      const double h = (heading + leg.turnRate / 2) * std::numbers::pi / 180;
      at.east += std::sin(h) * leg.speed;
      at.north += std::cos(h) * leg.speed;
      heading += leg.turnRate;
      height += leg.climb;
      ++t;
      put();
    }
  }
  return out;
}

struct Expected {
  int direction;
  double climb;
};

struct Case {
  const char* name;
  std::vector<Leg> legs;
  std::vector<Expected> phases;
};

TEST(Thermals, GeneratedFlights) {
  const std::vector<Case> cases = {
      {"straight glide", {{600, 0, -1.2}}, {}},
      {"glide with a gentle bend", {{300, 0, -1}, {60, 2, -1}, {300, 0, -1}}, {}},
      {"four right turns in lift", {{120, 0, -1}, {100, 14.4, 1.5}, {120, 0, -1}}, {{1, 1.5}}},
      {"three left turns in weak lift", {{60, 0, -1}, {75, -14.4, 0.4}, {60, 0, -1}}, {{-1, 0.4}}},
      {"circling in sink is still circling", {{60, 0, -1}, {80, 15, -1.8}, {60, 0, -1}}, {{1, -1.8}}},
      // Less than a full turn: a change of course, not a thermal.
      {"one long bend", {{60, 0, -1}, {20, 15, 0}, {60, 0, -1}}, {}},
      // Three lobes of 300 degrees each way: plenty of turning, never a circle.
      {"figure of eight",
       {{60, 0, -1}, {20, 15, 0}, {20, -15, 0}, {20, 15, 0}, {20, -15, 0}, {20, 15, 0}, {60, 0, -1}},
       {}},
      {"reversal in the thermal",
       {{60, 0, -1}, {75, 14.4, 2}, {75, -14.4, 1}, {60, 0, -1}},
       {{1, 2}, {-1, 1}}},
      // Re-centring: a few straighter seconds inside the climb do not split it.
      {"short straight bit inside",
       {{60, 0, -1}, {50, 14.4, 1}, {5, 0, 1}, {50, 14.4, 1}, {60, 0, -1}},
       {{1, 1}}},
      {"long straight bit between two thermals",
       {{60, 0, -1}, {50, 14.4, 1}, {40, 0, -1}, {50, 14.4, 3}, {60, 0, -1}},
       {{1, 1}, {1, 3}}},
      // A tight fast spiral is circling too.
      {"spiral dive", {{60, 0, -1}, {40, 40, -12, 14}, {60, 0, -1}}, {{1, -12}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<TrackPoint> points = Fly(c.legs);
    for (const bool baro : {false, true}) {
      SCOPED_TRACE(baro ? "pressure heights" : "GPS heights");
      const std::vector<Circling> found = FindCirclingPhases(points, baro);
      ASSERT_EQ(found.size(), c.phases.size());
      for (size_t k = 0; k < found.size(); ++k) {
        EXPECT_EQ(found[k].direction, c.phases[k].direction);
        ASSERT_TRUE(found[k].climbKnown);
        EXPECT_NEAR(found[k].meanClimb, c.phases[k].climb, 0.15);
        EXPECT_GE(found[k].turn, 360.0);
        EXPECT_LT(found[k].first, found[k].last);
        if (k > 0) {
          EXPECT_LE(found[k - 1].last, found[k].first + 2);
        }
      }
    }
  }
}

// The phase covers the circling fixes and not the glides around it.
TEST(Thermals, PhaseSpansTheCircles) {
  const std::vector<TrackPoint> points = Fly({{120, 0, -1}, {100, 14.4, 1.5}, {120, 0, -1}});
  const std::vector<Circling> found = FindCirclingPhases(points, false);
  ASSERT_EQ(found.size(), 1u);
  // Circling from fix 120 to fix 220 (fix k is k seconds in).
  EXPECT_NEAR(found[0].first, 120, 2);
  EXPECT_NEAR(found[0].last, 220, 2);
  EXPECT_NEAR(found[0].turn, 1440, 30);
}

TEST(Thermals, GpsHeightsThatWereNotMeasured) {
  std::vector<TrackPoint> points = Fly({{60, 0, -1}, {100, 14.4, 2}, {60, 0, -1}});
  // The first seconds of the climb have no 3-D fix; their zero heights must
  // not count as a climb from the ground.
  for (size_t i = 55; i < 90; ++i) {
    points[i].flags |= kTrackPointNoGpsHeight;
    points[i].gpsHeight = 0;
  }
  std::vector<Circling> found = FindCirclingPhases(points, false);
  ASSERT_EQ(found.size(), 1u);
  ASSERT_TRUE(found[0].climbKnown);
  EXPECT_NEAR(found[0].meanClimb, 2, 0.15);

  // With no measured height at all there is no climb to tell.
  for (TrackPoint& p : points) p.flags |= kTrackPointNoGpsHeight;
  found = FindCirclingPhases(points, false);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_FALSE(found[0].climbKnown);
  // The pressure heights are still there.
  found = FindCirclingPhases(points, true);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].climbKnown);
  EXPECT_NEAR(found[0].meanClimb, 2, 0.15);
}

TEST(Thermals, GapsInTheLog) {
  const std::vector<TrackPoint> base = Fly({{60, 0, -1}, {150, 14.4, 1}, {60, 0, -1}});
  struct GapCase {
    const char* name;
    size_t at;
    bool segment;
    uint32_t shift;  // seconds the later fixes move on
    size_t phases;
  };
  const GapCase cases[] = {
      {"new segment halfway", 135, true, 0, 2},
      {"a pause of ten minutes halfway", 135, false, 600, 2},
      // Split where too little circling is left on one side.
      {"new segment near the end", 195, true, 0, 1},
      {"a few lost fixes", 135, false, 5, 1},
  };
  for (const GapCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TrackPoint> points = base;
    if (c.segment) points[c.at].flags |= kTrackPointStartsSegment;
    for (size_t i = c.at; i < points.size(); ++i) points[i].time += c.shift;
    EXPECT_EQ(FindCirclingPhases(points, false).size(), c.phases);
  }
}

TEST(Thermals, StandingOnTheGroundIsNoThermal) {
  // GPS noise while the pilot waits at take-off: headings jump about.
  std::vector<TrackPoint> points;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> jitter(-1.5, 1.5);
  for (uint32_t i = 0; i < 900; ++i)
    points.push_back(PointAt(46.5, 8.0, {jitter(random), jitter(random)}, fixtures::kMorning + i));
  EXPECT_TRUE(FindCirclingPhases(points, false).empty());
  EXPECT_TRUE(FindCirclingPhases({}, false).empty());
  EXPECT_TRUE(FindCirclingPhases(std::span<const TrackPoint>(points.data(), 1), false).empty());
}

}  // namespace
}  // namespace skylode
