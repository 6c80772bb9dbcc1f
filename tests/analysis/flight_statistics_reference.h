// The flight statistics windows and the speed filter exactly as first
// written: every window measures each leg it walks over afresh. Only the
// tests use it, to hold the analysis that measures each leg once to the same
// results, bit for bit.
#pragma once

#include <cstddef>
#include <span>

#include "analysis/flight_statistics.h"

namespace skylode::reference {

SpeedAndClimb MeanSpeedAndClimb60(std::span<const TrackPoint> points, size_t index);
double TopSpeed10(std::span<const TrackPoint> points, size_t index);
void ComputeFlightStatistics(FlightStatistics& stats);
size_t SpeedFilter(TrackPoint* points, size_t count);

}  // namespace skylode::reference
