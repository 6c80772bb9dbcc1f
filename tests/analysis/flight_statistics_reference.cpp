#include "flight_statistics_reference.h"

#include <algorithm>
#include <array>
#include <vector>

#include "analysis/geodesy.h"

namespace skylode::reference {

namespace {

struct WindowSums {
  double distance = 0;
  double startHeight = 0;
};

double PointDistance(const TrackPoint& a, const TrackPoint& b) {
  return GeoDistanceSemicircles(a.latitude, a.longitude, b.latitude, b.longitude);
}

WindowSums WalkBack(std::span<const TrackPoint> points, size_t index, double window) {
  WindowSums sums;
  sums.startHeight = points[index].gpsHeight;
  size_t ref = index;
  double covered = 0;
  for (size_t j = index; j-- > 0;) {
    const double d = PointDistance(points[j], points[ref]);
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

double PairSpeed(const TrackPoint& from, const TrackPoint& to) {
  const uint32_t dt = to.time - from.time;
  if (dt == 0) return 0;
  const double metres = GeoDistanceSemicircles(from.latitude, from.longitude, to.latitude, to.longitude);
  const double v = metres / dt;
  return v > 1'000'000.0 ? 1'000'000.0 : v;
}

}  // namespace

SpeedAndClimb MeanSpeedAndClimb60(std::span<const TrackPoint> points, size_t index) {
  if (index == 0 || index >= points.size()) return {};
  if ((points[index].flags & kTrackPointStartsSegment) != 0) return {};
  const WindowSums sums = WalkBack(points, index, 60.0);
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
  stats.maxHeight = static_cast<int32_t>((static_cast<int64_t>(highest) + 5) / 10);
  stats.minHeight = static_cast<int32_t>((static_cast<int64_t>(lowest) + 5) / 10);

  const int64_t start = stats.startTime;
  for (size_t i = 1; i < p.size(); ++i) {
    stats.totalDistance += PointDistance(p[i - 1], p[i]);
    const int64_t before = p[i - 1].time;
    if (before > start + 10) stats.topSpeed = std::max(stats.topSpeed, reference::TopSpeed10(p, i));
    if (before > start + 60) {
      const SpeedAndClimb sc = reference::MeanSpeedAndClimb60(p, i);
      stats.maxMeanSpeed = std::max(stats.maxMeanSpeed, sc.speed);
      stats.minClimb = std::min(stats.minClimb, sc.climb);
      stats.maxClimb = std::max(stats.maxClimb, sc.climb);
    }
  }
  stats.averageSpeed = stats.duration != 0 ? stats.totalDistance / stats.duration * 3.6 : 0.0;
  stats.minClimb = std::clamp(stats.minClimb, -9999.0, 9999.0);
  stats.maxClimb = std::clamp(stats.maxClimb, -9999.0, 9999.0);
}

size_t SpeedFilter(TrackPoint* points, size_t count) {
  // Fewer than two points give no pair to judge the others by.
  if (count < 2) return count;

  std::vector<double> pairSpeed(count - 1);
  std::array<size_t, 100> histogram{};
  for (size_t i = 1; i < count; ++i) {
    const double v = PairSpeed(points[i - 1], points[i]);
    pairSpeed[i - 1] = v;
    const size_t slot = v >= 99.0 ? 99 : static_cast<size_t>(v);
    ++histogram[slot];
  }

  // The threshold sits above the speed that 95 % of the pairs do not exceed.
  int64_t q = static_cast<int64_t>(19 * static_cast<uint64_t>(count) / 20);
  size_t k = 0;
  for (; k < histogram.size(); ++k) {
    q -= static_cast<int64_t>(histogram[k]);
    if (q <= 0) break;
  }
  const double threshold = 3.0 * static_cast<double>(k) + 1.0;

  // The anchor ends the first run of slow pairs long enough to be trusted.
  const size_t run = count <= 10 ? count - 1 : 10;
  size_t slow = 0;
  size_t anchor = count;
  for (size_t i = 1; i < count; ++i) {
    slow = pairSpeed[i - 1] < threshold ? slow + 1 : 0;
    if (slow == run) {
      anchor = i;
      break;
    }
  }
  if (anchor == count) return 0;

  // Each position is measured from the last one kept, so a single jump is
  // dropped while the neighbours on either side of it stay.
  std::vector<bool> keep(count, false);
  keep[anchor] = true;
  size_t ref = anchor;
  for (size_t i = anchor; i-- > 0;) {
    if (PairSpeed(points[i], points[ref]) < threshold) {
      keep[i] = true;
      ref = i;
    }
  }
  ref = anchor;
  for (size_t i = anchor + 1; i < count; ++i) {
    if (PairSpeed(points[ref], points[i]) < threshold) {
      keep[i] = true;
      ref = i;
    }
  }

  size_t kept = 0;
  for (size_t i = 0; i < count; ++i) {
    if (keep[i]) {
      if (kept != i) points[kept] = points[i];
      ++kept;
    }
  }
  return kept;
}

}  // namespace skylode::reference
