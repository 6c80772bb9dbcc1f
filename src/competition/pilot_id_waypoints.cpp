#include "competition/pilot_id_waypoints.h"

#include <cmath>
#include <string>

#include "records/angles.h"

namespace skylode {
namespace {

constexpr double kRadiansToArcSeconds = 206264.8062471;

// Degrees, minutes and seconds of arc as semicircles.
int32_t ArcToSemicircles(int32_t degrees, int32_t minutes, int32_t seconds) {
  const double d = degrees + minutes / 60.0 + seconds / 3600.0;
  return DegreesToLongitude(d).value_or(0);
}

int64_t WholeArcSeconds(int32_t semicircles) {
  return static_cast<int64_t>(std::floor(SemicirclesToRadians(semicircles) * kRadiansToArcSeconds + 0.5));
}

}  // namespace

std::optional<Waypoint> MakePilotIdWaypoint(std::string_view word, int32_t id, uint32_t now) {
  if (id < 0 || id > kPilotIdCodeMax) return std::nullopt;
  Waypoint w;
  w.id = std::string(word);
  w.name = std::string(word);
  w.latitude = ArcToSemicircles(id / 100 % 10, id / 10 % 10, id % 10);
  w.longitude = ArcToSemicircles(id / 100000, id / 10000 % 10, id / 1000 % 10);
  w.height = 0;
  w.time = now;
  w.symbol = kPilotIdSymbol;
  return w;
}

std::optional<Waypoint> MakeDashIdWaypoint(int32_t compId, uint32_t now) {
  if (compId < 0 || compId > kDashIdMax) return std::nullopt;
  Waypoint w;
  w.id = "-" + std::to_string(compId);
  w.name = w.id;
  w.time = now;
  w.symbol = kPilotIdSymbol;
  return w;
}

std::optional<int32_t> DecodePilotIdPosition(int32_t latitude, int32_t longitude) {
  const int64_t lat = WholeArcSeconds(latitude);
  const int64_t lon = WholeArcSeconds(longitude);
  if (lat < 0 || lon < 0) return std::nullopt;
  const int64_t latDeg = lat / 3600, latMin = lat / 60 % 60, latSec = lat % 60;
  const int64_t lonDeg = lon / 3600, lonMin = lon / 60 % 60, lonSec = lon % 60;
  if (lonDeg >= 180 || latDeg >= 10 || latMin >= 10 || latSec >= 10 || lonMin >= 10 || lonSec >= 10)
    return std::nullopt;
  const int64_t n = ((((lonDeg * 10 + lonMin) * 10 + lonSec) * 10 + latDeg) * 10 + latMin) * 10 + latSec;
  return static_cast<int32_t>(n);
}

PilotIds ReadPilotIdFromWaypoint(const Waypoint& waypoint, bool special) {
  PilotIds ids;
  if (special) {
    const std::string& id = waypoint.id;
    if (id.size() < 2 || id[0] != '-') return ids;
    int32_t n = 0;
    size_t digits = 0;
    for (size_t i = 1; i < id.size() && id[i] >= '0' && id[i] <= '9'; ++i) {
      // More digits than an ID waypoint can hold is not our coding.
      if (++digits > 5) return ids;
      n = n * 10 + (id[i] - '0');
    }
    if (digits > 0) ids.compId = n;
    return ids;
  }
  const bool comp = waypoint.id == kCompIdWord;
  const bool civl = waypoint.id == kCivlIdWord;
  if (!comp && !civl) return ids;
  const auto n = DecodePilotIdPosition(waypoint.latitude, waypoint.longitude);
  if (!n) return ids;
  (comp ? ids.compId : ids.civlId) = *n;
  return ids;
}

}  // namespace skylode
