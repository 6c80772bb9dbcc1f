// The Magellan workers: track log and waypoint download, waypoint upload.
#pragma once
#include <chrono>

#include "access/dispatcher.h"
#include "access/transfer_context.h"

namespace skylode::magellan {

struct MagellanTiming {
  std::chrono::milliseconds productWindow{2000};
  std::chrono::milliseconds afterProduct{500};
  std::chrono::milliseconds silence{1000};
  std::chrono::milliseconds waypointPause{300};
};
MagellanTiming ScaledTiming(double scale);

TransferResult MagellanReadTrackLog(TransferContext& ctx, const MagellanTiming& timing = {});
TransferResult MagellanReadWaypoints(TransferContext& ctx, const MagellanTiming& timing = {});
TransferResult MagellanSendWaypoints(TransferContext& ctx, const MagellanTiming& timing = {});

}  // namespace skylode::magellan

namespace skylode {
void RegisterMagellanWorkers(DeviceAccessTable& table, const magellan::MagellanTiming& timing = {});
}  // namespace skylode
