// Fixes without a 3-D position carry a GPS height the instrument never
// measured (usually 0). Everything shown or analysed takes in its place the
// height of the nearest measured fix before it (after it, when the track
// starts without one), moved by the change of the pressure height between
// the two where both fixes have one. The points themselves keep the values
// they came with, so a file written from them says what the instrument said.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "records/track_log.h"

namespace skylode {

// The GPS height of points[index] in decimetres, standing in for an
// unmeasured one as above. `pressure`: the track carries barometric heights.
int32_t MeasuredGpsHeight(std::span<const TrackPoint> points, size_t index, bool pressure);

// Replaces every unmeasured GPS height in `points` as above; the flags stay,
// so doing it twice changes nothing.
void FillUnmeasuredGpsHeights(std::span<TrackPoint> points, bool pressure);

}  // namespace skylode
