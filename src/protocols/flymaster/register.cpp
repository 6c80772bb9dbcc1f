#include "protocols/flymaster/register.h"

#include "protocols/flymaster/set_data.h"
#include "protocols/flymaster/track_download.h"
#include "protocols/flymaster/waypoint_upload.h"

namespace skylode {

void RegisterFlymasterWorkers(DeviceAccessTable& table, const flymaster::FlymasterTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kFlymaster,
                 [timing](TransferContext& ctx) { return flymaster::FlymasterReadTrackLog(ctx, timing); });
  table.Register(AccessType::kSendWaypoints, ProtocolType::kFlymaster,
                 [timing](TransferContext& ctx) { return flymaster::FlymasterSendWaypoints(ctx, timing); });
  table.Register(AccessType::kWriteSettings, ProtocolType::kFlymaster,
                 [timing](TransferContext& ctx) { return flymaster::FlymasterSetData(ctx, timing); });
}

}  // namespace skylode
