#include "analysis/trip_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "analysis/geodesy.h"
#include "analysis/track_fixtures.h"
#include "analysis/trip_search_reference.h"

namespace skylode {
namespace {

using fixtures::Metres;
using fixtures::Shape;

struct NamedTrack {
  std::string name;
  std::vector<TrackPoint> points;
};

std::vector<NamedTrack> GeneratedTracks() {
  const std::vector<Metres> triangle{{9000, 4000}, {2500, 13000}, {-4000, 5000}};
  std::vector<NamedTrack> t;
  t.push_back({"straight dense", fixtures::Straight(300, 20)});
  t.push_back({"straight sparse", fixtures::Straight(80, 2000)});
  t.push_back({"closed circle", fixtures::Circle(320, 3000)});
  t.push_back({"triangle", fixtures::Triangle(300, triangle)});
  t.push_back({"flat triangle", fixtures::Triangle(260, {{20000, 0}, {21000, 1500}, {500, 1200}})});
  t.push_back({"sitting still", fixtures::Still(120)});
  t.push_back({"square hops (ties)", fixtures::SquareHops(200, 500)});
  t.push_back({"square hops small (ties)", fixtures::SquareHops(40, 300)});
  t.push_back({"random walk", fixtures::RandomWalk(320, 150, 7)});
  t.push_back({"random walk short strides", fixtures::RandomWalk(300, 25, 11)});
  t.push_back({"thermalling flight", fixtures::Flight(320, triangle, 3)});
  t.push_back({"across 180 degrees", fixtures::Flight(300, triangle, 5, Shape{-17.0, 179.95, 1})});
  for (size_t n = 1; n <= 7; ++n) t.push_back({"tiny " + std::to_string(n), fixtures::RandomWalk(n, 400, 1)});
  return t;
}

TripSearchWork Prepared(const std::vector<TrackPoint>& points, int threads = 2) {
  TripSearchWork w;
  SampleAndProject(points, w);
  EXPECT_TRUE(BuildDistanceMatrix(w, nullptr, threads));
  EXPECT_TRUE(BuildGapMatrix(w));
  return w;
}

// The fast coarse searches against the literal loops, track by track: the
// matrices, every choice with its tie-break, and the triangles with one and
// several threads.
TEST(TripSearchCoarse, MatchesReferenceOnGeneratedTracks) {
  for (const NamedTrack& track : GeneratedTracks()) {
    SCOPED_TRACE(track.name);
    const TripSearchWork w = Prepared(track.points);
    reference::ReferenceWork r = reference::BuildReference(w);
    for (int32_t i = 0; i < w.m; ++i) {
      for (int32_t k = i; k < w.m; ++k) {
        ASSERT_EQ(w.D(i, k), r.d(i, k)) << i << "," << k;
        ASSERT_EQ(w.D(k, i), r.d(i, k));
      }
    }
    EXPECT_EQ(w.bestFrom, r.bestFrom);
    EXPECT_EQ(w.bestFromArg, r.bestFromArg);
    EXPECT_EQ(w.bestTo, r.bestTo);
    EXPECT_EQ(w.bestToArg, r.bestToArg);

    EXPECT_EQ(CoarseGreatestDistance2(w), reference::Distance2(r));
    EXPECT_EQ(CoarseGreatestDistance3(w), reference::Distance3(r));
    EXPECT_EQ(CoarseGreatestDistance4(w), reference::Distance4(r));
    EXPECT_EQ(CoarseGreatestDistance5(w), reference::Distance5(r));

    for (uint32_t gap : {0u, 1u, 800u, 2500u, 100000u}) {
      SCOPED_TRACE("gap " + std::to_string(gap));
      EXPECT_EQ(CoarseOutAndReturn(w, gap), reference::OutAndReturn(r, gap));
      const CoarseTriangles expected = reference::Triangles(r, gap);
      if (gap != 0 && w.m >= 3) {
        for (int32_t i = 0; i + 1 < w.m; ++i) {
          for (int32_t k = i + 1; k < w.m; ++k) {
            ASSERT_EQ(w.G(i, k), r.G[r.Offset(i) + k]) << i << "," << k;
            ASSERT_EQ(w.GArg(i, k), r.Garg[r.Offset(i) + k]) << i << "," << k;
          }
        }
      }
      for (int threads : {1, 3}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        const CoarseTriangles got = CoarseTriangleSearch(w, gap, nullptr, threads);
        EXPECT_EQ(got.flat, expected.flat);
        EXPECT_EQ(got.fai, expected.fai);
      }
    }
  }
}

// At full size the cubic reference loops are too slow for a test; the
// matrices and the quadratic searches still have to agree.
TEST(TripSearchCoarse, MatchesReferenceOnSampledLongFlight) {
  const auto points = fixtures::Flight(30000, {{30000, 8000}, {12000, 40000}, {-9000, 15000}}, 9);
  const TripSearchWork w = Prepared(points);
  ASSERT_EQ(w.m, 2000);
  const reference::ReferenceWork r = reference::BuildReference(w);
  for (int32_t i = 0; i < w.m; i += 7)
    for (int32_t k = i; k < w.m; ++k) ASSERT_EQ(w.D(i, k), r.d(i, k));
  EXPECT_EQ(w.bestFrom, r.bestFrom);
  EXPECT_EQ(w.bestToArg, r.bestToArg);
  EXPECT_EQ(CoarseGreatestDistance2(w), reference::Distance2(r));
  EXPECT_EQ(CoarseGreatestDistance3(w), reference::Distance3(r));
  EXPECT_EQ(CoarseGreatestDistance4(w), reference::Distance4(r));
  EXPECT_EQ(CoarseGreatestDistance5(w), reference::Distance5(r));
}

// A larger closed flight, where the skipping of hopeless first and third
// turnpoints and of whole blocks of second ones has the most to skip.
TEST(TripSearchCoarse, TrianglesMatchReferenceOnLargerClosedFlight) {
  const auto points = fixtures::Flight(720, {{14000, 6000}, {5000, 19000}, {-6000, 8000}}, 13);
  const TripSearchWork w = Prepared(points);
  reference::ReferenceWork r = reference::BuildReference(w);
  const CoarseTriangles expected = reference::Triangles(r, 800);
  ASSERT_TRUE(expected.fai.found);
  for (int threads : {1, 2}) {
    const CoarseTriangles got = CoarseTriangleSearch(w, 800, nullptr, threads);
    EXPECT_EQ(got.flat, expected.flat);
    EXPECT_EQ(got.fai, expected.fai);
  }
  EXPECT_EQ(CoarseOutAndReturn(w, 800), reference::OutAndReturn(r, 800));
}

TEST(TripSearchSampling, TakesAllUpTo2000AndSpreadsLongerTracks) {
  struct Case {
    size_t n;
    int32_t expected;
  } cases[] = {{0, 0}, {1, 1}, {1999, 1999}, {2000, 2000}, {2001, 2000}, {4001, 2000}, {40000, 2000}, {123457, 2000}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.n);
    const auto points = fixtures::Straight(c.n, 5);
    TripSearchWork w;
    SampleAndProject(points, w);
    ASSERT_EQ(w.m, c.expected);
    ASSERT_EQ(w.index.size(), static_cast<size_t>(c.expected));
    if (c.n <= 2000) {
      for (int32_t i = 0; i < w.m; ++i) ASSERT_EQ(w.index[i], i);
      continue;
    }
    EXPECT_EQ(w.index.front(), 0);
    int32_t least = INT32_MAX, most = 0;
    for (int32_t i = 1; i < w.m; ++i) {
      const int32_t step = w.index[i] - w.index[i - 1];
      least = std::min(least, step);
      most = std::max(most, step);
    }
    EXPECT_LE(most - least, 1);
    EXPECT_GE(least, 1);
    EXPECT_GT(w.index.back(), static_cast<int32_t>(c.n) - most - 1);
  }
}

std::vector<TrackPoint> ShiftedEast(std::vector<TrackPoint> points, int64_t semicircles) {
  for (TrackPoint& p : points) {
    int64_t lon = p.longitude + semicircles;
    while (lon >= (int64_t{1} << 31)) lon -= int64_t{1} << 32;
    while (lon < -(int64_t{1} << 31)) lon += int64_t{1} << 32;
    p.longitude = static_cast<int32_t>(lon);
  }
  return points;
}

double BruteForceGreatestDistance(const std::vector<TrackPoint>& p) {
  double best = 0;
  for (size_t i = 0; i < p.size(); ++i)
    for (size_t k = i + 1; k < p.size(); ++k)
      best = std::max(best, GeoDistanceSemicircles(p[i].latitude, p[i].longitude, p[k].latitude, p[k].longitude));
  return best;
}

TripDistances Search(const std::vector<TrackPoint>& points, uint32_t gap = 800) {
  TripDistances out;
  TripHaltFlag halt{false};
  EXPECT_EQ(RunTripSearch(points, out, {gap, 2}, {}, halt), 0);
  return out;
}

// The projection is centred on the track itself: moving a track east by a
// whole number of semicircles (to 170 E, or across 180) changes nothing, and
// the open distance agrees with a brute-force search over all pairs.
TEST(TripSearchProjection, LongitudeShiftChangesNothingIncludingAcross180) {
  const auto base = fixtures::Flight(400, {{9000, 4000}, {2500, 13000}, {-4000, 5000}}, 21, Shape{46.5, 10.0, 1});
  const TripDistances expected = Search(base);
  ASSERT_GT(expected.flatTriangle.total, 0);
  const double degree = kDegreesToSemicircles;
  struct Case {
    const char* name;
    int64_t shift;
  } cases[] = {{"at 170 E", static_cast<int64_t>(160 * degree)},
               {"across 180", static_cast<int64_t>(169.95 * degree)},
               {"at 170 W", static_cast<int64_t>(-180 * degree)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto moved = ShiftedEast(base, c.shift);
    TripSearchWork w;
    SampleAndProject(moved, w);
    const double east = w.centralMeridian * 180 / std::numbers::pi;
    EXPECT_NEAR(std::remainder(east - (10.0 + c.shift / degree), 360.0), 0.0, 0.5);
    const TripDistances got = Search(moved);
    const TripResult* pairs[][2] = {{&got.open, &expected.open},
                                    {&got.five, &expected.five},
                                    {&got.outAndReturn, &expected.outAndReturn},
                                    {&got.flatTriangle, &expected.flatTriangle},
                                    {&got.faiTriangle, &expected.faiTriangle}};
    for (auto& [g, e] : pairs) {
      EXPECT_EQ(g->index, e->index);
      EXPECT_NEAR(g->total, e->total, 0.01);
    }
    EXPECT_NEAR(got.open.total, BruteForceGreatestDistance(moved), 0.01);
  }
}

TEST(TripSearchRun, StraightFlightsFillDistancesAndLoopsOnlyWhenDense) {
  // Fixes 2 km apart never close within the gap.
  const auto sparse = fixtures::Straight(60, 2000);
  const TripDistances s = Search(sparse);
  const double length = GeoDistanceSemicircles(sparse.front().latitude, sparse.front().longitude,
                                               sparse.back().latitude, sparse.back().longitude);
  EXPECT_EQ(s.open.index[0], 0);
  EXPECT_EQ(s.open.index[1], 59);
  EXPECT_DOUBLE_EQ(s.open.total, length);
  // The fixture walks a rhumb line, not a geodesic: a few metres over 118 km.
  for (const TripResult* r : {&s.three, &s.four, &s.five}) {
    EXPECT_GE(r->total, length);
    EXPECT_NEAR(r->total, length, length * 2e-5);
  }
  EXPECT_EQ(s.outAndReturn, TripResult{});
  EXPECT_EQ(s.flatTriangle, TripResult{});
  EXPECT_EQ(s.faiTriangle, TripResult{});

  // Fixes 20 m apart: three of them within 800 m already make a small
  // out-and-return and a flat "triangle", but never an FAI one.
  const TripDistances d = Search(fixtures::Straight(400, 20));
  EXPECT_GT(d.outAndReturn.total, 0);
  EXPECT_LE(d.outAndReturn.total, 800);
  EXPECT_GT(d.flatTriangle.total, 0);
  EXPECT_LE(d.flatTriangle.total, 800);
  EXPECT_EQ(d.faiTriangle, TripResult{});
}

TEST(TripSearchRun, GapZeroLeavesLoopsAtZero) {
  const auto points = fixtures::Triangle(300, {{9000, 4000}, {2500, 13000}, {-4000, 5000}});
  const TripDistances r = Search(points, 0);
  EXPECT_GT(r.open.total, 0);
  EXPECT_GT(r.five.total, 0);
  EXPECT_EQ(r.outAndReturn, TripResult{});
  EXPECT_EQ(r.flatTriangle, TripResult{});
  EXPECT_EQ(r.faiTriangle, TripResult{});
}

TEST(TripSearchRun, TriangleFlightGivesClosedTrianglesAndValidLegs) {
  const std::vector<Metres> corners{{9000, 4000}, {2500, 13000}, {-4000, 5000}};
  double perimeter = 0;
  Metres prev = corners.back();
  for (const Metres& c : corners) {
    perimeter += std::hypot(c.east - prev.east, c.north - prev.north);
    prev = c;
  }
  // Long enough to be sampled, so the refinement is what finds the corners.
  const auto points = fixtures::Triangle(6001, corners);
  const TripDistances r = Search(points);
  for (const TripResult* t : {&r.flatTriangle, &r.faiTriangle}) {
    EXPECT_TRUE(std::is_sorted(t->index.begin(), t->index.end()));
    EXPECT_LT(t->legs[3], 800);
    EXPECT_NEAR(t->total, t->legs[0] + t->legs[1] + t->legs[2] - t->legs[3], 1e-6);
    EXPECT_NEAR(t->legs[0] + t->legs[1] + t->legs[2], perimeter, perimeter * 0.005);
  }
  const double p = r.faiTriangle.legs[0] + r.faiTriangle.legs[1] + r.faiTriangle.legs[2];
  for (int l = 0; l < 3; ++l) EXPECT_GE(r.faiTriangle.legs[l], 0.28 * p);
  EXPECT_GE(r.flatTriangle.total, r.faiTriangle.total);
  EXPECT_NEAR(r.outAndReturn.total, 2 * r.outAndReturn.legs[0] - r.outAndReturn.legs[1], 1e-6);
  EXPECT_LE(r.outAndReturn.legs[1], 800);
  // Open distances over more points never get shorter.
  EXPECT_LE(r.open.total, r.three.total);
  EXPECT_LE(r.three.total, r.four.total);
  EXPECT_LE(r.four.total, r.five.total);
}

TEST(TripSearchRun, RefinementReachesTheTrueEndsOfASampledTrack) {
  const auto points = fixtures::Straight(4003, 10);
  const TripDistances r = Search(points);
  EXPECT_EQ(r.open.index[0], 0);
  EXPECT_EQ(r.open.index[1], 4002);
  EXPECT_DOUBLE_EQ(r.open.legs[0], GeoDistanceSemicircles(points.front().latitude, points.front().longitude,
                                                          points.back().latitude, points.back().longitude));
}

TEST(TripSearchRun, ReportsStepsAndHaltInTriangleSearchLeavesTrianglesZero) {
  const auto points = fixtures::Triangle(500, {{9000, 4000}, {2500, 13000}, {-4000, 5000}});
  TripHaltFlag halt{false};
  std::vector<std::string> shown;
  TripDistances r;
  const int status = RunTripSearch(points, r, {800, 2}, [&](std::string_view text) {
    shown.emplace_back(text);
    if (text == "Computing triangle distance") halt = true;
  }, halt);
  EXPECT_EQ(status, 0);
  ASSERT_EQ(shown.size(), 8u);
  EXPECT_EQ(shown[0], "Computing distance matrix");
  EXPECT_EQ(shown[1], "Computing greatest distance (2 points)");
  EXPECT_EQ(shown[5], "Computing out-and-return distance");
  EXPECT_EQ(shown[6], "Computing triangle distance");
  EXPECT_EQ(shown[7].rfind("Computing completed (", 0), 0u) << shown[7];
  EXPECT_EQ(shown[7].substr(shown[7].size() - 6), " secs)");
  EXPECT_GT(r.open.total, 0);
  EXPECT_GT(r.outAndReturn.total, 0);
  EXPECT_EQ(r.flatTriangle, TripResult{});
  EXPECT_EQ(r.faiTriangle, TripResult{});
}

TEST(TripSearchRun, HaltedSearchesReturnNothing) {
  const TripSearchWork w = Prepared(fixtures::Circle(300, 2000));
  TripHaltFlag halt{true};
  EXPECT_FALSE(CoarseGreatestDistance4(w, &halt).found);
  EXPECT_FALSE(CoarseGreatestDistance5(w, &halt).found);
  EXPECT_FALSE(CoarseOutAndReturn(w, 800, &halt).found);
  const CoarseTriangles t = CoarseTriangleSearch(w, 800, &halt, 2);
  EXPECT_FALSE(t.flat.found);
  EXPECT_FALSE(t.fai.found);
  EXPECT_TRUE(CoarseTriangleSearch(w, 800, nullptr, 2).flat.found);
}

TEST(TripSearchRun, ShortTracksGiveZerosWithoutFailing) {
  for (size_t n : {0u, 1u, 2u, 3u, 4u}) {
    SCOPED_TRACE(n);
    const auto points = fixtures::Straight(n, 3000);
    const TripDistances r = Search(points);
    if (n >= 2) {
      EXPECT_GT(r.open.total, 0);
    } else {
      EXPECT_EQ(r.open, TripResult{});
    }
    if (n < 5) {
      EXPECT_EQ(r.five, TripResult{});
    }
  }
}

}  // namespace
}  // namespace skylode
