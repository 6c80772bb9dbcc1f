#include "analysis/trip_search_runner.h"

#include <gtest/gtest.h>

#include "analysis/track_fixtures.h"

namespace skylode {
namespace {

using namespace std::chrono_literals;

std::vector<TrackPoint> Loop(size_t n, uint32_t seed) {
  return fixtures::Flight(n, {{9000, 4000}, {2500, 13000}, {-4000, 5000}}, seed);
}

TripDistances Direct(const std::vector<TrackPoint>& points) {
  TripDistances r;
  TripHaltFlag halt{false};
  RunTripSearch(points, r, {}, {}, halt);
  return r;
}

TEST(TripSearchRunner, RunsOnItsOwnCopyAndReportsWhenFinished) {
  auto points = Loop(1500, 1);
  const TripDistances expected = Direct(points);
  TripSearchRunner runner;
  EXPECT_FALSE(runner.Finished());
  EXPECT_FALSE(runner.Result());
  runner.Start(points, {});
  points.assign(points.size(), TrackPoint{});  // the caller's array may change at once
  ASSERT_TRUE(runner.Wait(60s));
  EXPECT_TRUE(runner.Finished());
  EXPECT_FALSE(runner.Running());
  const auto result = runner.Result();
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 0);
  EXPECT_EQ(result->distances, expected);
}

TEST(TripSearchRunner, RestartNeverMixesTwoRuns) {
  const auto big = Loop(5000, 2);
  const auto small = Loop(300, 3);
  const TripDistances expected = Direct(small);
  TripSearchRunner runner;
  runner.Start(big, {});
  runner.Start(small, {});
  ASSERT_TRUE(runner.Wait(60s));
  const auto result = runner.Result();
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->halted);
  EXPECT_EQ(result->distances, expected);
}

TEST(TripSearchRunner, HaltDuringTrianglesKeepsTheOtherResults) {
  TripSearchRunner runner;
  std::vector<std::string> shown;
  runner.Start(Loop(3000, 4), {}, [&](std::string_view text) {
    shown.emplace_back(text);
    if (text == "Computing triangle distance") runner.Halt();
  });
  ASSERT_TRUE(runner.Wait(60s));
  const auto result = runner.Result();
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->halted);
  EXPECT_EQ(result->status, 0);
  EXPECT_GT(result->distances.five.total, 0);
  EXPECT_EQ(result->distances.flatTriangle, TripResult{});
  EXPECT_EQ(result->distances.faiTriangle, TripResult{});
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().rfind("Computing completed (", 0), 0u);
}

TEST(TripSearchRunner, LettingGoOfARunningSearchIsSafe) {
  {
    TripSearchRunner runner;
    runner.Start(Loop(20000, 5), {});
    runner.Stop(0ms);  // may let the thread go; it keeps its own copy
    EXPECT_TRUE(runner.Wait(60s));
    ASSERT_TRUE(runner.Result());
    EXPECT_TRUE(runner.Result()->halted);
  }
  {
    // Going away while the search runs halts it and waits.
    TripSearchRunner runner;
    runner.Start(Loop(20000, 6), {});
  }
}

}  // namespace
}  // namespace skylode
