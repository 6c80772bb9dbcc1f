// What the flight view draws beside the track itself: the routes the
// analyses scored and the thermals the pilot circled in. Built without any
// window, so the map, the barogram and the exports all read the same data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace skylode {

// A turnpoint of a route, as an index into the track log's points.
struct RouteTurnpoint {
  int32_t index = -1;
  std::string label;  // "start", "TP1", ..., "finish"
};

struct RouteLeg {
  int32_t from = -1;  // indices into the track log's points
  int32_t to = -1;
  double kilometres = 0;
};

// One scored route: the trip search's best result or a contest's best type.
struct ScoredRoute {
  std::string title;  // e.g. "XContest: FAI triangle 118.72 km, 166.21 points"
  std::vector<RouteTurnpoint> turnpoints;
  std::vector<RouteLeg> legs;
  // Triangles: the closing fixes and their gap; from = to = -1 otherwise.
  RouteLeg closing;
};

// A circling phase: first and last fix (indices into the track log's
// points) and the mean climb over it.
struct ThermalPhase {
  int32_t first = -1;
  int32_t last = -1;
  double meanClimb = 0;  // m/s
};

struct FlightOverlays {
  std::vector<ScoredRoute> routes;
  std::vector<ThermalPhase> thermals;
};

}  // namespace skylode
