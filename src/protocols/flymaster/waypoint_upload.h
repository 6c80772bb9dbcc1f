// Sending waypoints to the instrument, one sentence each, each answered.
#pragma once

#include <string>
#include <string_view>

#include "access/transfer_context.h"
#include "protocols/flymaster/link.h"

namespace skylode::flymaster {

inline constexpr size_t kWaypointNameWidth = 16;

// The sentence for one waypoint and the 16-character name it carries.
// `mode`: 2 "ID name", 3 the ID, otherwise the name.
struct WaypointSentence {
  std::string sentence;
  std::string name;
};
WaypointSentence BuildWaypointSentence(const Waypoint& waypoint, int32_t mode);

// How the instrument's reply to one waypoint was judged: 0 confirmed, a
// positive error type 1 to 7.
int CheckWaypointReply(std::string_view line, std::string_view sentName, std::string_view softwareVersion);

TransferResult FlymasterSendWaypoints(TransferContext& ctx, const FlymasterTiming& timing);

}  // namespace skylode::flymaster
