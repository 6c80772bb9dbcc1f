#include "analysis/track_rotation.h"

#include <gtest/gtest.h>

#include <cmath>

#include "analysis/track_fixtures.h"
#include "records/angles.h"

namespace skylode {
namespace {

SemicirclePosition Deg(double lat, double lon) {
  return {static_cast<int32_t>(std::lround(lat * kDegreesToSemicircles)),
          static_cast<int32_t>(std::lround(lon * kDegreesToSemicircles))};
}

TrackPoint At(SemicirclePosition p) {
  TrackPoint t;
  t.latitude = p.latitude;
  t.longitude = p.longitude;
  return t;
}

// Central angle on the unit sphere, which a rotation must keep.
double Angle(const TrackPoint& a, const TrackPoint& b) {
  const double la = a.latitude * kSemicirclesToRadians, lb = b.latitude * kSemicirclesToRadians;
  const double dl = (static_cast<double>(b.longitude) - a.longitude) * kSemicirclesToRadians;
  const double x = std::cos(la) * std::cos(lb) * std::cos(dl) + std::sin(la) * std::sin(lb);
  return std::acos(std::clamp(x, -1.0, 1.0));
}

TEST(TrackRotation, StartGoesToOriginAndEndAlongTheEquatorEastwards) {
  const RotationPositions defaults;
  struct Case {
    const char* name;
    SemicirclePosition start, end;
  } cases[] = {{"program defaults", defaults.start, defaults.end},
               {"southern, heading west", Deg(-33.9, 18.4), Deg(-34.2, 17.1)},
               {"across 180", Deg(-17.5, 179.8), Deg(-17.0, -179.6)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<TrackPoint> pts{At(c.start), At(c.end)};
    const auto original = pts;
    ASSERT_TRUE(RotateTrackPoints(pts, c.start, c.end));
    EXPECT_LE(std::abs(pts[0].latitude), 1);
    EXPECT_LE(std::abs(pts[0].longitude), 1);
    EXPECT_LE(std::abs(pts[1].latitude), 2);
    EXPECT_GT(pts[1].longitude, 0);
    EXPECT_NEAR(pts[1].longitude * kSemicirclesToRadians, Angle(original[0], original[1]), 1e-8);
  }
}

TEST(TrackRotation, KeepsDistancesTimesAndHeightsAndPutsTheLeftSideNorth) {
  auto track = fixtures::Flight(200, {{9000, 4000}, {2500, 13000}, {-4000, 5000}}, 2);
  track[50].flags = kTrackPointStartsSegment;
  track[60].baroHeight = 1234;
  const auto original = track;
  const SemicirclePosition start{track[0].latitude, track[0].longitude};
  const SemicirclePosition end{track[100].latitude, track[100].longitude};
  ASSERT_TRUE(RotateTrackPoints(track, start, end));
  EXPECT_LE(std::abs(track[0].latitude), 1);
  EXPECT_LE(std::abs(track[0].longitude), 1);
  for (size_t i = 0; i < track.size(); i += 7) {
    EXPECT_EQ(track[i].time, original[i].time);
    EXPECT_EQ(track[i].gpsHeight, original[i].gpsHeight);
    EXPECT_EQ(track[i].flags, original[i].flags);
    EXPECT_EQ(track[i].baroHeight, original[i].baroHeight);
    EXPECT_NEAR(Angle(track[0], track[i]), Angle(original[0], original[i]), 2e-9);
    EXPECT_NEAR(Angle(track[i], track[199 - i]), Angle(original[i], original[199 - i]), 2e-9);
  }
  // The route runs north-east first, then turns left (north-west): points of
  // the second leg lie left of the line from the start to the first corner.
  auto line = original;
  ASSERT_TRUE(RotateTrackPoints(line, start, {original[60].latitude, original[60].longitude}));
  EXPECT_GT(line[100].latitude, 0);
}

TEST(TrackRotation, IdentityKeepsEveryPositionIncludingTheFarSide) {
  // Start at the origin heading east: the rotation is the identity, also off
  // the equator and beyond 90 degrees of longitude.
  std::vector<TrackPoint> pts{At(Deg(0, 0)), At(Deg(10, 170)), At(Deg(-20, -150)), At(Deg(5, 95))};
  const auto original = pts;
  ASSERT_TRUE(RotateTrackPoints(pts, Deg(0, 0), Deg(0, 10)));
  for (size_t i = 0; i < pts.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(pts[i].latitude, original[i].latitude, 2);
    EXPECT_NEAR(pts[i].longitude, original[i].longitude, 2);
  }
}

TEST(TrackRotation, NoDirectionMeansNoRotation) {
  auto pts = fixtures::Straight(5, 100);
  const auto before = pts;
  EXPECT_FALSE(RotateTrackPoints(pts, Deg(10, 10), Deg(10, 10)));
  EXPECT_FALSE(RotateTrackPoints(pts, Deg(10, 10), Deg(-10, -170)));  // antipodal
  EXPECT_EQ(pts, before);
}

TEST(TrackRotation, PositionsCloserThanOneArcSecondAreRefused) {
  const double second = 3314.017975309;
  const SemicirclePosition s = Deg(46.0, 8.0);
  auto off = [&](double dlat, double dlon) {
    return SemicirclePosition{s.latitude + static_cast<int32_t>(std::lround(dlat * second)),
                              s.longitude + static_cast<int32_t>(std::lround(dlon * second))};
  };
  struct Case {
    double dlat, dlon;
    bool tooClose;
  } cases[] = {{0, 0, true}, {0.5, 0.5, true}, {-0.5, 0.9, true}, {1.01, 0, false}, {0, -1.01, false}, {3, 3, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dlat << "," << c.dlon);
    EXPECT_EQ(RotationPositionsTooClose(s, off(c.dlat, c.dlon)), c.tooClose);
  }
}

}  // namespace
}  // namespace skylode
