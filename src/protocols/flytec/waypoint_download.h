// Reading the instrument's waypoints.
#pragma once

#include "access/transfer_context.h"
#include "protocols/flytec/link.h"
#include "records/waypoint.h"

namespace skylode::flytec {

inline constexpr std::string_view kCaptionWaypoints = "Read GPS waypoints";

// Mode 0 fills `out` and fails when no waypoint came; mode 1 hands each
// waypoint to the competition pilot identification instead.
Step FlytecReadWaypointList(TransferContext& ctx, const FlytecTiming& timing, int mode, WaypointList* out);

// The whole waypoint operation: product data, then the list.
TransferResult FlytecReadWaypoints(TransferContext& ctx, const FlytecTiming& timing);

}  // namespace skylode::flytec
