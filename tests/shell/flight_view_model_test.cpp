// What the flight view draws, built from real and generated flights: the
// barogram's curves and their thinning, the routes of the searches and the
// thermals.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "analysis/contest_score_text.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "shell/flight_view/flight_view_model.h"

namespace skylode {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kUnixAtTrackEpoch = 631065600.0;

TrackLog ReadFlight(const std::string& name) {
  std::string path = SKYLODE_TEST_DATA;
  path.append("/flights/").append(name);
  Result<std::string> text = ReadWholeFile(path);
  EXPECT_TRUE(text.ok()) << path;
  TrackLog log;
  if (!text.ok()) return log;
  Result<IgcParse> parsed = ParseIgcText(*text);
  EXPECT_TRUE(parsed.ok());
  if (!parsed.ok()) return log;
  log.points = std::move(parsed->points);
  for (const TrackPoint& p : log.points) log.hasBaroHeight = log.hasBaroHeight || p.baroHeight != 0;
  return log;
}

const char* const kFlights[] = {"trifai-xcontest-189.65.igc", "flat-xcontest-100.59.igc",
                                "freeflight-xcontest-66.46.igc", "flat-ffvl-26.37.igc"};

TEST(FlightViewDecimation, KeepsExtremesInTimeOrder) {
  struct Case {
    const char* name;
    std::vector<double> values;
    int32_t first, last, buckets;
    std::vector<int32_t> expected;
  };
  std::vector<double> flat(30, 5.0);
  std::vector<double> spike = flat;
  spike[17] = 900;  // one fix only: must survive the thinning
  std::vector<double> dip = flat;
  dip[4] = -50;
  std::vector<double> holes = flat;
  for (int i = 10; i < 20; ++i) holes[static_cast<size_t>(i)] = kNaN;
  const std::vector<Case> cases = {
      {"few values are all kept", {1, 2, 3, 4}, 0, 3, 2, {0, 1, 2, 3}},
      {"missing values are never drawn", {1, kNaN, 3}, 0, 2, 5, {0, 2}},
      {"a spike survives", spike, 0, 29, 3, {0, 10, 17, 20}},
      {"a dip survives", dip, 0, 29, 3, {0, 4, 10, 20}},
      {"an empty bucket gives nothing", holes, 0, 29, 3, {0, 20}},
      {"a range inside the curve", spike, 12, 29, 2, {12, 17, 21}},
      {"a range past the end is cut", {1, 2, 3}, 1, 99, 4, {1, 2}},
      {"an empty range", {1, 2, 3}, 2, 1, 4, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DecimateMinMax(c.values, c.first, c.last, c.buckets), c.expected);
  }
}

TEST(FlightViewDecimation, LongCurveStaysWithinBudgetAndKeepsRange) {
  // 200,000 fixes thinned for a chart some thousand pixels wide: the least
  // and greatest value must both still be drawn.
  std::vector<double> v(200'000);
  for (size_t i = 0; i < v.size(); ++i) v[i] = std::sin(static_cast<double>(i) / 977.0) * 1000;
  v[123'457] = 5000;
  v[42] = -5000;
  const std::vector<int32_t> drawn = DecimateMinMax(v, 0, static_cast<int32_t>(v.size()) - 1, 1000);
  EXPECT_LE(drawn.size(), 3000u);
  EXPECT_GE(drawn.size(), 1000u);
  EXPECT_TRUE(std::is_sorted(drawn.begin(), drawn.end()));
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), 123'457), drawn.end());
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), 42), drawn.end());
}

TEST(FlightViewCursor, NearestFix) {
  const std::vector<double> t = {100, 101, 105, 110};
  struct Case {
    double at;
    int32_t expected;
  };
  for (const Case& c : {Case{0, 0}, Case{100, 0}, Case{100.4, 0}, Case{100.6, 1}, Case{103.5, 2},
                        Case{107.4, 2}, Case{107.6, 3}, Case{1e9, 3}}) {
    EXPECT_EQ(NearestFix(t, c.at), c.expected) << c.at;
  }
  EXPECT_EQ(NearestFix({}, 5), -1);
}

