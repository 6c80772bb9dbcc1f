// Moving a track on the sphere so that a chosen start position lands at
// latitude 0, longitude 0 and the direction towards a chosen end position
// points due east along the equator.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/geodesy.h"
#include "records/track_log.h"

namespace skylode {

// The rotation positions the program starts with; the rotate dialog replaces them.
struct RotationPositions {
  SemicirclePosition start{738402973, 109070960};
  SemicirclePosition end{741584430, 75095647};
};

struct RotationConstants {
  double c = 1;  // cosine of the initial bearing from start to end
  double s = 0;  // its sine
};

// Nothing when the bearing is undefined (same or antipodal positions).
std::optional<RotationConstants> ComputeRotation(const GeoPosition& start, const GeoPosition& end);

// Radians in and out; the longitude comes out in [-pi, pi].
GeoPosition RotatePosition(const GeoPosition& start, const GeoPosition& position,
                           const RotationConstants& rc);

// True when the two positions are less than one second of arc apart in both
// latitude and longitude ("Positions are too close").
bool RotationPositionsTooClose(const SemicirclePosition& start, const SemicirclePosition& end);

// Rotates every point in place (times, heights and flags untouched). False,
// with the points unchanged, when the positions give no rotation.
bool RotateTrackPoints(std::vector<TrackPoint>& points, const SemicirclePosition& start,
                       const SemicirclePosition& end);

}  // namespace skylode
