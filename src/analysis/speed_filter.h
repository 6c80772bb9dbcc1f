// Removal of positions that imply impossible speeds (GPS jumps).
#pragma once

#include <cstddef>
#include <vector>

#include "records/track_log.h"

namespace skylode {

// Works in place: the kept positions move to the front in their order. Returns
// the number kept: `count` when nothing was dropped (always for 0 or 1 points),
// 0 when no reliable stretch of slow pairs exists (the array is then untouched).
// The points' flags are never changed.
size_t SpeedFilter(TrackPoint* points, size_t count);

// The same on a vector; the dropped positions are erased unless the result is
// 0, in which case the vector is left as it was.
size_t SpeedFilter(std::vector<TrackPoint>& points);

}  // namespace skylode
