#include "protocols/xctrainer/register.h"

#include "protocols/xctrainer/mxp_download.h"
#include "protocols/xctrainer/tnc_download.h"
#include "protocols/xctrainer/waypoints.h"

namespace skylode {

void RegisterXcTrainerWorkers(DeviceAccessTable& table, double waitScale) {
  using A = AccessType;
  using P = ProtocolType;
  for (P p : {P::kTopNavigatorMxp, P::kXcTrainerMxp}) table.Register(A::kReadTrackLog, p, xctrainer::MxpReadTrackLog);
  for (P p : {P::kTopNavigatorTncm, P::kXcTrainer}) table.Register(A::kReadTrackLog, p, xctrainer::TncReadTrackLog);
  const xctrainer::WaypointTiming timing = xctrainer::ScaledWaypointTiming(waitScale);
  table.Register(A::kReadWaypoints, P::kXcTrainer,
                 [timing](TransferContext& ctx) { return xctrainer::XcTrainerReadWaypoints(ctx, timing); });
  table.Register(A::kReadWaypoints, P::kTopNavigatorTncm, xctrainer::TopNavReadWaypoints);
  for (P p : {P::kTopNavigatorTncm, P::kXcTrainer})
    table.Register(A::kSendWaypoints, p,
                   [timing](TransferContext& ctx) { return xctrainer::WaypointRecordUpload(ctx, timing); });
}

}  // namespace skylode
