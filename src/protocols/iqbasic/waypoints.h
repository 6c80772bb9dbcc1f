// The instrument's waypoints: "description;N 47'30.500;E 8'15.250;height"
// lines both ways.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "protocols/iqbasic/link.h"
#include "records/waypoint.h"

namespace skylode::iqbasic {

inline constexpr std::string_view kCaptionReadWaypoints = "Read GPS waypoints";
inline constexpr size_t kUploadNameWidth = 16;

// One received line as a waypoint stamped `time`, or the error number of
// "Waypoint string parse error %d": 2 fewer than three fields, 3 a bad
// height, 4 a bad latitude, 5 a bad longitude.
struct WaypointLine {
  std::optional<Waypoint> waypoint;
  int error = 0;
};
WaypointLine ParseWaypointLine(std::string_view line, uint32_t time);

// The line that uploads `w` after ACT_32_00: mode 1 (or 0) sends the name, 2
// the ID and name, 3 the ID, blank-padded to 16 characters.
std::string UploadLine(const Waypoint& w, int mode);

// Mode 0 fills `out`; mode 1 hands each waypoint to the competition pilot
// identification instead.
Step IqReadWaypointList(TransferContext& ctx, const IqTiming& timing, int mode, WaypointList* out);

TransferResult IqReadWaypoints(TransferContext& ctx, const IqTiming& timing);
TransferResult IqSendWaypoints(TransferContext& ctx, const IqTiming& timing);

}  // namespace skylode::iqbasic
