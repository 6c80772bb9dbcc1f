// Generated tracks for the analysis tests: positions built from metre offsets
// about a base position, one fix per `step` seconds.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "records/angles.h"
#include "records/track_log.h"

namespace skylode::fixtures {

inline constexpr double kEarthRadius = 6'371'000.0;
inline constexpr uint32_t kMorning = 1'100'000'000;  // a day in 2024

struct Metres {
  double east = 0;
  double north = 0;
};

// Base in degrees; offsets in metres on a sphere, good enough for shapes.
inline TrackPoint PointAt(double baseLat, double baseLon, Metres m, uint32_t time, int32_t heightDm = 10000) {
  const double lat = baseLat + m.north / kEarthRadius * 180.0 / std::numbers::pi;
  double lon = baseLon + m.east / (kEarthRadius * std::cos(baseLat * std::numbers::pi / 180.0)) * 180.0 /
                             std::numbers::pi;
  while (lon >= 180.0) lon -= 360.0;
  while (lon < -180.0) lon += 360.0;
  TrackPoint p;
  p.time = time;
  p.latitude = static_cast<int32_t>(std::lround(lat * kDegreesToSemicircles));
  p.longitude = static_cast<int32_t>(std::lround(lon * kDegreesToSemicircles));
  p.gpsHeight = heightDm;
  return p;
}

struct Shape {
  double baseLat = 46.5;
  double baseLon = 8.0;
  uint32_t step = 1;
};

inline std::vector<TrackPoint> FromOffsets(const std::vector<Metres>& offsets, const Shape& s = {}) {
  std::vector<TrackPoint> out;
  out.reserve(offsets.size());
  for (size_t i = 0; i < offsets.size(); ++i)
    out.push_back(PointAt(s.baseLat, s.baseLon, offsets[i], kMorning + static_cast<uint32_t>(i) * s.step));
  return out;
}

inline std::vector<TrackPoint> Straight(size_t n, double spacing, double headingDeg = 60, const Shape& s = {}) {
  std::vector<Metres> o;
  const double h = headingDeg * std::numbers::pi / 180.0;
  for (size_t i = 0; i < n; ++i) o.push_back({std::sin(h) * spacing * i, std::cos(h) * spacing * i});
  return FromOffsets(o, s);
}

inline std::vector<TrackPoint> Circle(size_t n, double radius, const Shape& s = {}) {
  std::vector<Metres> o;
  for (size_t i = 0; i < n; ++i) {
    const double a = 2 * std::numbers::pi * static_cast<double>(i) / static_cast<double>(n - 1);
    o.push_back({radius * std::sin(a), radius * (1 - std::cos(a))});
  }
  return FromOffsets(o, s);
}

// Start, three turnpoints, back to the start, evenly walked.
inline std::vector<TrackPoint> Triangle(size_t n, std::vector<Metres> corners, const Shape& s = {}) {
  corners.insert(corners.begin(), Metres{});
  corners.push_back(Metres{});
  std::vector<double> cum{0};
  for (size_t c = 1; c < corners.size(); ++c)
    cum.push_back(cum.back() + std::hypot(corners[c].east - corners[c - 1].east, corners[c].north - corners[c - 1].north));
  std::vector<Metres> o;
  for (size_t i = 0; i < n; ++i) {
    const double t = cum.back() * static_cast<double>(i) / static_cast<double>(n - 1);
    size_t c = 1;
    while (c + 1 < corners.size() && cum[c] < t) ++c;
    const double f = (t - cum[c - 1]) / std::max(1e-9, cum[c] - cum[c - 1]);
    o.push_back({corners[c - 1].east + f * (corners[c].east - corners[c - 1].east),
                 corners[c - 1].north + f * (corners[c].north - corners[c - 1].north)});
  }
  return FromOffsets(o, s);
}

inline std::vector<TrackPoint> Still(size_t n, const Shape& s = {}) {
  return FromOffsets(std::vector<Metres>(n), s);
}

// Hops between the corners of a square: the same few distances over and over,
// so the searches meet exact ties everywhere.
inline std::vector<TrackPoint> SquareHops(size_t n, double side, const Shape& s = {}) {
  const Metres corners[4] = {{0, 0}, {side, 0}, {side, side}, {0, side}};
  std::vector<Metres> o;
  for (size_t i = 0; i < n; ++i) o.push_back(corners[(i * 7 / 3) % 4]);
  return FromOffsets(o, s);
}

inline std::vector<TrackPoint> RandomWalk(size_t n, double stride, uint32_t seed, const Shape& s = {}) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> turn(-0.6, 0.6);
  std::vector<Metres> o;
  Metres at;
  double heading = 0;
  for (size_t i = 0; i < n; ++i) {
    o.push_back(at);
    heading += turn(gen);
    at.east += std::sin(heading) * stride;
    at.north += std::cos(heading) * stride;
  }
  return FromOffsets(o, s);
}

