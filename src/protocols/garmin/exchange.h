// The wait-and-check step every Garmin operation is made of.
#pragma once

#include <string_view>

#include "protocols/garmin/session.h"

namespace skylode::garmin {

// The messages of one step: time-out, port failure, unexpected packet.
struct StepTexts {
  const char* timeout;
  const char* portError;
  const char* wrong;
};

// Waits for a packet that `accept` likes. On anything else shows the step's
// message under `caption`, keeps the packet for the debug view and tells the
// unit to abort its transfer; an abort by the user ends quietly.
template <typename Accept>
TransferOutcome Expect(GarminSession& s, std::string_view caption, const StepTexts& t, Accept&& accept) {
  const RxStatus r = s.Receive(s.timeouts().data);
  const char* text = t.wrong;
  switch (r) {
    case RxStatus::kPacket:
      if (accept(s.packet())) return TransferOutcome::kSuccess;
      break;
    case RxStatus::kTimeout:
      text = t.timeout;
      break;
    case RxStatus::kReadError:
      text = t.portError;
      break;
    case RxStatus::kCancelled:
      s.SendAbortTransfer();
      s.ctx().Status("Transfer aborted");
      return TransferOutcome::kCancelled;
  }
  s.KeepFailedPacket();
  s.SendAbortTransfer();
  s.ctx().ShowMessage(caption, text);
  return TransferOutcome::kFailure;
}

}  // namespace skylode::garmin
