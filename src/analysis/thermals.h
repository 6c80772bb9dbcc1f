// Circling phases of a flight: stretches where the heading keeps turning the
// same way fast enough and long enough to be a climb in a thermal rather than
// a correction of course. Pure: the flight view and anything else can mark
// them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "records/track_log.h"

namespace skylode {

struct ThermalOptions {
  // A step turns when its heading changes at least this fast.
  double minTurnRate = 6.0;  // degrees per second
  // The turn rate of a step is taken over this many seconds around it.
  double smoothing = 8.0;  // seconds
  // Slower than this the heading is GPS noise (standing, walking).
  double minGroundSpeed = 2.0;  // metres per second
  // A phase must last this long and turn this far in one direction.
  double minDuration = 25.0;  // seconds
  double minTurn = 360.0;     // degrees
  // Circles narrower than this are no flight: the noise of a receiver that
  // lies still.
  double minRadius = 10.0;  // metres
  // Steps that do not turn, for at most this long, do not end a phase (a
  // straighter bit while re-centring).
  double maxBreak = 8.0;  // seconds
  // A pause in the fixes longer than this ends a phase.
  double maxFixGap = 30.0;  // seconds
};

struct Circling {
  int32_t first = -1;  // first and last fix, indices into the points
  int32_t last = -1;
  int direction = 0;   // +1 clockwise (right), -1 counter-clockwise (left)
  double turn = 0;     // degrees turned, always positive
  // m/s over the phase; climbKnown is false when the phase holds fewer than
  // two fixes with a height.
  double meanClimb = 0;
  bool climbKnown = false;
};

// Heights from the pressure sensor when `useBaro`, else from the GPS (fixes
// flagged kTrackPointNoGpsHeight are left out of the climb).
std::vector<Circling> FindCirclingPhases(std::span<const TrackPoint> points, bool useBaro,
                                         const ThermalOptions& options = {});

}  // namespace skylode