// A straight climb north at 10 m/s over the ground and 2 m/s up, one fix a
// second.
std::vector<TrackPoint> Climb(int count) {
  std::vector<TrackPoint> points;
  for (int i = 0; i < count; ++i) {
    TrackPoint p;
    p.time = 1'000'000 + static_cast<uint32_t>(i);
    p.latitude = static_cast<int32_t>(std::lround((46.0 + i * 10 / 111'194.9) / 180 * 2147483648.0));
    p.longitude = static_cast<int32_t>(std::lround(8.0 / 180 * 2147483648.0));
    p.gpsHeight = 10'000 + i * 20;
    p.baroHeight = 900 + i * 2;
    points.push_back(p);
  }
  return points;
}

TEST(FlightViewCurves, HeightsClimbAndSpeed) {
  std::vector<TrackPoint> points = Climb(60);
  points[30].flags |= kTrackPointNoGpsHeight;
  points[30].gpsHeight = 0;
  for (const bool baro : {false, true}) {
    SCOPED_TRACE(baro ? "pressure" : "GPS");
    const BarogramCurves c = BuildBarogramCurves(points, baro);
    ASSERT_EQ(c.seconds.size(), points.size());
    EXPECT_DOUBLE_EQ(c.seconds[0], 1'000'000 + kUnixAtTrackEpoch);
    EXPECT_DOUBLE_EQ(c.gpsHeight[10], 1020);
    // A height that was not measured is no height at all, not 0 m.
    EXPECT_TRUE(std::isnan(c.gpsHeight[30]));
    if (baro) {
      EXPECT_DOUBLE_EQ(c.baroHeight[10], 920);
    } else {
      EXPECT_TRUE(std::isnan(c.baroHeight[10]));
    }
    for (size_t i = 0; i < points.size(); ++i) {
      ASSERT_FALSE(std::isnan(c.climb[i])) << i;
      EXPECT_NEAR(c.climb[i], 2.0, 1e-9) << i;
      EXPECT_NEAR(c.speed[i], 36.0, 0.2) << i;
    }
  }
}

TEST(FlightViewRoutes, TripResultsAsRoutes) {
  const std::vector<TrackPoint> points = Climb(50);
  struct Case {
    const char* name;
    TripDistances trips;
    std::string title;
    std::vector<int32_t> turnpoints;
    std::vector<double> legs;
    RouteLeg closing;
  };
  TripDistances five;
  five.five = {{0, 10, 20, 30, 40}, {1000, 2000, 3000, 4000}, 10000};
  five.open = {{0, 40, 0, 0, 0}, {4000, 0, 0, 0}, 4000};
  TripDistances triangle = five;
  triangle.faiTriangle = {{1, 5, 15, 25, 30}, {3000, 3000, 4500, 500}, 10000};
  TripDistances none;
  const std::vector<Case> cases = {
      {"greatest is the five-point distance", five, "Trip search: distance over 5 points 10.00 km",
       {0, 10, 20, 30, 40}, {1, 2, 3, 4}, {}},
      // A tie goes to the triangle: it tells more of the flight.
      {"a triangle as great", triangle, "Trip search: FAI triangle 10.00 km", {1, 5, 15, 25, 30},
       {3, 3, 4.5}, {1, 30, 0.5}},
      {"nothing found", none, "", {}, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<ScoredRoute> route = TripRoute(points, c.trips);
    if (c.title.empty()) {
      EXPECT_FALSE(route);
      continue;
    }
    ASSERT_TRUE(route);
    EXPECT_EQ(route->title, c.title);
    std::vector<int32_t> tps;
    for (const RouteTurnpoint& t : route->turnpoints) tps.push_back(t.index);
    EXPECT_EQ(tps, c.turnpoints);
    EXPECT_EQ(route->turnpoints.front().label, "start");
    EXPECT_EQ(route->turnpoints.back().label, "finish");
    ASSERT_EQ(route->legs.size(), c.legs.size());
    for (size_t k = 0; k < c.legs.size(); ++k) EXPECT_DOUBLE_EQ(route->legs[k].kilometres, c.legs[k]);
    EXPECT_EQ(route->closing.from, c.closing.from);
    EXPECT_EQ(route->closing.to, c.closing.to);
    EXPECT_DOUBLE_EQ(route->closing.kilometres, c.closing.kilometres);
  }
  // Indices past the track (a search on other points) give no route.
  TripDistances stray;
  stray.open = {{0, 400, 0, 0, 0}, {4000, 0, 0, 0}, 4000};
  EXPECT_FALSE(TripRoute(points, stray));
}

TEST(FlightViewRoutes, ContestScoresAsRoutes) {
  ContestScore triangle;
  triangle.type = ContestType::kFaiTriangle;
  triangle.legs = {{10, 20, 3000}, {20, 30, 3100}, {30, 10, 2900}};
  triangle.closing = {8, 33, 120};
  triangle.distance = 8880;
  triangle.score = 12432;
  triangle.bound = 12432;
  triangle.optimal = true;
  std::optional<ScoredRoute> route = ContestRoute(ContestRules::kXContest, triangle);
  ASSERT_TRUE(route);
  EXPECT_EQ(route->title, ContestSummary(ContestRules::kXContest, triangle));
  ASSERT_EQ(route->turnpoints.size(), 5u);
  EXPECT_EQ(route->turnpoints[0].index, 8);
  EXPECT_EQ(route->turnpoints[1].index, 10);
  EXPECT_EQ(route->turnpoints[3].index, 30);
  EXPECT_EQ(route->turnpoints[4].index, 33);
  ASSERT_EQ(route->legs.size(), 3u);
  EXPECT_DOUBLE_EQ(route->legs[1].kilometres, 31.0);
  EXPECT_EQ(route->closing.from, 8);
  EXPECT_EQ(route->closing.to, 33);
  EXPECT_DOUBLE_EQ(route->closing.kilometres, 1.2);

  // A free flight that used two of its three turnpoints: the spare one is
  // no mark and no leg.
  ContestScore free;
  free.type = ContestType::kFreeFlight;
  free.legs = {{0, 5, 1000}, {5, 9, 2000}, {9, 9, 0}, {9, 14, 1500}};
  free.distance = 4500;
  free.score = 4500;
  route = ContestRoute(ContestRules::kXContest, free);
  ASSERT_TRUE(route);
  std::vector<int32_t> tps;
  for (const RouteTurnpoint& t : route->turnpoints) tps.push_back(t.index);
  EXPECT_EQ(tps, (std::vector<int32_t>{0, 5, 9, 14}));
  EXPECT_EQ(route->turnpoints[2].label, "TP2");
  EXPECT_EQ(route->legs.size(), 3u);
  EXPECT_EQ(route->closing.from, -1);

  EXPECT_FALSE(ContestRoute(ContestRules::kFfvl, ContestScore{}));
}

TEST(FlightViewThermals, RealFlightsClimbInTheirThermals) {
  for (const char* name : kFlights) {
    SCOPED_TRACE(name);
    const TrackLog log = ReadFlight(name);
    ASSERT_GT(log.count(), 1000);
    const std::vector<ThermalPhase> thermals = FindThermals(log.points, log.hasBaroHeight);
    // Cross-country flights of one to several hours: a handful of climbs at
    // least, and nowhere near one per minute.
    const double hours = (log.points.back().time - log.points.front().time) / 3600.0;
    EXPECT_GE(thermals.size(), 3u);
    EXPECT_LE(static_cast<double>(thermals.size()), hours * 60);
    int climbing = 0;
    double climbSum = 0;
    for (size_t k = 0; k < thermals.size(); ++k) {
      EXPECT_LT(thermals[k].first, thermals[k].last);
      EXPECT_LT(thermals[k].last, log.count());
      if (k > 0) {
        EXPECT_LE(thermals[k - 1].first, thermals[k].first);
      }
      if (thermals[k].meanClimb > 0) ++climbing;
      climbSum += thermals[k].meanClimb;
      EXPECT_LT(std::abs(thermals[k].meanClimb), 10.0);
    }
    // Pilots circle where it goes up; now and then they try a turn in sink
    // and leave.
    EXPECT_GE(climbing * 3, static_cast<int>(thermals.size()) * 2);
    EXPECT_GT(climbSum / static_cast<double>(thermals.size()), 0.3);
  }
}

TEST(FlightViewModel, RouteOfARealFlightIsTheTripSearchResult) {
  const TrackLog log = ReadFlight("trifai-xcontest-189.65.igc");
  ASSERT_FALSE(log.empty());
  FlightViewOptions options;
  options.scoreContests = false;
  FlightViewModel model;
  ASSERT_TRUE(model.Load(log, options));
  EXPECT_FALSE(model.overlays().thermals.empty());
  EXPECT_EQ(model.curves().seconds.size(), log.points.size());
  ASSERT_TRUE(model.WaitFor(std::chrono::minutes(3), true));
  ASSERT_EQ(model.overlays().routes.size(), 1u);

  TripDistances expected;
  TripHaltFlag halt{false};
  TripSearchOptions search;
  search.loopFlightGap = options.loopFlightGap;
  ASSERT_EQ(RunTripSearch(log.points, expected, search, {}, halt), 0);
  const std::optional<ScoredRoute> route = TripRoute(log.points, expected);
  ASSERT_TRUE(route);
  const ScoredRoute& got = model.overlays().routes[0];
  EXPECT_EQ(got.title, route->title);
  ASSERT_EQ(got.turnpoints.size(), route->turnpoints.size());
  for (size_t k = 0; k < got.turnpoints.size(); ++k) EXPECT_EQ(got.turnpoints[k].index, route->turnpoints[k].index);
  ASSERT_EQ(got.legs.size(), route->legs.size());
  for (size_t k = 0; k < got.legs.size(); ++k) EXPECT_DOUBLE_EQ(got.legs[k].kilometres, route->legs[k].kilometres);

  // The same points again: nothing is redone. Other points start over.
  EXPECT_FALSE(model.Load(log, options));
  EXPECT_EQ(model.overlays().routes.size(), 1u);
  TrackLog shorter = log;
  shorter.points.resize(shorter.points.size() / 2);
  EXPECT_TRUE(model.Load(shorter, options));
  EXPECT_TRUE(model.overlays().routes.empty());
  EXPECT_EQ(model.points().size(), shorter.points.size());
}

TEST(FlightViewModel, ContestRoutesArriveAfterTheTrip) {
  const TrackLog log = ReadFlight("flat-ffvl-26.37.igc");
  ASSERT_FALSE(log.empty());
  FlightViewOptions options;
  options.contestSeconds = 5;
  FlightViewModel model;
  ASSERT_TRUE(model.Load(log, options));
  ASSERT_TRUE(model.WaitFor(std::chrono::minutes(3), true));
  EXPECT_FALSE(model.Busy());
  const auto& routes = model.overlays().routes;
  ASSERT_EQ(routes.size(), 3u);
  EXPECT_EQ(routes[0].title.rfind("Trip search: ", 0), 0u);
  EXPECT_EQ(routes[1].title.rfind("XContest: ", 0), 0u);
  EXPECT_EQ(routes[2].title.rfind("FFVL: ", 0), 0u);
  for (const ScoredRoute& r : routes) {
    SCOPED_TRACE(r.title);
    ASSERT_GE(r.turnpoints.size(), 2u);
    for (const RouteTurnpoint& t : r.turnpoints) {
      EXPECT_GE(t.index, 0);
      EXPECT_LT(t.index, log.count());
    }
  }
}

TEST(FlightViewModel, ClosingWhileSearchingStopsTheSearch) {
  const TrackLog log = ReadFlight("trifai-xcontest-189.65.igc");
  FlightViewOptions options;
  options.contestSeconds = 600;
  const auto start = std::chrono::steady_clock::now();
  {
    FlightViewModel model;
    ASSERT_TRUE(model.Load(log, options));
  }
  // Far below the ten minutes the scoring was allowed.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

}  // namespace
}  // namespace skylode
