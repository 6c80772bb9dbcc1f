// Waypoints of both instruments: the XC Trainer's 31-byte records and the
// Top Navigator's text lines coming in, and the 30-byte record both take.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "records/waypoint.h"

namespace skylode::xctrainer {

inline constexpr size_t kXcTrainerRecordSize = 31;
inline constexpr size_t kUploadRecordSize = 30;

// The waits of the waypoint transfers; tests shorten them.
struct WaypointTiming {
  std::chrono::milliseconds silence{10000};  // ends the XC Trainer's list
  std::chrono::milliseconds uploadPause{400};  // after each record sent
};
WaypointTiming ScaledWaypointTiming(double scale);

// 0, or the error number of "E302 Format error %": 2 checksum, 3 to 6 the
// four marker characters, 7 a position outside the globe.
int DecodeXcTrainerWaypoint(std::string_view record, uint32_t now, Waypoint& out);

// A line of the Top Navigator's list; nothing for lines that do not parse
// (comments included).
std::optional<Waypoint> DecodeTopNavWaypoint(std::string_view line, uint32_t now);

// The record sent to either instrument, CR at the end.
std::string BuildUploadRecord(const Waypoint& w);

TransferResult XcTrainerReadWaypoints(TransferContext& ctx, const WaypointTiming& timing);
TransferResult TopNavReadWaypoints(TransferContext& ctx);
TransferResult WaypointRecordUpload(TransferContext& ctx, const WaypointTiming& timing);

}  // namespace skylode::xctrainer
