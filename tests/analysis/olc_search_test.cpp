#include "analysis/olc_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/olc_search_reference.h"
#include "analysis/track_fixtures.h"

namespace skylode {
namespace {

using fixtures::Metres;
using fixtures::Shape;

TripSearchWork Prepared(const std::vector<TrackPoint>& points) {
  TripSearchWork w;
  SampleAndProject(points, w);
  EXPECT_TRUE(BuildDistanceMatrix(w, nullptr, 2));
  EXPECT_TRUE(BuildGapMatrix(w));
  return w;
}

struct NamedTrack {
  std::string name;
  std::vector<TrackPoint> points;
};

// The pruned contest searches against the plain loops: the same choice and
// tie-break, with one thread and several.
TEST(OlcCoarse, MatchesPlainLoopsOnGeneratedTracks) {
  const std::vector<Metres> triangle{{9000, 4000}, {2500, 13000}, {-4000, 5000}};
  std::vector<NamedTrack> tracks;
  tracks.push_back({"straight", fixtures::Straight(200, 40)});
  tracks.push_back({"closed circle", fixtures::Circle(300, 3000)});
  tracks.push_back({"triangle", fixtures::Triangle(300, triangle)});
  tracks.push_back(
      {"thin triangle", fixtures::Triangle(260, {{20000, 0}, {21000, 1500}, {500, 1200}})});
  tracks.push_back({"sitting still", fixtures::Still(100)});
  tracks.push_back({"square hops (ties)", fixtures::SquareHops(200, 500)});
  tracks.push_back({"square hops tiny (ties)", fixtures::SquareHops(60, 150)});
  tracks.push_back({"random walk", fixtures::RandomWalk(320, 150, 7)});
  tracks.push_back({"random walk short strides", fixtures::RandomWalk(300, 25, 11)});
  tracks.push_back({"thermalling flight", fixtures::Flight(320, triangle, 3)});
  tracks.push_back({"open flight", fixtures::Flight(300, {{9000, 4000}, {25000, 9000}}, 4)});
  tracks.push_back({"larger closed flight",
                    fixtures::Flight(720, {{14000, 6000}, {5000, 19000}, {-6000, 8000}}, 13)});
  tracks.push_back(
      {"across 180 degrees", fixtures::Flight(300, triangle, 5, Shape{-17.0, 179.95, 1})});
  for (size_t n = 1; n <= 6; ++n)
    tracks.push_back({"tiny " + std::to_string(n), fixtures::RandomWalk(n, 300, 2)});

  for (const NamedTrack& t : tracks) {
    SCOPED_TRACE(t.name);
    const TripSearchWork w = Prepared(t.points);
    reference::ReferenceWork r = reference::BuildReference(w);
    EXPECT_EQ(CoarseOlcOutAndReturn(w), reference::OlcOutAndReturn(r));
    const CoarseTriangles expected = reference::OlcTriangles(r);
    for (int threads : {1, 3}) {
      SCOPED_TRACE("threads " + std::to_string(threads));
      std::atomic<int64_t> visited{0};
      const CoarseTriangles got = CoarseOlcTriangles(w, nullptr, threads, &visited);
      EXPECT_EQ(got.flat, expected.flat);
      EXPECT_EQ(got.fai, expected.fai);
      const int64_t m = w.m;
      EXPECT_EQ(visited.load(), m < 3 ? 0 : m * (m - 1) * (m - 2) / 6);
    }
  }
}

TEST(OlcChoice, TiesGoToTheTriangleThenTheFaiTriangle) {
  struct Case {
    double d, t, f;
    OlcKind want;
  } cases[] = {
      {10, 5, 4, OlcKind::kFreeDistance},  {10, 12, 11, OlcKind::kFreeTriangle},
      {10, 10, 9, OlcKind::kFreeTriangle}, {10, 10, 10, OlcKind::kFaiTriangle},
      {10, 5, 10, OlcKind::kFaiTriangle},  {10, 12, 12, OlcKind::kFaiTriangle},
      {10, 5, 11, OlcKind::kFaiTriangle},  {0, 0, 0, OlcKind::kFaiTriangle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.d) + " " + std::to_string(c.t) + " " + std::to_string(c.f));
    EXPECT_EQ(ChooseBestOlcResult(c.d, c.t, c.f), c.want);
  }
}

TEST(OlcProgress, PercentThenDoneAndEmptyWithoutTotal) {
  struct Case {
    int64_t done, total;
    const char* want;
  } cases[] = {
      {0, 0, ""},
      {5'000'000, 999'999, ""},  // less than a million triples in all
      {0, 10'000'000, "0 %"},
      {1'000'000, 3'000'000, "33 %"},
      {2'000'000, 3'000'000, "67 %"},
      {2'999'999, 3'000'000, "67 %"},       // the counter steps in whole millions
      {199'000'000, 200'000'000, "Done:"},  // 99.5 rounds to 100
      {3'000'000, 3'000'000, "Done:"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(OlcProgressText(c.done, c.total), c.want) << c.done << "/" << c.total;
}

struct Optimised {
  OlcStatus status;
  OlcResults results;
  std::vector<std::string> shown;
};

Optimised Optimise(const std::vector<TrackPoint>& points, bool haltAtTriangles = false) {
  Optimised run;
  TripHaltFlag halt{false};
  OlcProgress progress;
  run.status = OlcOptimise(points, run.results,
                           [&](std::string_view text) {
                             run.shown.emplace_back(text);
                             if (haltAtTriangles && text == "Triangle search") halt = true;
                           },
                           halt, &progress, {2});
  if (run.status == OlcStatus::kCompleted) {
    EXPECT_EQ(progress.done.load(), progress.total.load());
  }
  return run;
}

TEST(OlcOptimise, ClosedFlightClaimsItsTriangleAndScoresEachKind) {
  const auto points = fixtures::Flight(900, {{14000, 6000}, {5000, 19000}, {-6000, 8000}}, 21);
  const Optimised run = Optimise(points);
  ASSERT_EQ(run.status, OlcStatus::kCompleted);
  const OlcResults& r = run.results;
  // Each scored distance is what its positions give on the ellipsoid.
  double sum = 0;
  for (int u = 0; u < 4; ++u)
    sum += FixDistance(points, r.freeDistance.index[u], r.freeDistance.index[u + 1]);
  EXPECT_NEAR(r.freeDistance.total, sum, 1e-6);
  EXPECT_NEAR(r.freeDistancePoints, sum * 0.0015, 1e-9);
  for (const auto* t : {&r.freeTriangle, &r.faiTriangle}) {
    const auto& i = t->index;
    EXPECT_LE(i[0], i[1]);
    EXPECT_LT(i[1], i[2]);
    EXPECT_LT(i[2], i[3]);
    EXPECT_LE(i[3], i[4]);
    const double perimeter = t->legs[0] + t->legs[1] + t->legs[2];
    EXPECT_GT(perimeter, 30000);
    EXPECT_LE(t->legs[3], 0.2 * perimeter);
    EXPECT_NEAR(t->total, perimeter - t->legs[3], 1e-6);
  }
  for (int l = 0; l < 3; ++l)
    EXPECT_GE(r.faiTriangle.legs[l],
              0.28 * (r.faiTriangle.legs[0] + r.faiTriangle.legs[1] + r.faiTriangle.legs[2]));
  EXPECT_GE(r.freeTriangle.total, r.faiTriangle.total);
  EXPECT_NEAR(r.freeTrianglePoints, r.freeTriangle.total * 0.00175, 1e-9);
  EXPECT_NEAR(r.faiTrianglePoints, r.faiTriangle.total * 0.002, 1e-9);
  EXPECT_GT(r.outAndReturn.total, 0);
  EXPECT_LE(r.outAndReturn.legs[2], 400);
  EXPECT_GT(r.maxDistance.total, 0);

  const OlcClaim claim = BestOlcClaim(r);
  EXPECT_EQ(claim.kind,
            ChooseBestOlcResult(r.freeDistancePoints, r.freeTrianglePoints, r.faiTrianglePoints));
  EXPECT_GT(claim.points, 0);
  ASSERT_GE(run.shown.size(), 5u);
  EXPECT_EQ(run.shown[0], "Max. distance search");
  EXPECT_EQ(run.shown[1], "Out-and-return search");
  EXPECT_EQ(run.shown[2], "Triangle search");
  EXPECT_EQ(run.shown[3], "Optimization completed");
  char text[96];
  std::snprintf(text, sizeof text, OlcBestResultText(claim.kind), claim.points);
  EXPECT_EQ(run.shown[4], text);
}

TEST(OlcOptimise, OpenFlightHasNoTriangleAndClaimsTheFreeDistance) {
  const Optimised run = Optimise(fixtures::Straight(500, 60));
  ASSERT_EQ(run.status, OlcStatus::kCompleted);
  EXPECT_EQ(run.results.freeTriangle, TripResult{});
  EXPECT_EQ(run.results.faiTriangle, TripResult{});
  // Going straight on, out and back add up to no more than the closing.
  EXPECT_LE(run.results.outAndReturn.total, 401);
  EXPECT_NEAR(run.results.freeDistance.total, 499 * 60, 300);
  EXPECT_EQ(BestOlcClaim(run.results).kind, OlcKind::kFreeDistance);
}

TEST(OlcOptimise, StandingStillScoresNothing) {
  const Optimised run = Optimise(fixtures::Still(50));
  ASSERT_EQ(run.status, OlcStatus::kCompleted);
  const OlcClaim claim = BestOlcClaim(run.results);
  EXPECT_EQ(claim.kind, OlcKind::kFaiTriangle);
  EXPECT_EQ(claim.points, 0);
}

TEST(OlcOptimise, HaltLeavesNothingAndSaysWhereItStopped) {
  const Optimised run = Optimise(fixtures::Circle(400, 3000), true);
  EXPECT_EQ(run.status, OlcStatus::kHalted);
  EXPECT_EQ(run.results, OlcResults{});
  ASSERT_FALSE(run.shown.empty());
  EXPECT_EQ(run.shown.back(), "Triangle search aborted");
}

TEST(OlcRunThread, MarksItsEndOnEveryWayOut) {
  struct Case {
    const char* name;
    std::vector<TrackPoint> points;
    bool haltAtOnce;
    bool ready;
  } cases[] = {
      {"completed", fixtures::Circle(300, 2000), false, true},
      {"halted before anything", fixtures::Flight(2500, {{9000, 4000}, {2500, 13000}}, 2), true,
       false},
      {"empty track", {}, false, true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::unique_ptr<OlcRun> run = OlcRun::Start(c.points);
    if (c.haltAtOnce) run->Halt();
    ASSERT_TRUE(run->WaitEnded(std::chrono::seconds(60)));
    EXPECT_TRUE(run->ThreadEnded());
    EXPECT_EQ(run->ResultsReady(), c.ready);
    EXPECT_EQ(run->Results().has_value(), c.ready);
  }
}

}  // namespace
}  // namespace skylode
