#include "protocols/flytec/register.h"

#include "protocols/flytec/track_download.h"
#include "protocols/flytec/waypoint_download.h"

namespace skylode {

void RegisterFlytecWorkers(DeviceAccessTable& table, const flytec::FlytecTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadTrackLog(ctx, timing); });
  table.Register(AccessType::kReadWaypoints, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadWaypoints(ctx, timing); });
}

}  // namespace skylode
