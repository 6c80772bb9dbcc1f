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

// Starts a download: asks the unit for a list, waits for its acknowledgement
// and the record count, and acknowledges the count.
inline TransferOutcome StartDownload(GarminSession& s, std::string_view caption, std::string_view status,
                                     uint16_t command, const StepTexts& ack, const StepTexts& countTexts,
                                     int32_t& count) {
  s.ctx().Status(status);
  if (!s.SendCommand(command)) {
    s.ctx().ShowMessage(caption, "COM port write error");
    return TransferOutcome::kFailure;
  }
  TransferOutcome o = Expect(s, caption, ack, [](const GarminPacket& p) { return IsAckOf(p, kPidCommand); });
  if (o != TransferOutcome::kSuccess) return o;
  o = Expect(s, caption, countTexts, [](const GarminPacket& p) { return p.id == kPidRecords && p.size >= 2; });
  if (o != TransferOutcome::kSuccess) return o;
  count = GetU16(s.packet().payload(), 0);
  s.SendAck(kPidRecords);
  return TransferOutcome::kSuccess;
}

// Starts an upload: announces how many records follow and waits for the
// unit's acknowledgement.
inline TransferOutcome StartUpload(GarminSession& s, std::string_view caption, uint16_t records,
                                   const StepTexts& t) {
  uint8_t body[2];
  PutU16(body, records);
  GarminPacket announce;
  announce.Set(kPidRecords, body);
  if (!s.Send(announce)) {
    s.ctx().ShowMessage(caption, "COM port write error");
    return TransferOutcome::kFailure;
  }
  return Expect(s, caption, t, [](const GarminPacket& p) { return IsAckOf(p, kPidRecords); });
}

// Ends an upload: tells the unit the records are complete and waits for its
// acknowledgement. The unit has every record by then, so a failure here shows
// the step's message without telling it to abort. Switches the unit off
// afterwards when the pilot asked for that.
inline TransferOutcome FinishUpload(GarminSession& s, std::string_view caption, uint16_t command,
                                    const StepTexts& t) {
  uint8_t body[2];
  PutU16(body, command);
  GarminPacket complete;
  complete.Set(kPidTransferComplete, body);
  if (!s.Send(complete)) {
    s.ctx().ShowMessage(caption, "COM port write error");
    return TransferOutcome::kFailure;
  }
  const RxStatus r = s.Receive(s.timeouts().data);
  if (r == RxStatus::kCancelled) return TransferOutcome::kCancelled;
  if (r != RxStatus::kPacket || !IsAckOf(s.packet(), kPidTransferComplete)) {
    s.KeepFailedPacket();
    s.ctx().ShowMessage(caption, r == RxStatus::kTimeout     ? t.timeout
                                 : r == RxStatus::kReadError ? t.portError
                                                             : t.wrong);
    return TransferOutcome::kFailure;
  }
  if (s.ctx().settings().powerOffAfterTransfer) s.SendCommand(kCmdTurnOffPower);
  return TransferOutcome::kSuccess;
}

}  // namespace skylode::garmin