// Glides between thermals, circling with drift in each thermal, along a
// route through the given turnpoints and back near the start.
inline std::vector<TrackPoint> Flight(size_t n, std::vector<Metres> route, uint32_t seed, const Shape& s = {}) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> jitter(-15.0, 15.0);
  std::vector<Metres> o;
  route.insert(route.begin(), Metres{});
  route.push_back(Metres{120, -80});
  const size_t perLeg = n / (route.size() - 1) + 1;
  for (size_t leg = 1; leg < route.size() && o.size() < n; ++leg) {
    for (size_t i = 0; i < perLeg && o.size() < n; ++i) {
      const double f = static_cast<double>(i) / static_cast<double>(perLeg);
      Metres p{route[leg - 1].east + f * (route[leg].east - route[leg - 1].east),
               route[leg - 1].north + f * (route[leg].north - route[leg - 1].north)};
      // A thermal every so often: a few tight turns drifting downwind.
      const size_t phase = i % 40;
      if (phase < 18) {
        const double a = phase * 2 * std::numbers::pi / 9;
        p.east += 60 * std::sin(a) + 3.0 * phase;
        p.north += 60 * std::cos(a);
      }
      p.east += jitter(gen);
      p.north += jitter(gen);
      o.push_back(p);
    }
  }
  return FromOffsets(o, s);
}


// A long cross-country flight as an instrument logs it: glides toward the
// corners of a large triangle, thermals circled while drifting downwind,
// climb and sink, a few metres of GPS noise, and laps of the triangle until
// `n` fixes are logged. `hz` fixes a second share one whole-second time, as
// they do once read back from IGC B records. `size` scales the triangle, so
// that a short flight can close it.
inline std::vector<TrackPoint> LoggedFlight(size_t n, uint32_t hz, uint32_t seed, double size = 1.0,
                                            const Shape& s = {}) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const Metres corners[] = {{52000 * size, 18000 * size}, {21000 * size, 64000 * size}, {150 * size, -90 * size}};
  const double dt = 1.0 / hz;
  Metres at;
  double height = 1500;  // metres
  double heading = 0;
  size_t target = 0;
  bool circling = false;
  double phaseLeft = 240;  // seconds of the current glide or climb
  double climb = 2;
  std::vector<TrackPoint> out;
  out.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (circling) {
      heading += 10.0 / 45.0 * dt;  // 10 m/s on a 45 m circle
      at.east += (10 * std::sin(heading) + 2.0) * dt;
      at.north += 10 * std::cos(heading) * dt;
      height += climb * dt;
    } else {
      const Metres& c = corners[target];
      heading = std::atan2(c.east - at.east, c.north - at.north);
      at.east += 11 * std::sin(heading) * dt;
      at.north += 11 * std::cos(heading) * dt;
      height -= 1.1 * dt;
      if (std::hypot(c.east - at.east, c.north - at.north) < 200 * std::min(size, 1.0)) target = (target + 1) % 3;
    }
    height = std::clamp(height, 600.0, 3200.0);
    phaseLeft -= dt;
    if (phaseLeft <= 0) {
      circling = !circling;
      phaseLeft = circling ? 120 + 240 * unit(gen) : 300 + 600 * unit(gen);
      climb = 0.8 + 2.5 * unit(gen);
    }
    const Metres noisy{at.east + 4 * (unit(gen) - 0.5), at.north + 4 * (unit(gen) - 0.5)};
    const double h = height + 3 * (unit(gen) - 0.5);
    out.push_back(PointAt(s.baseLat, s.baseLon, noisy, kMorning + static_cast<uint32_t>(i / hz),
                          static_cast<int32_t>(std::lround(h * 10))));
  }
  return out;
}

// What real logs hold besides a clean flight, put into a logged flight of a
// thousand fixes or more: the first two fixes in one second, a stretch
// standing still, a fix logged 30 s early (time runs back), segment starts
// (one of them on a fix that shares its second with others at several fixes
// a second), a one-fix GPS jump of 20 km, an echo of a fix 300 m off with
// the same time, and a pause of half an hour.
inline std::vector<TrackPoint> Roughened(std::vector<TrackPoint> p) {
  const size_t n = p.size();
  p[1].time = p[0].time;
  for (size_t i = n / 5; i < n / 5 + 40; ++i) {
    p[i].latitude = p[n / 5].latitude;
    p[i].longitude = p[n / 5].longitude;
  }
  p[n / 4].time -= 30;
  p[n / 3].flags |= kTrackPointStartsSegment;
  p[2 * n / 3 + 2].flags |= kTrackPointStartsSegment;
  p[n / 2 + 7].latitude += 2'000'000;
  for (size_t i = 3 * n / 4; i < n; ++i) p[i].time += 1800;
  TrackPoint echo = p[n / 2];
  echo.longitude += 40'000;
  p.insert(p.begin() + static_cast<std::ptrdiff_t>(n / 2 + 1), echo);
  return p;
}

}  // namespace skylode::fixtures
