// Conversions between Garmin data records and the program's waypoints and
// track points, by the data type the unit negotiated.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "protocols/garmin/link.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode::garmin {

// Smallest data size we accept for a waypoint type on receipt; 0 for a type
// we do not handle.
size_t GarminWaypointMinSize(uint16_t type);
// Smallest data size of a track point type; 0 for a type we do not handle.
size_t GarminTrackPointMinSize(uint16_t type);
// Data size of a track point packet sent for a track protocol (300-302).
size_t GarminUploadTrackPointSize(uint16_t trackProtocol);

enum class WaypointPacketError {
  kNone,
  kBadPacket,  // too short or an unknown type (E306)
  kBadHeader,  // D109/D110 data type or attribute byte not as expected (E309)
};

// Converts a waypoint data packet. Only the packet's data size is read.
std::optional<Waypoint> GarminWaypointFromPacket(uint16_t type, const GarminPacket& p,
                                                 WaypointPacketError* error = nullptr);

// Builds the waypoint data packet (ID 35) for `type`.
GarminPacket GarminWaypointToPacket(uint16_t type, const Waypoint& w);

// Converts a track point data packet; nothing when it is too short.
std::optional<TrackPoint> GarminTrackPointFromPacket(uint16_t type, const GarminPacket& p);

// A track point packet (ID 34) carrying only a position.
GarminPacket GarminTrackPointToPacket(uint16_t trackProtocol, int32_t latitude, int32_t longitude);

// A track header packet (ID 99): shown, colour 0, the name (at most 50 characters).
GarminPacket GarminTrackHeaderPacket(const std::string& name);

// Altitude conversions shared with the USB transport.
int32_t WaypointAltitudeFromFloat(double metres);
int32_t TrackAltitudeFromFloat(double metres);  // decimetres

}  // namespace skylode::garmin
