// The MLR workers: the fast download of the track log and of the waypoints.
#pragma once

#include "access/transfer_context.h"
#include "protocols/digifly/mlr_link.h"

namespace skylode::mlr {

TransferResult MlrReadTrackLog(TransferContext& ctx, const MlrTiming& timing);
// The waypoints in fast frames (the fast column).
TransferResult MlrReadWaypointsFast(TransferContext& ctx, const MlrTiming& timing);

}  // namespace skylode::mlr
