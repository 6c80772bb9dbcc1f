#include "protocols/flytec/register.h"

#include "protocols/flytec/all_tracks.h"
#include "protocols/flytec/ctr_transfer.h"
#include "protocols/flytec/track_download.h"
#include "protocols/flytec/waypoint_download.h"

namespace skylode {

void RegisterFlytecWorkers(DeviceAccessTable& table, const flytec::FlytecTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadTrackLog(ctx, timing); });
  table.Register(AccessType::kReadWaypoints, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadWaypoints(ctx, timing); });
  table.Register(AccessType::kSendWaypoints, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecSendWaypoints(ctx, timing); });
  table.Register(AccessType::kUploadAirspaces, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecSendCtrs(ctx, timing); });
  table.Register(AccessType::kReadAirspaces, ProtocolType::kFlytec,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadCtrs(ctx, timing); });
  table.Register(AccessType::kReadTrackLog, ProtocolType::kFlytecAllTracks,
                 [timing](TransferContext& ctx) { return flytec::FlytecReadAllTracks(ctx, timing); });
}

}  // namespace skylode
