#include "protocols/xctrainer/register.h"

#include "protocols/xctrainer/mxp_download.h"
#include "protocols/xctrainer/tnc_download.h"

namespace skylode {

void RegisterXcTrainerWorkers(DeviceAccessTable& table) {
  using A = AccessType;
  using P = ProtocolType;
  for (P p : {P::kTopNavigatorMxp, P::kXcTrainerMxp}) table.Register(A::kReadTrackLog, p, xctrainer::MxpReadTrackLog);
  for (P p : {P::kTopNavigatorTncm, P::kXcTrainer}) table.Register(A::kReadTrackLog, p, xctrainer::TncReadTrackLog);
}

}  // namespace skylode
