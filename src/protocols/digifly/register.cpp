#include "protocols/digifly/register.h"

#include "protocols/digifly/mlr_download.h"

namespace skylode {

void RegisterDigiflyWorkers(DeviceAccessTable& table, double waitScale) {
  using A = AccessType;
  using P = ProtocolType;
  const mlr::MlrTiming timing = mlr::MlrTiming::Scaled(waitScale);
  for (P p : {P::kMlrNmea, P::kMlrFast})
    table.Register(A::kReadTrackLog, p, [timing](TransferContext& ctx) { return mlr::MlrReadTrackLog(ctx, timing); });
  table.Register(A::kReadWaypoints, P::kMlrFast,
                 [timing](TransferContext& ctx) { return mlr::MlrReadWaypointsFast(ctx, timing); });
}

}  // namespace skylode
