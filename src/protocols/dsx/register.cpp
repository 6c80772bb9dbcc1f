#include "protocols/dsx/register.h"

#include "protocols/dsx/pilot_data.h"
#include "protocols/dsx/track_download.h"

namespace skylode {

void RegisterDsxWorkers(DeviceAccessTable& table, const dsx::DsxTiming& timing) {
  table.Register(AccessType::kReadTrackLog, ProtocolType::kDsx,
                 [timing](TransferContext& ctx) { return dsx::DsxReadTrackLog(ctx, timing); });
  table.Register(AccessType::kWriteSettings, ProtocolType::kDsx,
                 [timing](TransferContext& ctx) { return dsx::DsxWritePilotData(ctx, timing); });
}

}  // namespace skylode
