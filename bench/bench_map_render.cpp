// Painting the flight's map: a long log (200,000 fixes, a day at one fix a
// second) must draw fast enough to pan and zoom smoothly.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "records/angles.h"
#include "records/track_log.h"
#include "ui/map/map_widget.h"

namespace {

using skylode::TrackPoint;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_map_render";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// Circling and gliding over an Alpine valley, one fix a second.
std::vector<TrackPoint> Flight(size_t n) {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> drift(0, 0.00002);
  std::vector<TrackPoint> points(n);
  double lat = 46.5, lon = 8.0, heading = 0;
  for (size_t i = 0; i < n; ++i) {
    const bool circling = (i / 600) % 2 == 0;
    heading += circling ? 2 * std::numbers::pi / 25 : drift(rng) * 500;
    lat += 0.00009 * std::cos(heading) + drift(rng);
    lon += 0.00013 * std::sin(heading) + drift(rng);
    points[i].time = static_cast<uint32_t>(i);
    points[i].latitude = *skylode::DegreesToLatitude(lat);
    points[i].longitude = *skylode::DegreesToLongitude(lon);
  }
  return points;
}

// range(0): fixes; range(1): zoom levels in from the fitted view.
void BM_PaintMap(benchmark::State& state) {
  App();
  QTemporaryDir cache;
  qputenv("XDG_CACHE_HOME", cache.path().toLocal8Bit());
  skylode::MapWidget map;
  map.resize(1000, 700);
  // Nothing listens on the discard port: no tile ever arrives, none is waited for.
  map.setTileUrl("http://127.0.0.1:9/{z}/{x}/{y}.png");
  map.setTrack(Flight(static_cast<size_t>(state.range(0))));
  for (int64_t i = 0; i < state.range(1); ++i) {
    QWheelEvent wheel(QPointF(500, 350), QPointF(500, 350), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map, &wheel);
  }
  map.setSelection(static_cast<int32_t>(state.range(0) / 4), static_cast<int32_t>(state.range(0) / 2));
  QImage image(map.size(), QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    map.paintMap(painter, image.rect());
  }
  state.counters["fixes"] = static_cast<double>(state.range(0));
}
BENCHMARK(BM_PaintMap)->Args({20000, 0})->Args({200000, 0})->Args({200000, 3})->Unit(benchmark::kMillisecond);

}  // namespace
