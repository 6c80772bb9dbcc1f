// The analysis that measures each leg once against the definition that
// measures every leg for every window it falls in: the same bits, window by
// window, in the record and in the texts.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/flight_statistics.h"
#include "analysis/geodesy.h"
#include "analysis/speed_filter.h"
#include "analysis/statistics_text.h"
#include "analysis/track_fixtures.h"
#include "flight_statistics_reference.h"

namespace skylode {
namespace {

struct Flight {
  const char* name;
  std::vector<TrackPoint> points;
};

// At 5 Hz five fixes share each second, so most windows start inside a run
// of equal times.
std::vector<Flight> Flights() {
  std::vector<Flight> f;
  f.push_back({"1 Hz", fixtures::LoggedFlight(2400, 1, 7)});
  f.push_back({"1 Hz roughened", fixtures::Roughened(fixtures::LoggedFlight(2400, 1, 8))});
  f.push_back({"5 Hz", fixtures::LoggedFlight(3000, 5, 9)});
  f.push_back({"5 Hz roughened", fixtures::Roughened(fixtures::LoggedFlight(3000, 5, 10))});
  f.push_back({"2 Hz, a segment start on every fix of one second",
               fixtures::LoggedFlight(1500, 2, 11)});
  for (size_t i = 700; i < 704; ++i) f.back().points[i].flags |= kTrackPointStartsSegment;
  return f;
}

uint64_t Bits(double v) { return std::bit_cast<uint64_t>(v); }

// The first position whose window differs, so that a fault reports once.
std::string FirstDifference(std::span<const TrackPoint> p) {
  const TrackLegs legs(p);
  for (size_t i = 0; i < p.size(); ++i) {
    const SpeedAndClimb want = reference::MeanSpeedAndClimb60(p, i);
    const double wantTop = reference::TopSpeed10(p, i);
    const SpeedAndClimb cached = legs.MeanSpeedAndClimb60(i);
    const SpeedAndClimb single = MeanSpeedAndClimb60(p, i);
    if (Bits(cached.speed) != Bits(want.speed) || Bits(cached.climb) != Bits(want.climb) ||
        Bits(legs.TopSpeed10(i)) != Bits(wantTop))
      return "track legs at " + std::to_string(i);
    if (Bits(single.speed) != Bits(want.speed) || Bits(single.climb) != Bits(want.climb) ||
        Bits(TopSpeed10(p, i)) != Bits(wantTop))
      return "single window at " + std::to_string(i);
    if (i > 0 && Bits(legs.Step(i)) != Bits(GeoDistanceSemicircles(p[i - 1].latitude, p[i - 1].longitude,
                                                                    p[i].latitude, p[i].longitude)))
      return "step at " + std::to_string(i);
  }
  // Past the end and on the first fix there is no window at all.
  if (legs.MeanSpeedAndClimb60(p.size()).speed != 0 || legs.TopSpeed10(0) != 0) return "outside the track";
  return {};
}

TEST(FlightStatisticsIdentity, EveryWindowMatchesTheLegByLegDefinition) {
  for (const Flight& f : Flights()) {
    SCOPED_TRACE(f.name);
    EXPECT_EQ(FirstDifference(f.points), "");
  }
}

TEST(FlightStatisticsIdentity, RecordAndTextsMatchTheLegByLegDefinition) {
  for (const Flight& f : Flights()) {
    SCOPED_TRACE(f.name);
    FlightStatistics fast, slow;
    fast.points = slow.points = f.points;
    ComputeFlightStatistics(fast);
    reference::ComputeFlightStatistics(slow);
    EXPECT_GT(slow.maxMeanSpeed, 0);
    EXPECT_LT(slow.minClimb, 0);
    EXPECT_EQ(fast.startTime, slow.startTime);
    EXPECT_EQ(fast.endTime, slow.endTime);
    EXPECT_EQ(fast.duration, slow.duration);
    EXPECT_EQ(fast.minHeight, slow.minHeight);
    EXPECT_EQ(fast.maxHeight, slow.maxHeight);
    EXPECT_EQ(Bits(fast.topSpeed), Bits(slow.topSpeed));
    EXPECT_EQ(Bits(fast.maxMeanSpeed), Bits(slow.maxMeanSpeed));
    EXPECT_EQ(Bits(fast.totalDistance), Bits(slow.totalDistance));
    EXPECT_EQ(Bits(fast.averageSpeed), Bits(slow.averageSpeed));
    EXPECT_EQ(Bits(fast.minClimb), Bits(slow.minClimb));
    EXPECT_EQ(Bits(fast.maxClimb), Bits(slow.maxClimb));

    const StatisticsTexts a = FormatStatistics(fast), b = FormatStatistics(slow);
    EXPECT_EQ(a.maxMeanSpeed, b.maxMeanSpeed);
    EXPECT_EQ(a.topSpeed, b.topSpeed);
    EXPECT_EQ(a.totalDistance, b.totalDistance);
    EXPECT_EQ(a.duration, b.duration);
  }
}

TEST(SpeedFilterIdentity, KeepsWhatTheFirstDefinitionKeeps) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
  };
  std::vector<Case> cases;
  cases.push_back({"roughened 1 Hz", fixtures::Roughened(fixtures::LoggedFlight(2000, 1, 21))});
  cases.push_back({"roughened 5 Hz", fixtures::Roughened(fixtures::LoggedFlight(3000, 5, 22))});
  // Three fixes in a row off by 50 km, then one back in time and far off: the
  // fixes after a drop are measured from the last one kept, not their
  // neighbour.
  auto jumps = fixtures::LoggedFlight(1200, 1, 23);
  for (size_t i = 400; i < 403; ++i) jumps[i].longitude += 6'000'000;
  jumps[100].latitude -= 3'000'000;
  jumps[900].time -= 100;
  jumps[900].latitude += 1'000'000;
  cases.push_back({"jumps", jumps});
  // A jump among the first fixes lies behind the anchor.
  auto early = fixtures::LoggedFlight(300, 1, 24);
  early[3].longitude += 5'000'000;
  early[25].longitude += 5'000'000;
  cases.push_back({"jumps before the anchor", early});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TrackPoint> fast = c.points, slow = c.points;
    const size_t kept = SpeedFilter(fast.data(), fast.size());
    EXPECT_EQ(kept, reference::SpeedFilter(slow.data(), slow.size()));
    EXPECT_LT(kept, c.points.size());
    EXPECT_TRUE(fast == slow) << "the kept positions differ";
  }
}

}  // namespace
}  // namespace skylode
