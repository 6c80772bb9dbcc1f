// The trip distance search on a 40,000-point closed flight (2000 samples),
// step by step, the whole run, and the literal reference loops for comparison.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <map>
#include <string>

#include "../tests/analysis/track_fixtures.h"
#include "../tests/analysis/trip_search_reference.cpp"
#include "analysis/trip_search.h"

namespace skylode {
namespace {

// CPU time of all threads, so that a busy machine does not hide what a step costs.
double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

const std::vector<TrackPoint>& ClosedFlight() {
  static const std::vector<TrackPoint> points =
      fixtures::Flight(40000, {{24000, 9000}, {9000, 30000}, {-8000, 14000}}, 17);
  return points;
}

const TripSearchWork& Work() {
  static const TripSearchWork work = [] {
    TripSearchWork w;
    SampleAndProject(ClosedFlight(), w);
    BuildDistanceMatrix(w);
    BuildGapMatrix(w);
    return w;
  }();
  return work;
}

void BM_SampleAndProject(benchmark::State& state) {
  for (auto _ : state) {
    TripSearchWork w;
    SampleAndProject(ClosedFlight(), w);
    benchmark::DoNotOptimize(w.x.data());
  }
}

void BM_DistanceMatrix(benchmark::State& state) {
  TripSearchWork w;
  SampleAndProject(ClosedFlight(), w);
  for (auto _ : state) {
    BuildDistanceMatrix(w);
    benchmark::DoNotOptimize(w.d.data());
  }
}

void BM_Distance2to5(benchmark::State& state) {
  const auto& w = Work();
  for (auto _ : state) {
    benchmark::DoNotOptimize(RefineDistance(ClosedFlight(), w, CoarseGreatestDistance2(w), 2));
    benchmark::DoNotOptimize(RefineDistance(ClosedFlight(), w, CoarseGreatestDistance3(w), 3));
    benchmark::DoNotOptimize(RefineDistance(ClosedFlight(), w, CoarseGreatestDistance4(w), 4));
    benchmark::DoNotOptimize(RefineDistance(ClosedFlight(), w, CoarseGreatestDistance5(w), 5));
  }
}

void BM_OutAndReturn(benchmark::State& state) {
  const auto& w = Work();
  for (auto _ : state) benchmark::DoNotOptimize(RefineOutAndReturn(ClosedFlight(), w, CoarseOutAndReturn(w, 800), 800));
}

void BM_GapMatrix(benchmark::State& state) {
  TripSearchWork w = Work();
  for (auto _ : state) {
    BuildGapMatrix(w);
    benchmark::DoNotOptimize(w.gap.data());
  }
}

void BM_Triangles(benchmark::State& state) {
  const auto& w = Work();
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const CoarseTriangles t = CoarseTriangleSearch(w, 800, nullptr, threads);
    benchmark::DoNotOptimize(RefineTriangle(ClosedFlight(), w, t.flat, 800, false));
    benchmark::DoNotOptimize(RefineTriangle(ClosedFlight(), w, t.fai, 800, true));
  }
}

// The whole run, with the time from each status text to the next as a
// counter: the step times as the statistics window sees them.
void BM_WholeSearch(benchmark::State& state) {
  const int threads = static_cast<int>(state.range(0));
  std::map<std::string, double> stepMs, stepCpuMs;
  const std::vector<TrackPoint>& points = ClosedFlight();
  for (auto _ : state) {
    TripDistances r;
    TripHaltFlag halt{false};
    std::string step = "setup";
    auto mark = std::chrono::steady_clock::now();
    double cpuMark = ProcessCpuMs();
    RunTripSearch(points, r, {800, threads}, [&](std::string_view text) {
      const auto now = std::chrono::steady_clock::now();
      const double cpuNow = ProcessCpuMs();
      stepMs[step] += std::chrono::duration<double, std::milli>(now - mark).count();
      stepCpuMs[step] += cpuNow - cpuMark;
      mark = now;
      cpuMark = cpuNow;
      step = std::string(text.substr(0, std::min<size_t>(text.size(), 40)));
    }, halt);
    benchmark::DoNotOptimize(r);
  }
  const char* names[][2] = {{"setup", "0_sample_alloc"},
                            {"Computing distance matrix", "1_matrix"},
                            {"Computing greatest distance (2 points)", "2_two"},
                            {"Computing greatest distance (3 points)", "3_three"},
                            {"Computing greatest distance (4 points)", "4_four"},
                            {"Computing greatest distance (5 points)", "5_five"},
                            {"Computing out-and-return distance", "6_out_return"},
                            {"Computing triangle distance", "7_triangles"}};
  for (auto& [text, counter] : names) {
    state.counters[std::string(counter) + "_ms"] = stepMs[text] / static_cast<double>(state.iterations());
    state.counters[std::string(counter) + "_cpu_ms"] = stepCpuMs[text] / static_cast<double>(state.iterations());
  }
}

void BM_ReferenceOutAndReturn(benchmark::State& state) {
  const reference::ReferenceWork r = reference::BuildReference(Work());
  for (auto _ : state) benchmark::DoNotOptimize(reference::OutAndReturn(r, 800));
}

void BM_ReferenceTriangles(benchmark::State& state) {
  reference::ReferenceWork r = reference::BuildReference(Work());
  for (auto _ : state) benchmark::DoNotOptimize(reference::Triangles(r, 800));
}

BENCHMARK(BM_SampleAndProject)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistanceMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Distance2to5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutAndReturn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GapMatrix)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Triangles)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeSearch)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReferenceOutAndReturn)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ReferenceTriangles)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
}  // namespace skylode
