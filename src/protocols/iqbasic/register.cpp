#include "protocols/iqbasic/register.h"

#include "protocols/iqbasic/track_download.h"
#include "protocols/iqbasic/waypoints.h"

namespace skylode {

void RegisterIqBasicWorkers(DeviceAccessTable& table, const iqbasic::IqTiming& timing) {
  table.Register(AccessType::kReadWaypoints, ProtocolType::kIqBasic,
                 [timing](TransferContext& ctx) { return iqbasic::IqReadWaypoints(ctx, timing); });
  table.Register(AccessType::kReadTrackLog, ProtocolType::kIqBasic,
                 [timing](TransferContext& ctx) { return iqbasic::IqReadTrackLog(ctx, timing); });
  table.Register(AccessType::kSendWaypoints, ProtocolType::kIqBasic,
                 [timing](TransferContext& ctx) { return iqbasic::IqSendWaypoints(ctx, timing); });
}

}  // namespace skylode
