#include "analysis/measured_heights.h"

#include <algorithm>
#include <limits>

namespace skylode {

namespace {

bool Measured(const TrackPoint& p) { return (p.flags & kTrackPointNoGpsHeight) == 0; }

// A pressure altitude of 0 is what loggers without a sensor write.
int32_t StandIn(const TrackPoint& anchor, const TrackPoint& p, bool pressure) {
  if (!pressure || anchor.baroHeight == 0 || p.baroHeight == 0) return anchor.gpsHeight;
  const int64_t h = int64_t{anchor.gpsHeight} + (int64_t{p.baroHeight} - anchor.baroHeight) * 10;
  return static_cast<int32_t>(std::clamp<int64_t>(h, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A track with no measured height at all: the pressure height where there is
// one, else what the fix says.
int32_t Unanchored(const TrackPoint& p, bool pressure) {
  if (!pressure || p.baroHeight == 0) return p.gpsHeight;
  return static_cast<int32_t>(std::clamp<int64_t>(int64_t{p.baroHeight} * 10, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

int32_t MeasuredGpsHeight(std::span<const TrackPoint> points, size_t index, bool pressure) {
  const TrackPoint& p = points[index];
  if (Measured(p)) return p.gpsHeight;
  for (size_t i = index; i-- > 0;)
    if (Measured(points[i])) return StandIn(points[i], p, pressure);
  for (size_t i = index + 1; i < points.size(); ++i)
    if (Measured(points[i])) return StandIn(points[i], p, pressure);
  return Unanchored(p, pressure);
}

void FillUnmeasuredGpsHeights(std::span<TrackPoint> points, bool pressure) {
  // Before the first measured fix, that fix stands in; after it, the last one.
  const auto first = std::find_if(points.begin(), points.end(), Measured);
  if (first == points.end()) {
    for (TrackPoint& p : points) p.gpsHeight = Unanchored(p, pressure);
    return;
  }
  TrackPoint anchor = *first;
  for (TrackPoint& p : points) {
    if (Measured(p)) anchor = p;
    else p.gpsHeight = StandIn(anchor, p, pressure);
  }
}

}  // namespace skylode
