#include "analysis/speed_filter.h"

#include <gtest/gtest.h>

#include "analysis/track_fixtures.h"

namespace skylode {
namespace {

// 10 m/s due north-east, one fix a second.
std::vector<TrackPoint> Cruise(size_t n) { return fixtures::Straight(n, 10, 45); }

TEST(SpeedFilter, KeepsATrackWhoseEveryPairIsPlausible) {
  auto points = Cruise(50);
  points[7].flags = 0x80000001u;  // our own marks never leak into or out of the flags
  const auto before = points;
  EXPECT_EQ(SpeedFilter(points.data(), points.size()), 50u);
  EXPECT_EQ(points, before);
}

TEST(SpeedFilter, DropsASingleJumpAndKeepsBothNeighbours) {
  for (size_t jump : {0u, 1u, 15u, 28u, 29u}) {
    SCOPED_TRACE(jump);
    auto points = Cruise(30);
    auto expected = points;
    expected.erase(expected.begin() + static_cast<std::ptrdiff_t>(jump));
    points[jump].latitude += 100'000'000;  // about 8 degrees away for one second
    EXPECT_EQ(SpeedFilter(points), 29u);
    EXPECT_EQ(points, expected);
  }
}

TEST(SpeedFilter, ReturnsZeroAndLeavesPointsWhenNoRunOfSlowPairsExists) {
  // Ten fixes hopping 10 km every second: no pair is slow enough to trust.
  std::vector<TrackPoint> points;
  for (uint32_t i = 0; i < 10; ++i)
    points.push_back(fixtures::PointAt(46.5, 8.0, {i % 2 == 0 ? 0.0 : 10000.0, 0}, fixtures::kMorning + i));
  const auto before = points;
  EXPECT_EQ(SpeedFilter(points), 0u);
  EXPECT_EQ(points, before);
}

TEST(SpeedFilter, PairsWithEqualTimesHaveNoSpeed) {
  auto points = Cruise(30);
  // A second fix for the second of fix 10, 30 m off: at no time it would be
  // impossibly fast, yet it has no speed at all and stays.
  TrackPoint twin = points[10];
  twin.longitude += 2'500;
  points.insert(points.begin() + 11, twin);
  EXPECT_EQ(SpeedFilter(points), 31u);
  EXPECT_EQ(points[11], twin);
}

TEST(SpeedFilter, ZeroOrOnePointIsReturnedUnchanged) {
  EXPECT_EQ(SpeedFilter(nullptr, 0), 0u);
  auto one = Cruise(1);
  EXPECT_EQ(SpeedFilter(one.data(), 1), 1u);
  auto two = Cruise(2);
  EXPECT_EQ(SpeedFilter(two.data(), 2), 2u);
}

TEST(SpeedFilter, TimeGoingBackwardsIsNotASpeedFault) {
  auto points = Cruise(30);
  std::swap(points[12].time, points[13].time);
  EXPECT_EQ(SpeedFilter(points.data(), points.size()), 30u);
}

}  // namespace
}  // namespace skylode
