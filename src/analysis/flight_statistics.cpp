#include "analysis/flight_statistics.h"

#include <algorithm>

#include "analysis/geodesy.h"
#include "analysis/measured_heights.h"
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

// The next position a walk back from `ref` takes a leg to, and that leg.
struct PreviousPosition {
  bool found = false;
  size_t index = 0;
  double distance = 0;  // metres, from points[index] to points[ref]
};

// Walks back from points[index] until `window` seconds are covered,
// interpolating inside the pair that crosses the window's start.
// `previous(ref)` names the positions the walk takes a leg to; positions
// with the time of the current reference add nothing, and a segment start
// ends the walk.
template <typename Previous>
WindowSums WalkBack(std::span<const TrackPoint> points, size_t index, double window, const Previous& previous) {
  WindowSums sums;
  sums.startHeight = points[index].gpsHeight;
  size_t ref = index;
  double covered = 0;
  for (;;) {
    const PreviousPosition prev = previous(ref);
    if (!prev.found) return sums;
    const size_t j = prev.index;
    // Modulo 2^32 like every time difference on the program's scale: a step
    // back in time is a huge span and ends the window.
    const uint32_t delta = points[ref].time - points[j].time;
    ref = j;
    if (covered + delta >= window) {
      const double q = (window - covered) / delta;
      sums.distance += q * prev.distance;
      sums.startHeight += (points[j].gpsHeight - sums.startHeight) * q;
      return sums;
    }
    sums.distance += prev.distance;
    sums.startHeight = points[j].gpsHeight;
    covered += delta;
    if ((points[j].flags & kTrackPointStartsSegment) != 0) return sums;
  }
}

// One window on its own: the legs are measured as the walk meets them.
struct MeasuredLegs {
  std::span<const TrackPoint> points;
  PreviousPosition operator()(size_t ref) const {
    for (size_t j = ref; j-- > 0;) {
      if (points[j].time != points[ref].time) return {true, j, PointDistance(points[j], points[ref])};
      if ((points[j].flags & kTrackPointStartsSegment) != 0) return {};
    }
    return {};
  }
};

bool Refused(std::span<const TrackPoint> points, size_t index) {
  return index == 0 || index >= points.size() || (points[index].flags & kTrackPointStartsSegment) != 0;
}

// Heights are decimetres: a difference over 60 s is (dh / 10) / 60 m/s.
SpeedAndClimb Mean60(std::span<const TrackPoint> points, size_t index, const WindowSums& sums) {
  return {sums.distance * 0.06, (points[index].gpsHeight - sums.startHeight) * 0.001666667};
}

}  // namespace

// Every window of a track from the legs measured once.
struct CachedLegs {
  const TrackLegs& legs;
  PreviousPosition operator()(size_t ref) const {
    const size_t start = legs.runStart_[ref];
    if (start == 0 || legs.stopInRun_[ref] != 0) return {};
    return {true, start - 1, legs.walkLeg_[ref]};
  }
};

SpeedAndClimb MeanSpeedAndClimb60(std::span<const TrackPoint> points, size_t index) {
  if (Refused(points, index)) return {};
  return Mean60(points, index, WalkBack(points, index, 60.0, MeasuredLegs{points}));
}

double TopSpeed10(std::span<const TrackPoint> points, size_t index) {
  if (Refused(points, index)) return 0;
  return WalkBack(points, index, 10.0, MeasuredLegs{points}).distance * 0.36;
}

TrackLegs::TrackLegs(std::span<const TrackPoint> points)
    : points_(points),
      step_(points.size(), 0.0),
      runStart_(points.size(), 0),
      stopInRun_(points.size(), 0),
      walkLeg_(points.size(), 0.0) {
  size_t start = 0;
  bool stop = false;
  for (size_t i = 1; i < points.size(); ++i) {
    step_[i] = PointDistance(points[i - 1], points[i]);
    if (points[i].time != points[i - 1].time) {
      start = i;
      stop = false;
    } else {
      stop = stop || (points[i - 1].flags & kTrackPointStartsSegment) != 0;
    }
    runStart_[i] = start;
    stopInRun_[i] = stop ? 1 : 0;
    if (start == 0) continue;
    // A fix inside a run of equal times measures from before the run.
    walkLeg_[i] = start == i ? step_[i] : PointDistance(points[start - 1], points[i]);
  }
}

SpeedAndClimb TrackLegs::MeanSpeedAndClimb60(size_t index) const {
  if (Refused(points_, index)) return {};
  return Mean60(points_, index, WalkBack(points_, index, 60.0, CachedLegs{*this}));
}

double TrackLegs::TopSpeed10(size_t index) const {
  if (Refused(points_, index)) return 0;
  return WalkBack(points_, index, 10.0, CachedLegs{*this}).distance * 0.36;
}

void ComputeFlightStatistics(FlightStatistics& stats) {
  // Heights that were never measured would read as dives to the ground.
  FillUnmeasuredGpsHeights(stats.points, stats.pressureFlag);
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

  const TrackLegs legs(p);
  const int64_t start = stats.startTime;
  for (size_t i = 1; i < p.size(); ++i) {
    stats.totalDistance += legs.Step(i);
    const int64_t before = p[i - 1].time;
    if (before > start + 10) stats.topSpeed = std::max(stats.topSpeed, legs.TopSpeed10(i));
    if (before > start + 60) {
      const SpeedAndClimb sc = legs.MeanSpeedAndClimb60(i);
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
