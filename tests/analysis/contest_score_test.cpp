// The contest optimiser against flights whose best scoring is known by
// construction, and against an exhaustive search on small flights.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/contest_score.h"
#include "analysis/contest_score_text.h"
#include "analysis/track_fixtures.h"

namespace skylode {
namespace {

using fixtures::Metres;

constexpr size_t kX = 0;  // XContest
constexpr size_t kF = 1;  // FFVL

// A flight along the given corners, a fix every `step` metres along each
// segment and exactly one on every corner, at 10 m/s.
std::vector<TrackPoint> Along(const std::vector<Metres>& corners, double step) {
  std::vector<Metres> o{corners.front()};
  for (size_t c = 1; c < corners.size(); ++c) {
    const double len = std::hypot(corners[c].east - corners[c - 1].east, corners[c].north - corners[c - 1].north);
    const int parts = std::max(1, static_cast<int>(std::ceil(len / step)));
    for (int i = 1; i <= parts; ++i) {
      const double f = static_cast<double>(i) / parts;
      o.push_back({corners[c - 1].east + f * (corners[c].east - corners[c - 1].east),
                   corners[c - 1].north + f * (corners[c].north - corners[c - 1].north)});
    }
  }
  return fixtures::FromOffsets(o, {.step = static_cast<uint32_t>(std::max(1.0, step / 10))});
}

// Index of the fix nearest to an offset.
size_t FixAt(const std::vector<TrackPoint>& points, Metres m) {
  const TrackPoint want = fixtures::PointAt(46.5, 8.0, m, 0);
  size_t best = 0;
  int64_t bestD = INT64_MAX;
  for (size_t i = 0; i < points.size(); ++i) {
    const int64_t d = std::llabs(static_cast<int64_t>(points[i].latitude) - want.latitude) +
                      std::llabs(static_cast<int64_t>(points[i].longitude) - want.longitude);
    if (d < bestD) bestD = d, best = i;
  }
  return best;
}

// The legs the result names must give the distance it claims.
void ExpectLegsAddUp(const std::vector<TrackPoint>& points, const ContestScore& s) {
  ASSERT_TRUE(s.found());
  int64_t sum = 0;
  for (const ContestLeg& leg : s.legs) {
    EXPECT_EQ(LegUnits(points[static_cast<size_t>(leg.from)], points[static_cast<size_t>(leg.to)]), leg.units);
    sum += leg.units;
  }
  if (IsTriangle(s.type)) {
    EXPECT_LE(s.closing.from, s.legs[0].from);
    EXPECT_GE(s.closing.to, s.legs[2].from);
    EXPECT_EQ(LegUnits(points[static_cast<size_t>(s.closing.from)], points[static_cast<size_t>(s.closing.to)]),
              s.closing.units);
    EXPECT_TRUE(s.distance == sum || s.distance == sum - s.closing.units);
  } else {
    EXPECT_EQ(s.distance, sum);
    for (size_t i = 1; i < s.legs.size(); ++i) EXPECT_LE(s.legs[i - 1].from, s.legs[i].from);
  }
}

TEST(ContestScore, ShapesWithKnownOptima) {
  // An equilateral triangle of about 30 km flown from its first corner; the
  // flight ends `gap` short of it on the last side.
  const double side = 10'000;
  const Metres a{0, 0}, b{side, 0}, c{side / 2, side * std::sqrt(3.0) / 2};
  const auto ending = [&](double gap) {
    return Metres{a.east + (c.east - a.east) * gap / side, a.north + (c.north - a.north) * gap / side};
  };
  struct Case {
    const char* name;
    std::vector<Metres> corners;
    ContestType xcontest;
    ContestType ffvl;
  };
  const Case cases[] = {
      {"closed exactly", {a, b, c, a}, ContestType::kClosedFaiTriangle, ContestType::kFfvlFaiTriangle},
      {"gap of 4.5 %", {a, b, c, ending(1350)}, ContestType::kClosedFaiTriangle, ContestType::kFfvlFaiTriangle},
      {"gap of 15 %", {a, b, c, ending(4500)}, ContestType::kFaiTriangle, ContestType::kDistance3Points},
      {"gap of 25 %", {a, b, c, ending(7500)}, ContestType::kFreeFlight, ContestType::kDistance3Points},
      {"flat, closed", {a, {30'000, 0}, {15'000, 3'000}, a}, ContestType::kClosedFreeTriangle,
       ContestType::kFlatTriangle},
      {"straight line", {a, {40'000, 10'000}}, ContestType::kFreeFlight, ContestType::kDistance3Points},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const auto points = Along(k.corners, 250);
    const ContestScores s = ScoreContests(points);
    EXPECT_EQ(s.cut.takeOff, 0);
    EXPECT_EQ(s.cut.landing, static_cast<int32_t>(points.size()) - 1);
    EXPECT_EQ(s[ContestRules::kXContest].type, k.xcontest);
    EXPECT_EQ(s[ContestRules::kFfvl].type, k.ffvl);
    for (const ContestScore& r : s.byRules) {
      EXPECT_TRUE(r.optimal);
      EXPECT_EQ(r.bound, r.score);
      ExpectLegsAddUp(points, r);
    }
    // The expected scoring from the corner fixes themselves.
    std::vector<size_t> at;
    for (const Metres& m : k.corners) at.push_back(FixAt(points, m));
    const auto leg = [&](size_t i, size_t j) { return LegUnits(points[at[i]], points[at[j]]); };
    if (IsTriangle(k.xcontest)) {
      const int64_t p = leg(0, 1) + leg(1, 2) + leg(2, 0);
      const int64_t g = leg(0, 3);
      const int tenths = k.xcontest == ContestType::kClosedFaiTriangle    ? 16
                         : k.xcontest == ContestType::kClosedFreeTriangle ? 14
                                                                          : 14;
      EXPECT_EQ(s.byRules[kX].distance, p - g);
      EXPECT_EQ(s.byRules[kX].score, ScoreFromUnits(p - g, tenths));
      EXPECT_EQ(s.byRules[kX].closing.units, g);
      if (IsTriangle(k.ffvl)) {
        // A gap under 3 km is not taken off.
        EXPECT_EQ(s.byRules[kF].distance, p);
        EXPECT_EQ(s.byRules[kF].score, ScoreFromUnits(p, k.ffvl == ContestType::kFfvlFaiTriangle ? 14 : 12));
      }
    } else {
      // Along the corners to the end of the flight; legs split on a straight
      // stretch may each round up, by half a unit at most.
      int64_t corners = 0;
      for (size_t i = 1; i < at.size(); ++i) corners += leg(i - 1, i);
      EXPECT_GE(s.byRules[kX].distance, corners);
      EXPECT_LE(s.byRules[kX].distance, corners + 2);
      EXPECT_EQ(s.byRules[kF].score, s.byRules[kX].score);
    }
  }
}

// --- the exhaustive reference ---------------------------------------------

struct Reference {
  std::array<int64_t, 2> score{};
};

Reference Exhaustive(const std::vector<TrackPoint>& points) {
  const size_t n = points.size();
  std::vector<int64_t> d(n * n);
  for (size_t i = 0; i < n; ++i)
    for (size_t j = i; j < n; ++j) d[i * n + j] = d[j * n + i] = LegUnits(points[i], points[j]);
  const auto D = [&](size_t i, size_t j) { return d[i * n + j]; };
  Reference r;
  // Five points in time order, every choice: best sums leg by leg.
  std::vector<int64_t> best(n, 0), next(n);
  for (int legs = 0; legs < 4; ++legs) {
    for (size_t j = 0; j < n; ++j) {
      next[j] = 0;
      for (size_t i = 0; i <= j; ++i) next[j] = std::max(next[j], best[i] + D(i, j));
    }
    best = next;
  }
  const int64_t free = *std::max_element(best.begin(), best.end());
  r.score = {free, free};
  // Least closing gap for every pair: gap(i, k) = least D(s, e), s <= i, e >= k.
  std::vector<int64_t> gap(n * n, INT64_MAX);
  for (size_t i = 0; i < n; ++i)
    for (size_t k = n; k-- > i;) {
      int64_t g = D(i, k);
      if (i > 0) g = std::min(g, gap[(i - 1) * n + k]);
      if (k + 1 < n) g = std::min(g, gap[i * n + k + 1]);
      gap[i * n + k] = g;
    }
  for (size_t t1 = 0; t1 < n; ++t1)
    for (size_t t2 = t1; t2 < n; ++t2)
      for (size_t t3 = t2; t3 < n; ++t3) {
        const int64_t a = D(t1, t2), b = D(t2, t3), c = D(t3, t1), p = a + b + c;
        if (p == 0) continue;
        const int64_t g = gap[t1 * n + t3];
        const bool fai = 100 * std::min({a, b, c}) >= 28 * p;
        if (100 * g <= 20 * p) {
          const bool closed = 100 * g <= 5 * p;
          const int tenths = fai ? (closed ? 16 : 14) : (closed ? 14 : 12);
          r.score[kX] = std::max(r.score[kX], ScoreFromUnits(p - g, tenths));
        }
        if (g <= 300 || 100 * g <= 5 * p) {
          const int64_t dist = g > 300 ? p - g : p;
          r.score[kF] = std::max(r.score[kF], ScoreFromUnits(dist, fai ? 14 : 12));
        }
      }
  return r;
}

TEST(ContestScore, AgreesWithExhaustiveSearchOnSmallFlights) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
  };
  const Case cases[] = {
      {"wandering", fixtures::RandomWalk(160, 180, 3)},
      {"wandering, other seed", fixtures::RandomWalk(200, 150, 11)},
      {"thermals on a triangle", fixtures::Flight(170, {{9000, 2000}, {4000, 8000}}, 5)},
      {"thermals on a long flat triangle", fixtures::Flight(170, {{14000, 1000}, {7000, 2500}}, 8)},
      {"circling", fixtures::Circle(150, 2500)},
      {"exact ties", fixtures::SquareHops(120, 3000)},
      {"straight, where split legs round up", Along({{0, 0}, {12'000, 9'000}}, 150)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ContestOptions options;
    options.cutFlight = false;
    const ContestScores s = ScoreContests(k.points, options);
    const Reference want = Exhaustive(k.points);
    EXPECT_EQ(s.byRules[kX].score, want.score[kX]);
    EXPECT_EQ(s.byRules[kF].score, want.score[kF]);
    for (const ContestScore& r : s.byRules) {
      EXPECT_TRUE(r.optimal);
      ExpectLegsAddUp(k.points, r);
    }
  }
}

TEST(ContestScore, OneThreadAndManyAgree) {
  const auto points = fixtures::Flight(3000, {{24000, 9000}, {9000, 30000}, {-8000, 14000}}, 17);
  ContestOptions one, two;
  one.threads = 1;
  two.threads = 2;
  const ContestScores a = ScoreContests(points, one), b = ScoreContests(points, two);
  for (size_t r = 0; r < 2; ++r) {
    EXPECT_EQ(a.byRules[r].score, b.byRules[r].score);
    EXPECT_EQ(a.byRules[r].type, b.byRules[r].type);
    EXPECT_TRUE(a.byRules[r].optimal && b.byRules[r].optimal);
  }
}

TEST(ContestScore, StoppedEarlyGivesAnHonestBound) {
  const auto points = fixtures::Flight(6000, {{24000, 9000}, {9000, 30000}, {-8000, 14000}}, 17);
  const ContestScores full = ScoreContests(points);
  std::atomic<bool> cancel{true};
  ContestOptions options;
  options.cancel = &cancel;
  int reports = 0;
  options.progress = [&](const ContestProgress& p) {
    ++reports;
    for (size_t r = 0; r < 2; ++r) EXPECT_GE(p.bound[r], p.best[r]);
  };
  const ContestScores cut = ScoreContests(points, options);
  EXPECT_TRUE(cut.cancelled);
  EXPECT_GT(reports, 0);
  for (size_t r = 0; r < 2; ++r) {
    SCOPED_TRACE(r);
    EXPECT_LE(cut.byRules[r].score, full.byRules[r].score);
    EXPECT_GE(cut.byRules[r].bound, full.byRules[r].score);
    EXPECT_EQ(cut.byRules[r].optimal, cut.byRules[r].bound == cut.byRules[r].score);
  }
}

TEST(ContestScore, RepeatedTimesAreNoNewFixes) {
  const auto clean = Along({{0, 0}, {8'000, 3'000}, {2'000, 9'000}}, 250);
  auto points = clean;
  // A second fix at the same second far off the course: a logger glitch.
  points.insert(points.begin() + 21, fixtures::PointAt(46.5, 8.0, {30'000, -30'000}, points[20].time));
  const ContestScores s = ScoreContests(points), want = ScoreContests(clean);
  for (size_t r = 0; r < 2; ++r) {
    EXPECT_EQ(s.byRules[r].score, want.byRules[r].score);
    for (const ContestLeg& leg : s.byRules[r].legs) {
      EXPECT_NE(leg.from, 21);
      EXPECT_NE(leg.to, 21);
    }
  }
}

// Standing, walking and driving around a flight are cut off.
TEST(ContestScore, FlightCutFindsTakeOffAndLanding) {
  const auto still = [](size_t n, Metres at, uint32_t from) {
    std::vector<TrackPoint> out;
    for (size_t i = 0; i < n; ++i)
      out.push_back(fixtures::PointAt(46.5, 8.0, {at.east + (i % 3), at.north - (i % 2)}, from + static_cast<uint32_t>(i),
                                      10000 + static_cast<int32_t>(i % 3)));
    return out;
  };
  const auto moving = [](Metres from, Metres to, size_t n, uint32_t t0) {
    std::vector<TrackPoint> out;
    for (size_t i = 0; i < n; ++i) {
      const double f = static_cast<double>(i) / static_cast<double>(n - 1);
      out.push_back(fixtures::PointAt(46.5, 8.0, {from.east + f * (to.east - from.east), from.north + f * (to.north - from.north)},
                                      t0 + static_cast<uint32_t>(i)));
    }
    return out;
  };
  struct Case {
    const char* name;
    std::vector<std::vector<TrackPoint>> parts;
    int flightPart;  // -1: no flight at all
  };
  const uint32_t t = fixtures::kMorning;
  const Case cases[] = {
      {"standing, flying, standing",
       {still(600, {0, 0}, t), moving({0, 0}, {12000, 0}, 1200, t + 600), still(600, {12000, 0}, t + 1800)},
       1},
      {"walk up, fly, pack, drive home",
       {moving({0, 0}, {-900, 0}, 900, t), still(300, {-900, 0}, t + 900),
        moving({-900, 0}, {15000, 2000}, 1600, t + 1200), still(900, {15000, 2000}, t + 2800),
        moving({15000, 2000}, {15000, 14000}, 600, t + 3700)},
       2},
      {"only standing", {still(900, {0, 0}, t)}, -1},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    std::vector<TrackPoint> points;
    size_t first = 0, last = 0;
    for (size_t p = 0; p < k.parts.size(); ++p) {
      if (static_cast<int>(p) == k.flightPart) first = points.size();
      points.insert(points.end(), k.parts[p].begin(), k.parts[p].end());
      if (static_cast<int>(p) == k.flightPart) last = points.size() - 1;
    }
    const FlightCut cut = CutFlight(points);
    if (k.flightPart < 0) {
      EXPECT_EQ(cut.landing, -1);
      EXPECT_FALSE(ScoreContests(points).byRules[kX].found());
      continue;
    }
    // Within the speed window of the flight's ends.
    EXPECT_NEAR(cut.takeOff, static_cast<int32_t>(first), 16);
    EXPECT_NEAR(cut.landing, static_cast<int32_t>(last), 16);
  }
}

TEST(ContestScore, LinesForScripts) {
  // Long enough that no out-and-return within it closes within 3 km.
  const auto points = Along({{0, 0}, {20'000, 0}}, 1000);
  const ContestScores s = ScoreContests(points);
  const std::string text = FormatContestLines(s, points);
  const std::string km = Hundredths(s.byRules[kX].distance);
  EXPECT_EQ(text.substr(0, text.find('\n')), "XContest\tfree flight\t" + km + "\t" + km);
  EXPECT_NE(text.find("\nFFVL\tdistance over 3 points\t" + km + "\t" + km + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("leg 1\t"), std::string::npos);
  // Empty flights still say so, once per rule set.
  EXPECT_EQ(FormatContestLines(ScoreContests({}), {}), "XContest\tnone\t0.00\t0.00\nFFVL\tnone\t0.00\t0.00\n");
  EXPECT_EQ(Hundredths(-5), "-0.05");
  EXPECT_EQ(Hundredths(12345), "123.45");
}

}  // namespace
}  // namespace skylode
