#include "protocols/garmin/register.h"

#include "protocols/garmin/transfers.h"

namespace skylode {

void RegisterGarminWorkers(DeviceAccessTable& table) {
  constexpr ProtocolType kSerial = ProtocolType::kGarminSerial;
  table.Register(AccessType::kReadWaypoints, kSerial, [](TransferContext& c) { return garmin::GarminReadWaypoints(c); });
  table.Register(AccessType::kReadTrackLog, kSerial, [](TransferContext& c) { return garmin::GarminReadTrackLog(c); });
  table.Register(AccessType::kSendWaypoints, kSerial, [](TransferContext& c) { return garmin::GarminSendWaypoints(c); });
  table.Register(AccessType::kUploadTrackLog, kSerial,
                 [](TransferContext& c) { return garmin::GarminSendPointsAsLog(c); });
  table.Register(AccessType::kUploadAirspaces, kSerial,
                 [](TransferContext& c) { return garmin::GarminSendCtrsAsLogs(c); });
}

}  // namespace skylode
