// Exact contest scores of a 40,000-fix flight: thermals and glides around a
// large triangle, one fix a second, both rule sets, until proven best.
#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/analysis/track_fixtures.h"
#include "analysis/contest_score.h"

namespace skylode {
namespace {

const std::vector<TrackPoint>& LongFlight() {
  static const std::vector<TrackPoint> points =
      fixtures::Flight(40000, {{24000, 9000}, {9000, 30000}, {-8000, 14000}}, 17);
  return points;
}

void BM_ContestScores(benchmark::State& state) {
  ContestOptions options;
  options.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const ContestScores s = ScoreContests(LongFlight(), options);
    if (!s.byRules[0].optimal || !s.byRules[1].optimal) state.SkipWithError("not proven best");
    benchmark::DoNotOptimize(s.byRules[0].score);
  }
}
BENCHMARK(BM_ContestScores)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FlightCut(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(CutFlight(LongFlight()));
}
BENCHMARK(BM_FlightCut)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skylode
