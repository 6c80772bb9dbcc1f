// Pilot IDs carried by an instrument as waypoints: "COMPID" and "CIVLID"
// whose position spells the number in degrees, minutes and seconds of arc,
// and, in the special variant, a waypoint named "-<competition ID>". The
// next download of the instrument then tells who flew it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "records/waypoint.h"

namespace skylode {

// The largest number the position coding holds: 179 degrees of longitude
// and single digits everywhere else.
inline constexpr int32_t kPilotIdCodeMax = 17999999;
// "-" and five digits fill the six characters of a waypoint ID.
inline constexpr int32_t kDashIdMax = 99999;

inline constexpr uint16_t kPilotIdSymbol = 18;
inline constexpr std::string_view kCompIdWord = "COMPID";
inline constexpr std::string_view kCivlIdWord = "CIVLID";

struct PilotIds {
  int32_t compId = -1;  // -1: not found
  int32_t civlId = -1;
  bool any() const { return compId >= 0 || civlId >= 0; }
};

// The ID waypoint `word` ("COMPID" or "CIVLID") for `id`; nothing when the
// ID is outside 0..kPilotIdCodeMax (the position could not say it).
std::optional<Waypoint> MakePilotIdWaypoint(std::string_view word, int32_t id, uint32_t now);
// "-<id>" at 0/0; nothing outside 0..kDashIdMax (the ID would not fit).
std::optional<Waypoint> MakeDashIdWaypoint(int32_t compId, uint32_t now);

// The number a position spells, or nothing when it spells none.
std::optional<int32_t> DecodePilotIdPosition(int32_t latitude, int32_t longitude);

// What one of the instrument's waypoints says about the pilot. `special`:
// only "-NNN" waypoints count (the digits up to the first other character,
// at most five of them); otherwise only COMPID and CIVLID.
PilotIds ReadPilotIdFromWaypoint(const Waypoint& waypoint, bool special);

}  // namespace skylode
