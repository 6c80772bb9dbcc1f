// Fixtures shared by the KML tests: a fixed track and its analysis record,
// filled by hand so that the expected files do not move with the analysis.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/flight_statistics.h"
#include "records/calendar.h"
#include "records/track_log.h"

namespace skylode::kml_test {

inline uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

// `count` points north-east of 46.5N 8.0E, three seconds apart, climbing,
// one of them with a small negative height that rounds to 0 m in the file.
inline std::vector<TrackPoint> Track(size_t count) {
  std::vector<TrackPoint> points;
  const uint32_t t0 = At(2024, 6, 15, 10, 30, 0);
  for (size_t i = 0; i < count; ++i) {
    TrackPoint p;
    p.flags = i == 0 ? 1 : 0;
    p.time = t0 + static_cast<uint32_t>(3 * i);
    p.latitude = 554766336 + static_cast<int32_t>(i) * 12345;
    p.longitude = 95443718 - static_cast<int32_t>(i) * 6789;
    p.gpsHeight = i == 3 ? -7 : 15000 + static_cast<int32_t>(i) * 17;
    p.baroHeight = 1480 + static_cast<int32_t>(i);
    points.push_back(p);
  }
  return points;
}

inline FlightStatistics Statistics(std::vector<TrackPoint> points) {
  FlightStatistics s;
  s.points = std::move(points);
  s.startTime = s.points.front().time;
  s.endTime = s.points.back().time;
  s.duration = s.endTime - s.startTime;
  s.analysisTime = At(2024, 6, 16, 8, 0, 0);
  s.analysisTimeValid = true;
  s.utcFlag = true;
  s.pressureFlag = true;
  s.minHeight = 0;
  s.maxHeight = 1543;
  s.topSpeed = 41.49;
  s.maxMeanSpeed = 35.5;
  s.totalDistance = 2345.678;
  s.minClimb = -1.234;
  s.maxClimb = 2.345;
  const int32_t last = static_cast<int32_t>(s.points.size()) - 1;
  s.trips.open = {{0, last, 0, 0, 0}, {1500.25, 0, 0, 0}, 1500.25};
  s.trips.three = {{0, 2, last, 0, 0}, {400, 1100.5, 0, 0}, 1500.5};
  s.trips.four = {{0, 1, 2, last, 0}, {100, 300, 1100.75, 0}, 1500.75};
  s.trips.five = {{0, 1, 2, 3, last}, {100, 200, 100, 1101}, 1501};
  s.trips.outAndReturn = {{1, 4, 2, 0, 0}, {600, 20, 0, 0}, 1180};
  s.trips.flatTriangle = {{0, 1, 2, 3, last}, {300, 400, 500, 50}, 1150};
  s.trips.faiTriangle = {{0, 1, 3, 4, last}, {310, 320, 330, 40}, 920};
  return s;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace skylode::kml_test
