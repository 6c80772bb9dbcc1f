// The wait-and-check step every Garmin operation is made of.
#pragma once

#include <string_view>

#include "protocols/garmin/session.h"
#include "records/error.h"

namespace skylode::garmin {

// The messages of one step: time-out, port failure, unexpected packet.
struct StepTexts {
  const char* timeout;
  const char* portError;
  const char* wrong;
};

// The step's failure for what the receiver saw, its message as the text.
inline Error StepError(RxStatus r, const StepTexts& t) {
  switch (r) {
    case RxStatus::kTimeout: return Error::Of(ErrorKind::kTimeout, t.timeout);
    case RxStatus::kReadError: return Error::Of(ErrorKind::kPortError, t.portError);
    case RxStatus::kCancelled: return Error::Cancelled();
    case RxStatus::kPacket: break;
  }
  return Error::Of(ErrorKind::kProtocol, t.wrong);
}

inline Error WriteFailed() { return Error::Of(ErrorKind::kPortError, "COM port write error"); }

// An operation's failure shown under its caption; a cancelled one is quiet.
inline Status Report(GarminSession& s, std::string_view caption, Status result) {
  if (!result.ok() && !result.cancelled()) s.ctx().ShowMessage(caption, result.error().text);
  return result;
}

// Waits for a packet that `accept` likes. On anything else keeps the packet
// for the debug view, tells the unit to abort its transfer and gives the
// step's failure; an abort by the user ends quietly.
template <typename Accept>
Status Expect(GarminSession& s, const StepTexts& t, Accept&& accept) {
  const RxStatus r = s.Receive(s.timeouts().data);
  if (r == RxStatus::kPacket && accept(s.packet())) return {};
  if (r == RxStatus::kCancelled) {
    s.SendAbortTransfer();
    s.ctx().Status("Transfer aborted");
    return Error::Cancelled();
  }
  s.KeepFailedPacket();
  s.SendAbortTransfer();
  return StepError(r, t);
}

// Starts a download: asks the unit for a list, waits for its acknowledgement
// and the record count, and acknowledges the count.
inline Status StartDownload(GarminSession& s, std::string_view status, uint16_t command, const StepTexts& ack,
                            const StepTexts& countTexts, int32_t& count) {
  s.ctx().Status(status);
  if (!s.SendCommand(command)) return WriteFailed();
  if (Status o = Expect(s, ack, [](const GarminPacket& p) { return IsAckOf(p, kPidCommand); }); !o.ok()) return o;
  if (Status o = Expect(s, countTexts, [](const GarminPacket& p) { return p.id == kPidRecords && p.size >= 2; });
      !o.ok())
    return o;
  count = GetU16(s.packet().payload(), 0);
  s.SendAck(kPidRecords);
  return {};
}

// Starts an upload: announces how many records follow and waits for the
// unit's acknowledgement.
inline Status StartUpload(GarminSession& s, uint16_t records, const StepTexts& t) {
  uint8_t body[2];
  PutU16(body, records);
  GarminPacket announce;
  announce.Set(kPidRecords, body);
  if (!s.Send(announce)) return WriteFailed();
  return Expect(s, t, [](const GarminPacket& p) { return IsAckOf(p, kPidRecords); });
}

// Ends an upload: tells the unit the records are complete and waits for its
// acknowledgement. The unit has every record by then, so a failure here is
// the step's message without telling it to abort. Switches the unit off
// afterwards when the pilot asked for that.
inline Status FinishUpload(GarminSession& s, uint16_t command, const StepTexts& t) {
  uint8_t body[2];
  PutU16(body, command);
  GarminPacket complete;
  complete.Set(kPidTransferComplete, body);
  if (!s.Send(complete)) return WriteFailed();
  const RxStatus r = s.Receive(s.timeouts().data);
  if (r == RxStatus::kCancelled) return Error::Cancelled();
  if (r != RxStatus::kPacket || !IsAckOf(s.packet(), kPidTransferComplete)) {
    s.KeepFailedPacket();
    return StepError(r, t);
  }
  if (s.ctx().settings().powerOffAfterTransfer) s.SendCommand(kCmdTurnOffPower);
  return {};
}

}  // namespace skylode::garmin
