#include "analysis/flight_statistics.h"

#include <algorithm>

#include "analysis/geodesy.h"
#include "analysis/speed_filter.h"

namespace skylode {

namespace {

struct WindowSums {
  double distance = 0;      // metres
  double startHeight = 0;   // decimetres, interpolated at the window's start
};

double PointDistance(const TrackPoint& a, const TrackPoint& b) {
  return GeoDistanceSemicircles(a.latitude, a.longitude, b.latitude, b.longitude);
}

// Walks back from points[index] until `window` seconds are covered,
// interpolating inside the pair that crosses the window's start. Positions
// with the time of the current reference add nothing.
WindowSums WalkBack(std::span<const TrackPoint> points, size_t index, double window) {
  WindowSums sums;
  sums.startHeight = points[index].gpsHeight;
  size_t ref = index;
  double covered = 0;
  for (size_t j = index; j-- > 0;) {
    const double d = PointDistance(points[j], points[ref]);
    // Modulo 2^32 like every time difference on the program's scale: a step
    // back in time is a huge span and ends the window.
    const uint32_t delta = points[ref].time - points[j].time;
    if (delta != 0) {
      ref = j;
      if (covered + delta >= window) {
        const double q = (window - covered) / delta;
        sums.distance += q * d;
        sums.startHeight += (points[j].gpsHeight - sums.startHeight) * q;
        return sums;
      }
      sums.distance += d;
      sums.startHeight = points[j].gpsHeight;
      covered += delta;
    }
    if ((points[j].flags & kTrackPointStartsSegment) != 0) break;
  }
  return sums;
}

}  // namespace

SpeedAndClimb MeanSpeedAndClimb60(std::span<const TrackPoint> points, size_t index) {
  if (index == 0 || index >= points.size()) return {};
  if ((points[index].flags & kTrackPointStartsSegment) != 0) return {};
  const WindowSums sums = WalkBack(points, index, 60.0);
  // Heights are decimetres: a difference over 60 s is (dh / 10) / 60 m/s.
  return {sums.distance * 0.06, (points[index].gpsHeight - sums.startHeight) * 0.001666667};
}

double TopSpeed10(std::span<const TrackPoint> points, size_t index) {
  if (index == 0 || index >= points.size()) return 0;
  if ((points[index].flags & kTrackPointStartsSegment) != 0) return 0;
  return WalkBack(points, index, 10.0).distance * 0.36;
}

void ComputeFlightStatistics(FlightStatistics& stats) {
  const std::span<const TrackPoint> p(stats.points);
  stats.startTime = stats.endTime = stats.duration = 0;
  stats.minHeight = stats.maxHeight = 0;
  stats.topSpeed = stats.maxMeanSpeed = stats.totalDistance = stats.averageSpeed = 0;
  stats.minClimb = stats.maxClimb = 0;
  if (p.empty()) return;

  stats.startTime = p.front().time;
  stats.endTime = p.back().time;
  stats.duration = stats.endTime - stats.startTime;

  int32_t highest = -999'999;
  int32_t lowest = 1'000'000;
  for (const TrackPoint& pt : p) {
    highest = std::max(highest, pt.gpsHeight);
    lowest = std::min(lowest, pt.gpsHeight);
  }
  // Decimetres to metres, the division truncating toward zero.
  stats.maxHeight = static_cast<int32_t>((static_cast<int64_t>(highest) + 5) / 10);
  stats.minHeight = static_cast<int32_t>((static_cast<int64_t>(lowest) + 5) / 10);

  const int64_t start = stats.startTime;
  for (size_t i = 1; i < p.size(); ++i) {
    stats.totalDistance += PointDistance(p[i - 1], p[i]);
    const int64_t before = p[i - 1].time;
    if (before > start + 10) stats.topSpeed = std::max(stats.topSpeed, TopSpeed10(p, i));
    if (before > start + 60) {
      const SpeedAndClimb sc = MeanSpeedAndClimb60(p, i);
      stats.maxMeanSpeed = std::max(stats.maxMeanSpeed, sc.speed);
      stats.minClimb = std::min(stats.minClimb, sc.climb);
      stats.maxClimb = std::max(stats.maxClimb, sc.climb);
    }
  }
  // A track whose first and last times agree has no average speed rather
  // than an infinite one.
  stats.averageSpeed = stats.duration != 0 ? stats.totalDistance / stats.duration * 3.6 : 0.0;
  stats.minClimb = std::clamp(stats.minClimb, -9999.0, 9999.0);
  stats.maxClimb = std::clamp(stats.maxClimb, -9999.0, 9999.0);
}

void SetStatisticsSource(FlightStatistics& stats, const TrackLog& log, uint32_t now) {
  stats.analysisTimeValid = log.gRecordValid;
  stats.analysisTime = log.gRecordValid ? static_cast<int64_t>(now) : -1;
  stats.pilotIdFlag = false;
  stats.competitionId = -1;
  stats.civlId = -1;
  stats.utcFlag = log.sourceClassFlag;
  stats.pressureFlag = log.hasBaroHeight;
}

StatisticsSelection PrepareStatisticsSelection(std::vector<TrackPoint>& points, bool logFilter) {
  if (points.empty()) return StatisticsSelection::kNoneSelected;
  if (points.size() < kStatisticsMinimumPoints) return StatisticsSelection::kTooFew;
  if (!logFilter) return StatisticsSelection::kReady;
  std::vector<TrackPoint> filtered = points;
  const size_t kept = SpeedFilter(filtered.data(), filtered.size());
  if (kept == points.size()) return StatisticsSelection::kReady;
  if (kept < kStatisticsMinimumPoints) return StatisticsSelection::kTooFewAfterFilter;
  filtered.resize(kept);
  points = std::move(filtered);
  return StatisticsSelection::kFiltered;
}

const char* StatisticsSelectionMessage(StatisticsSelection s) {
  switch (s) {
    case StatisticsSelection::kReady: return "";
    case StatisticsSelection::kFiltered: return "Position(s) have been removed during track speed analysis";
    case StatisticsSelection::kNoneSelected: return "No position(s) selected";
    case StatisticsSelection::kTooFew: return "Too few positions selected";
    case StatisticsSelection::kTooFewAfterFilter: return "Too few positions left after track speed analysis";
  }
  return "";
}

}  // namespace skylode
