// The whole contest optimisation at m = 2000 sampled positions: a generated
// closed flight and the real flights, next to the plain triangle loops it is
// held to.
#include <benchmark/benchmark.h>

#include <map>
#include <string>

#include "../tests/analysis/olc_search_reference.cpp"
#include "../tests/analysis/track_fixtures.h"
#include "../tests/analysis/trip_search_reference.cpp"
#include "analysis/olc_search.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"

namespace skylode {
namespace {

const std::vector<TrackPoint>& ClosedFlight() {
  static const std::vector<TrackPoint> points =
      fixtures::Flight(40000, {{24000, 9000}, {9000, 30000}, {-8000, 14000}}, 17);
  return points;
}

std::vector<TrackPoint> RealFlight(const std::string& name) {
  Result<std::string> text =
      ReadWholeFile(std::string(SKYLODE_SOURCE_DIR) + "/tests/data/flights/" + name);
  if (!text.ok()) return {};
  Result<IgcParse> parsed = ParseIgcText(*text);
  return parsed.ok() ? std::move(parsed->points) : std::vector<TrackPoint>{};
}

void Optimise(benchmark::State& state, const std::vector<TrackPoint>& points, int threads) {
  if (points.size() < 5) {
    state.SkipWithError("no flight");
    return;
  }
  OlcResults results;
  for (auto _ : state) {
    TripHaltFlag halt{false};
    OlcOptimise(points, results, {}, halt, nullptr, {threads});
    benchmark::DoNotOptimize(results);
  }
  state.counters["points"] = BestOlcClaim(results).points;
}

void BM_OlcOptimise_Generated(benchmark::State& state) {
  Optimise(state, ClosedFlight(), static_cast<int>(state.range(0)));
}
BENCHMARK(BM_OlcOptimise_Generated)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OlcOptimise_Real(benchmark::State& state, const char* name) {
  static std::map<std::string, std::vector<TrackPoint>> cache;
  auto it = cache.find(name);
  if (it == cache.end()) it = cache.emplace(name, RealFlight(name)).first;
  Optimise(state, it->second, 2);
}
BENCHMARK_CAPTURE(BM_OlcOptimise_Real, trifai, "trifai-xcontest-189.65.igc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OlcOptimise_Real, flat100, "flat-xcontest-100.59.igc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OlcOptimise_Real, freeflight, "freeflight-xcontest-66.46.igc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_OlcOptimise_Real, ffvl, "flat-ffvl-26.37.igc")
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The literal loops over all 1.33 billion triples, for comparison.
void BM_OlcTrianglesPlainLoops(benchmark::State& state) {
  TripSearchWork w;
  SampleAndProject(ClosedFlight(), w);
  BuildDistanceMatrix(w);
  reference::ReferenceWork r = reference::BuildReference(w);
  for (auto _ : state) benchmark::DoNotOptimize(reference::OlcTriangles(r));
}
BENCHMARK(BM_OlcTrianglesPlainLoops)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace skylode
