// Waypoints and the rules for their identifiers and descriptions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace skylode {

inline constexpr size_t kWaypointIdMax = 6;
inline constexpr size_t kWaypointNameMax = 40;
inline constexpr int32_t kDefaultWaypointSymbol = 18;

struct Waypoint {
  int32_t latitude = 0;   // semicircles
  int32_t longitude = 0;  // semicircles
  int32_t height = 0;     // metres
  std::string id;         // A-Z, 0-9, '-'; at most 6 characters
  std::string name;       // at most 40 characters (list column "Name")
  uint32_t time = 0;      // seconds since the epoch
  int32_t symbol = 0;
  friend bool operator==(const Waypoint&, const Waypoint&) = default;
};

struct WaypointList {
  std::vector<Waypoint> items;
  // The unit's own description when the list came from an instrument.
  std::string sourceText;
  int32_t count() const { return static_cast<int32_t>(items.size()); }
  bool empty() const { return items.empty(); }
};

// Identifier input: leading blanks skipped, lower case raised, a blank ends it
// and may be followed only by blanks; any other character or a seventh one
// rejects the input. An empty identifier is accepted as empty.
std::optional<std::string> ParseWaypointId(std::string_view text);

// As ParseWaypointId; in lenient mode any other character becomes '-' and
// characters past the sixth are ignored.
std::optional<std::string> NormaliseWaypointId(std::string_view text, bool lenient);

// Letters (case kept), digits, blanks and '-' are kept, every other character
// (each UTF-8 code point counts once) becomes '-'; at most 40 characters;
// trailing blanks dropped.
std::string NormaliseDescription(std::string_view text);

}  // namespace skylode
