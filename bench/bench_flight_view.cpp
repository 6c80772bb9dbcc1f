// What the flight view does when a long log arrives: the barogram's curves,
// their thinning to the chart's pixels, and the thermal search, on 200,000
// fixes (a real flight laid end to end until it is that long).
#include <benchmark/benchmark.h>

#include <string>

#include "analysis/thermals.h"
#include "formats/file_io.h"
#include "formats/igc_reader.h"
#include "shell/flight_view/flight_view_model.h"

namespace skylode {
namespace {

constexpr size_t kFixes = 200'000;

const std::vector<TrackPoint>& LongLog() {
  static const std::vector<TrackPoint> points = [] {
    const std::string path = std::string(SKYLODE_SOURCE_DIR) + "/tests/data/flights/trifai-xcontest-189.65.igc";
    Result<std::string> text = ReadWholeFile(path);
    std::vector<TrackPoint> flight;
    if (text.ok()) {
      if (Result<IgcParse> parsed = ParseIgcText(*text); parsed.ok()) flight = std::move(parsed->points);
    }
    std::vector<TrackPoint> out;
    if (flight.empty()) return out;
    const uint32_t span = flight.back().time - flight.front().time + 1;
    for (uint32_t round = 0; out.size() < kFixes; ++round) {
      for (TrackPoint p : flight) {
        if (out.size() == kFixes) break;
        p.time += round * span;
        p.flags &= ~kTrackPointStartsSegment;
        out.push_back(p);
      }
    }
    return out;
  }();
  return points;
}

void BM_BarogramCurves(benchmark::State& state) {
  const auto& points = LongLog();
  if (points.empty()) state.SkipWithError("flight not found");
  for (auto _ : state) {
    BarogramCurves c = BuildBarogramCurves(points, true);
    benchmark::DoNotOptimize(c.climb.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(points.size()));
}

// The four curves of the whole log thinned for a chart 1000 pixels wide:
// what every redraw after a zoom or a resize costs.
void BM_DecimateFourCurves(benchmark::State& state) {
  const auto& points = LongLog();
  if (points.empty()) state.SkipWithError("flight not found");
  const BarogramCurves c = BuildBarogramCurves(points, true);
  const auto last = static_cast<int32_t>(points.size()) - 1;
  for (auto _ : state) {
    for (const auto* values : {&c.gpsHeight, &c.baroHeight, &c.climb, &c.speed}) {
      auto drawn = DecimateMinMax(*values, 0, last, 1000);
      benchmark::DoNotOptimize(drawn.data());
    }
  }
}

void BM_FindThermals(benchmark::State& state) {
  const auto& points = LongLog();
  if (points.empty()) state.SkipWithError("flight not found");
  for (auto _ : state) {
    auto phases = FindCirclingPhases(points, true);
    benchmark::DoNotOptimize(phases.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(points.size()));
}

BENCHMARK(BM_BarogramCurves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecimateFourCurves)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindThermals)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace skylode
