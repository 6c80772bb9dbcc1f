// Cost of the distance and the UTM projection, called once per pair of track
// points by the statistics, trip and contest searches.
#include <benchmark/benchmark.h>

#include <numbers>
#include <random>
#include <vector>

#include "analysis/geodesy.h"

namespace {

using skylode::GeoPosition;

constexpr double kDeg = std::numbers::pi / 180;

// A flight-like track: points a few metres to a few hundred metres apart,
// wandering over an Alpine valley.
std::vector<GeoPosition> Track(size_t n) {
  std::mt19937_64 rng(42);
  std::normal_distribution<double> step(0, 0.0008);
  std::vector<GeoPosition> points;
  double lat = 46.5, lon = 8.0;
  for (size_t i = 0; i < n; ++i) {
    lat += step(rng);
    lon += step(rng);
    points.push_back({lat * kDeg, lon * kDeg});
  }
  return points;
}

// Consecutive points of a track (the statistics pass).
void BM_GeoDistanceNeighbours(benchmark::State& state) {
  const auto points = Track(4096);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(skylode::GeoDistance(points[i], points[i + 1]));
    i = (i + 1) % (points.size() - 1);
  }
}
BENCHMARK(BM_GeoDistanceNeighbours);

// Far apart points of one flight (the trip and contest searches).
void BM_GeoDistanceAcrossTrack(benchmark::State& state) {
  const auto points = Track(4096);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        skylode::GeoDistance(points[i], points[(i * 7919 + 2048) % points.size()]));
    i = (i + 1) % points.size();
  }
}
BENCHMARK(BM_GeoDistanceAcrossTrack);

// Between continents: more rounds of the iteration.
void BM_GeoDistanceIntercontinental(benchmark::State& state) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> lat(-70, 70), lon(-180, 180);
  std::vector<GeoPosition> points;
  for (int i = 0; i < 4096; ++i) points.push_back({lat(rng) * kDeg, lon(rng) * kDeg});
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(skylode::GeoDistance(points[i], points[i + 1]));
    i = (i + 1) % (points.size() - 1);
  }
}
BENCHMARK(BM_GeoDistanceIntercontinental);

void BM_ToUtm(benchmark::State& state) {
  const auto points = Track(4096);
  size_t i = 0;
  for (auto _ : state) {
    skylode::UtmPosition utm;
    skylode::ToUtm(points[i], utm);
    benchmark::DoNotOptimize(utm);
    i = (i + 1) % points.size();
  }
}
BENCHMARK(BM_ToUtm);

void BM_FromUtm(benchmark::State& state) {
  const auto points = Track(4096);
  std::vector<skylode::UtmPosition> utm(points.size());
  for (size_t k = 0; k < points.size(); ++k) skylode::ToUtm(points[k], utm[k]);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(skylode::FromUtm(utm[i]));
    i = (i + 1) % utm.size();
  }
}
BENCHMARK(BM_FromUtm);

void BM_ToLocalTm(benchmark::State& state) {
  const auto points = Track(4096);
  size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(skylode::ToLocalTm(points[i], 8 * kDeg));
    i = (i + 1) % points.size();
  }
}
BENCHMARK(BM_ToLocalTm);

}  // namespace
