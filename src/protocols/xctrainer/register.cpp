#include "protocols/xctrainer/register.h"

#include "protocols/xctrainer/mxp_download.h"

namespace skylode {

void RegisterXcTrainerWorkers(DeviceAccessTable& table) {
  using A = AccessType;
  using P = ProtocolType;
  for (P p : {P::kTopNavigatorMxp, P::kXcTrainerMxp}) table.Register(A::kReadTrackLog, p, xctrainer::MxpReadTrackLog);
}

}  // namespace skylode
