#include "protocols/digifly/register.h"

#include "protocols/digifly/graviter_download.h"
#include "protocols/digifly/graviter_name.h"
#include "protocols/digifly/mlr_download.h"
#include "protocols/digifly/mlr_waypoints.h"

namespace skylode {

void RegisterDigiflyWorkers(DeviceAccessTable& table, double waitScale) {
  using A = AccessType;
  using P = ProtocolType;
  const mlr::MlrTiming timing = mlr::MlrTiming::Scaled(waitScale);
  for (P p : {P::kMlrNmea, P::kMlrFast})
    table.Register(A::kReadTrackLog, p, [timing](TransferContext& ctx) { return mlr::MlrReadTrackLog(ctx, timing); });
  table.Register(A::kReadWaypoints, P::kMlrFast,
                 [timing](TransferContext& ctx) { return mlr::MlrReadWaypointsFast(ctx, timing); });
  table.Register(A::kReadWaypoints, P::kMlrNmea,
                 [timing](TransferContext& ctx) { return mlr::MlrReadWaypointSentences(ctx, timing); });
  table.Register(A::kReadTrackLog, P::kDigiflyGraviter,
                 [timing](TransferContext& ctx) { return graviter::GraviterReadTrackLog(ctx, timing); });
  table.Register(A::kWriteSettings, P::kDigiflyGraviter,
                 [timing](TransferContext& ctx) { return graviter::GraviterWriteName(ctx, timing); });
  for (P p : {P::kMlrNmea, P::kMlrFast})
    table.Register(A::kSendWaypoints, p, [timing](TransferContext& ctx) { return mlr::MlrSendWaypoints(ctx, timing); });
}

}  // namespace skylode
