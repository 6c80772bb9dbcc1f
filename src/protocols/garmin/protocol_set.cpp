#include "protocols/garmin/protocol_set.h"

namespace skylode::garmin {

std::optional<GarminProtocolSet> FindGarminDefaultProtocols(int productId, uint16_t version) {
  for (const GarminProtocolSet& row : GarminDefaultProtocols()) {
    if (row.productId == 0) break;
    if (row.productId == productId && version >= row.minVersion && version <= row.maxVersion) return row;
  }
  return std::nullopt;
}

bool IsSupportedWaypointType(uint16_t t) {
  return (t >= 100 && t <= 104) || (t >= 107 && t <= 110) || (t >= 150 && t <= 152) || t == 154 ||
         t == 155;
}

Status ParseGarminProtocolArray(std::span<const uint8_t> data, GarminProtocolSet& set) {
  if (data.size() % 3 != 0) return Error::Of(ErrorKind::kProtocol, "Bad protocol data packet");
  // The application protocol whose data types the following 'D' entries name.
  uint16_t current = 0;
  for (size_t at = 0; at < data.size(); at += 3) {
    const char tag = static_cast<char>(data[at]);
    const uint16_t n = static_cast<uint16_t>(data[at + 1] | (data[at + 2] << 8));
    switch (tag) {
      case 'P':
        set.physical = n;
        current = 0;
        break;
      case 'L':
        set.link = n;
        current = 0;
        break;
      case 'T':
        set.tagT = n;
        current = 0;
        break;
      case 'A':
        current = n;
        if (n == 10 || n == 11) {
          set.command = n;
        } else if (n == 100) {
          set.waypointProtocol = n;
        } else if (n == 200 || n == 201) {
          set.routeProtocol = n;
        } else if (n >= 300 && n <= 302) {
          set.trackProtocol = n;
        } else if (n == 400) {
          set.proximityProtocol = n;
        } else if (n == 500) {
          set.almanacProtocol = n;
        }
        break;
      case 'D':
        if (current == 100) {
          if (IsSupportedWaypointType(n)) set.waypointType = n;
        } else if (current == 200 || current == 201) {
          if (n >= 200 && n <= 202) set.routeHeaderType = n;
          else if (IsSupportedWaypointType(n)) set.routeWaypointType = n;
          else if (n == 210) set.routeLinkType = n;
        } else if (current >= 300 && current <= 302) {
          if (n >= 300 && n <= 304) set.trackPointType = n;
          else if (n >= 310 && n <= 312) set.trackHeaderType = n;
        } else if (current == 400) {
          if (n == 400 || n == 403 || n == 450) set.proximityType = n;
        } else if (current == 500) {
          if (n == 500 || n == 501 || n == 550 || n == 551) set.almanacType = n;
        }
        break;
      default:
        return Error::Of(ErrorKind::kProtocol, "Bad protocol tag character");
    }
  }
  return {};
}

Status CheckGarminProtocols(const GarminProtocolSet& s) {
  auto unsupported = [](const char* text) { return Error::Of(ErrorKind::kUnsupported, text); };
  if (s.link != 1) return unsupported("E180 Unsupported link protocol");
  if (s.command != 10) return unsupported("E181 Unsupported device command protocol");
  if (s.waypointProtocol != 0 && s.waypointProtocol != 100) return unsupported("E182 Unsupported waypoint transfer protocol");
  if (s.waypointProtocol == 100 && !IsSupportedWaypointType(s.waypointType))
    return unsupported("E183 Unsupported waypoint data type");
  if (s.trackProtocol != 0) {
    const bool knownProtocol = s.trackProtocol >= 300 && s.trackProtocol <= 302;
    if (!knownProtocol || s.trackPointType < 300 || s.trackPointType > 304)
      return unsupported("E185 Unsupported track log data type");
  }
  return {};
}

}  // namespace skylode::garmin
