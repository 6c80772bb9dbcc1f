#include "protocols/garmin/register.h"

#include "protocols/garmin/transfers.h"

namespace skylode {

void RegisterGarminWorkers(DeviceAccessTable& table) {
  // One set of workers for both columns: the session picks its transport by
  // the column the transfer runs in.
  for (const ProtocolType column : {ProtocolType::kGarminSerial, ProtocolType::kGarminUsb}) {
    table.Register(AccessType::kReadWaypoints, column, [](TransferContext& c) { return garmin::GarminReadWaypoints(c); });
    table.Register(AccessType::kReadTrackLog, column, [](TransferContext& c) { return garmin::GarminReadTrackLog(c); });
    table.Register(AccessType::kSendWaypoints, column, [](TransferContext& c) { return garmin::GarminSendWaypoints(c); });
    table.Register(AccessType::kUploadTrackLog, column,
                   [](TransferContext& c) { return garmin::GarminSendPointsAsLog(c); });
    table.Register(AccessType::kUploadAirspaces, column,
                   [](TransferContext& c) { return garmin::GarminSendCtrsAsLogs(c); });
  }
}

}  // namespace skylode
